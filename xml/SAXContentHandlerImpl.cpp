#include "xml/SAXContentHandlerImpl.h"

#include <algorithm>
#include <string_view>

#include "platform/base/HResultBoundary.h"

namespace ambivox {

namespace {

// Text with an explicit length from the reader; a null pointer or a length below 1 is empty.
std::u16string_view counted(const OLECHAR* text, int length) noexcept {
    if (text == nullptr || length <= 0) return {};
    return {text, static_cast<std::size_t>(length)};
}

// The white space of the runtime's wide-character test, which devices pad their texts with.
constexpr bool is_white_space(char16_t c) noexcept {
    return c == u' ' || (c >= u'\t' && c <= u'\r');
}

}  // namespace

SAXContentHandlerImpl::~SAXContentHandlerImpl() = default;

HRESULT SAXContentHandlerImpl::putDocumentLocator(ISAXLocator*) noexcept {
    return S_OK;
}

HRESULT SAXContentHandlerImpl::startDocument() noexcept {
    return S_OK;
}

HRESULT SAXContentHandlerImpl::endDocument() noexcept {
    return S_OK;
}

HRESULT SAXContentHandlerImpl::startPrefixMapping(const OLECHAR*, int, const OLECHAR*,
                                                  int) noexcept {
    return S_OK;
}

HRESULT SAXContentHandlerImpl::endPrefixMapping(const OLECHAR*, int) noexcept {
    return S_OK;
}

HRESULT SAXContentHandlerImpl::startElement(const OLECHAR*, int, const OLECHAR* pwchLocalName,
                                            int cchLocalName, const OLECHAR*, int,
                                            ISAXAttributes* pAttributes) noexcept {
    if (m_handler == nullptr) return S_OK;
    return hresult_boundary([&] {
        m_start.name = counted(pwchLocalName, cchLocalName);
        auto& attributes = m_start.attributes;
        attributes.clear();
        int count = 0;
        if (pAttributes != nullptr && FAILED(pAttributes->getLength(&count))) count = 0;
        for (int index = 0; index < count; ++index) {
            const OLECHAR* name = nullptr;
            int nameLength = 0;
            const OLECHAR* value = nullptr;
            int valueLength = 0;
            if (FAILED(pAttributes->getLocalName(index, &name, &nameLength)) ||
                FAILED(pAttributes->getValue(index, &value, &valueLength)))
                continue;
            std::u16string_view const key = counted(name, nameLength);
            auto place = std::lower_bound(
                attributes.begin(), attributes.end(), key,
                [](auto const& entry, std::u16string_view k) { return entry.first < k; });
            // Two attributes with one local name (in different namespaces): the later wins.
            if (place != attributes.end() && place->first == key)
                place->second = counted(value, valueLength);
            else
                attributes.emplace(place, key, counted(value, valueLength));
        }
        m_handler->OnStartElement(m_start);
    });
}

HRESULT SAXContentHandlerImpl::endElement(const OLECHAR*, int, const OLECHAR* pwchLocalName,
                                          int cchLocalName, const OLECHAR*, int) noexcept {
    if (m_handler == nullptr) return S_OK;
    return hresult_boundary([&] {
        m_end.name = counted(pwchLocalName, cchLocalName);
        m_handler->OnEndElement(m_end);
    });
}

HRESULT SAXContentHandlerImpl::characters(const OLECHAR* pwchChars, int cchChars) noexcept {
    if (m_handler == nullptr) return S_OK;
    std::u16string_view text = counted(pwchChars, cchChars);
    while (!text.empty() && is_white_space(text.back()))
        text.remove_suffix(1);
    if (text.empty()) return S_OK;
    return hresult_boundary([&] {
        m_text.assign(text);
        m_handler->OnCharacters(m_text.c_str());
    });
}

HRESULT SAXContentHandlerImpl::ignorableWhitespace(const OLECHAR*, int) noexcept {
    return S_OK;
}

HRESULT SAXContentHandlerImpl::processingInstruction(const OLECHAR*, int, const OLECHAR*,
                                                     int) noexcept {
    return S_OK;
}

HRESULT SAXContentHandlerImpl::skippedEntity(const OLECHAR*, int) noexcept {
    return S_OK;
}

}  // namespace ambivox
