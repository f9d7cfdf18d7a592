#include "platform/xml/SaxAttributes.h"

#include <string_view>

namespace ambivox {

namespace {

constexpr std::u16string_view cdata_type = u"CDATA";

// A (pointer, length) pair from a caller; null with length 0 is the empty string.
bool as_view(OLECHAR const* text, int length, std::u16string_view& out) noexcept {
    if (length < 0 || (text == nullptr && length != 0)) return false;
    out = length == 0 ? std::u16string_view{} : std::u16string_view{text, std::size_t(length)};
    return true;
}

// Names are views of whole strings and values whole strings: both end in a null.
void hand_out(std::u16string_view text, OLECHAR const** ptr, int* length) noexcept {
    *ptr = text.data();
    *length = static_cast<int>(text.size());
}

}  // namespace

SaxAttributes::SaxAttributes() noexcept = default;
SaxAttributes::~SaxAttributes() = default;

void SaxAttributes::clear() noexcept {
    m_count = 0;
}

SaxAttributes::attribute& SaxAttributes::next() {
    if (m_count == m_attributes.size()) m_attributes.emplace_back();
    return m_attributes[m_count];
}

void SaxAttributes::add(std::u16string_view uri, std::u16string_view local_name,
                        std::u16string_view q_name, std::u16string_view value) {
    attribute& a = next();
    a.own_uri.assign(uri);
    a.own_local_name.assign(local_name);
    a.own_q_name.assign(q_name);
    a.value.assign(value);
    a.uri = a.own_uri;
    a.local_name = a.own_local_name;
    a.q_name = a.own_q_name;
    ++m_count;
}

std::u16string& SaxAttributes::add_borrowed(std::u16string_view uri, std::u16string_view local_name,
                                            std::u16string_view q_name) {
    attribute& a = next();
    a.uri = uri;
    a.local_name = local_name;
    a.q_name = q_name;
    ++m_count;
    return a.value;
}

int SaxAttributes::find_name(OLECHAR const* uri, int cchUri, OLECHAR const* local_name,
                             int cchLocalName) const noexcept {
    std::u16string_view u, l;
    if (!as_view(uri, cchUri, u) || !as_view(local_name, cchLocalName, l)) return -1;
    for (std::size_t i = 0; i < m_count; ++i)
        if (m_attributes[i].uri == u && m_attributes[i].local_name == l) return static_cast<int>(i);
    return -1;
}

int SaxAttributes::find_qname(OLECHAR const* q_name, int cchQName) const noexcept {
    std::u16string_view q;
    if (!as_view(q_name, cchQName, q)) return -1;
    for (std::size_t i = 0; i < m_count; ++i)
        if (m_attributes[i].q_name == q) return static_cast<int>(i);
    return -1;
}

HRESULT SaxAttributes::getLength(int* pnLength) noexcept {
    if (pnLength == nullptr) return E_POINTER;
    *pnLength = static_cast<int>(m_count);
    return S_OK;
}

HRESULT SaxAttributes::getURI(int nIndex, const OLECHAR** ppwchUri, int* pcchUri) noexcept {
    if (ppwchUri == nullptr || pcchUri == nullptr) return E_POINTER;
    if (!valid(nIndex)) return E_INVALIDARG;
    hand_out(m_attributes[nIndex].uri, ppwchUri, pcchUri);
    return S_OK;
}

HRESULT SaxAttributes::getLocalName(int nIndex, const OLECHAR** ppwchLocalName,
                                    int* pcchLocalName) noexcept {
    if (ppwchLocalName == nullptr || pcchLocalName == nullptr) return E_POINTER;
    if (!valid(nIndex)) return E_INVALIDARG;
    hand_out(m_attributes[nIndex].local_name, ppwchLocalName, pcchLocalName);
    return S_OK;
}

HRESULT SaxAttributes::getQName(int nIndex, const OLECHAR** ppwchQName, int* pcchQName) noexcept {
    if (ppwchQName == nullptr || pcchQName == nullptr) return E_POINTER;
    if (!valid(nIndex)) return E_INVALIDARG;
    hand_out(m_attributes[nIndex].q_name, ppwchQName, pcchQName);
    return S_OK;
}

HRESULT SaxAttributes::getName(int nIndex, const OLECHAR** ppwchUri, int* pcchUri,
                               const OLECHAR** ppwchLocalName, int* pcchLocalName,
                               const OLECHAR** ppwchQName, int* pcchQName) noexcept {
    if (ppwchUri == nullptr || pcchUri == nullptr || ppwchLocalName == nullptr ||
        pcchLocalName == nullptr || ppwchQName == nullptr || pcchQName == nullptr)
        return E_POINTER;
    if (!valid(nIndex)) return E_INVALIDARG;
    attribute const& a = m_attributes[nIndex];
    hand_out(a.uri, ppwchUri, pcchUri);
    hand_out(a.local_name, ppwchLocalName, pcchLocalName);
    hand_out(a.q_name, ppwchQName, pcchQName);
    return S_OK;
}

HRESULT SaxAttributes::getIndexFromName(const OLECHAR* pwchUri, int cchUri,
                                        const OLECHAR* pwchLocalName, int cchLocalName,
                                        int* pnIndex) noexcept {
    if (pnIndex == nullptr) return E_POINTER;
    *pnIndex = find_name(pwchUri, cchUri, pwchLocalName, cchLocalName);
    return *pnIndex < 0 ? E_INVALIDARG : S_OK;
}

HRESULT SaxAttributes::getIndexFromQName(const OLECHAR* pwchQName, int cchQName,
                                         int* pnIndex) noexcept {
    if (pnIndex == nullptr) return E_POINTER;
    *pnIndex = find_qname(pwchQName, cchQName);
    return *pnIndex < 0 ? E_INVALIDARG : S_OK;
}

HRESULT SaxAttributes::getType(int nIndex, const OLECHAR** ppwchType, int* pcchType) noexcept {
    if (ppwchType == nullptr || pcchType == nullptr) return E_POINTER;
    if (!valid(nIndex)) return E_INVALIDARG;
    *ppwchType = cdata_type.data();
    *pcchType = static_cast<int>(cdata_type.size());
    return S_OK;
}

HRESULT SaxAttributes::getTypeFromName(const OLECHAR* pwchUri, int cchUri,
                                       const OLECHAR* pwchLocalName, int cchLocalName,
                                       const OLECHAR** ppwchType, int* pcchType) noexcept {
    if (ppwchType == nullptr || pcchType == nullptr) return E_POINTER;
    *ppwchType = nullptr;
    *pcchType = 0;
    return getType(find_name(pwchUri, cchUri, pwchLocalName, cchLocalName), ppwchType, pcchType);
}

HRESULT SaxAttributes::getTypeFromQName(const OLECHAR* pwchQName, int cchQName,
                                        const OLECHAR** ppwchType, int* pcchType) noexcept {
    if (ppwchType == nullptr || pcchType == nullptr) return E_POINTER;
    *ppwchType = nullptr;
    *pcchType = 0;
    return getType(find_qname(pwchQName, cchQName), ppwchType, pcchType);
}

HRESULT SaxAttributes::getValue(int nIndex, const OLECHAR** ppwchValue, int* pcchValue) noexcept {
    if (ppwchValue == nullptr || pcchValue == nullptr) return E_POINTER;
    if (!valid(nIndex)) return E_INVALIDARG;
    hand_out(m_attributes[nIndex].value, ppwchValue, pcchValue);
    return S_OK;
}

HRESULT SaxAttributes::getValueFromName(const OLECHAR* pwchUri, int cchUri,
                                        const OLECHAR* pwchLocalName, int cchLocalName,
                                        const OLECHAR** ppwchValue, int* pcchValue) noexcept {
    if (ppwchValue == nullptr || pcchValue == nullptr) return E_POINTER;
    *ppwchValue = nullptr;
    *pcchValue = 0;
    return getValue(find_name(pwchUri, cchUri, pwchLocalName, cchLocalName), ppwchValue, pcchValue);
}

HRESULT SaxAttributes::getValueFromQName(const OLECHAR* pwchQName, int cchQName,
                                         const OLECHAR** ppwchValue, int* pcchValue) noexcept {
    if (ppwchValue == nullptr || pcchValue == nullptr) return E_POINTER;
    *ppwchValue = nullptr;
    *pcchValue = 0;
    return getValue(find_qname(pwchQName, cchQName), ppwchValue, pcchValue);
}

}  // namespace ambivox
