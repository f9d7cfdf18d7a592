#include "platform/xml/SaxLocator.h"

#include <expat.h>

#include <climits>

namespace ambivox {

namespace {

int clamp_position(XML_Size value) noexcept {
    return value >= static_cast<XML_Size>(INT_MAX) ? INT_MAX : static_cast<int>(value);
}

}  // namespace

SaxLocator::SaxLocator(std::u16string system_id) : m_system_id(std::move(system_id)) {}
SaxLocator::~SaxLocator() = default;

void SaxLocator::attach(XML_ParserStruct* parser) noexcept {
    m_parser = parser;
}

void SaxLocator::detach() noexcept {
    refresh();
    m_parser = nullptr;
}

void SaxLocator::refresh() noexcept {
    if (m_parser == nullptr) return;
    m_line = clamp_position(XML_GetCurrentLineNumber(m_parser));
    // expat counts columns from 0.
    m_column = clamp_position(XML_GetCurrentColumnNumber(m_parser) + 1);
}

HRESULT SaxLocator::getColumnNumber(int* pnColumn) noexcept {
    if (pnColumn == nullptr) return E_POINTER;
    refresh();
    *pnColumn = m_column;
    return S_OK;
}

HRESULT SaxLocator::getLineNumber(int* pnLine) noexcept {
    if (pnLine == nullptr) return E_POINTER;
    refresh();
    *pnLine = m_line;
    return S_OK;
}

HRESULT SaxLocator::getPublicId(const OLECHAR** ppwchPublicId) noexcept {
    if (ppwchPublicId == nullptr) return E_POINTER;
    *ppwchPublicId = u"";
    return S_OK;
}

HRESULT SaxLocator::getSystemId(const OLECHAR** ppwchSystemId) noexcept {
    if (ppwchSystemId == nullptr) return E_POINTER;
    *ppwchSystemId = m_system_id.c_str();
    return S_OK;
}

}  // namespace ambivox
