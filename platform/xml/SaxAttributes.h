// SaxAttributes: the attribute list of the start tag the SAX reader is reporting.
//
// The reader keeps one list and refills it for every start tag, so what a handler reads through
// it is valid only during its startElement call. Strings handed out point into the list and are
// owned by it; callers never free them. Names are matched by exact code units.
#pragma once

#include <deque>
#include <string>
#include <string_view>

#include "platform/com/Implements.h"
#include "platform/xml/Sax.h"

namespace ambivox {

class SaxAttributes final : public implements<SaxAttributes, ISAXAttributes> {
public:
    SaxAttributes() noexcept;

    // Filling by the reader. add raises std::bad_alloc and leaves the list as it was then.
    void clear() noexcept;
    // The strings are copied into storage kept from tag to tag, so a document's attributes cost
    // no allocation once the longest has been seen.
    void add(std::u16string_view uri, std::u16string_view local_name, std::u16string_view q_name,
             std::u16string_view value);
    // The names are borrowed: they must stay put until the next clear. The value is written by
    // the caller into the storage answered, so a long one is held once, not copied again.
    std::u16string& add_borrowed(std::u16string_view uri, std::u16string_view local_name,
                                 std::u16string_view q_name);

    // Out-parameters are borrowed pointers into the list. Any null out-parameter answers
    // E_POINTER and an index outside the list E_INVALIDARG; both leave the out-parameters
    // untouched. A name that is not in the list answers E_INVALIDARG with index -1 (lookups
    // by index) or a null string of length 0 (lookups of a type or value).
    HRESULT getLength(int* pnLength) noexcept override;
    HRESULT getURI(int nIndex, const OLECHAR** ppwchUri, int* pcchUri) noexcept override;
    HRESULT getLocalName(int nIndex, const OLECHAR** ppwchLocalName,
                         int* pcchLocalName) noexcept override;
    HRESULT getQName(int nIndex, const OLECHAR** ppwchQName, int* pcchQName) noexcept override;
    HRESULT getName(int nIndex, const OLECHAR** ppwchUri, int* pcchUri,
                    const OLECHAR** ppwchLocalName, int* pcchLocalName, const OLECHAR** ppwchQName,
                    int* pcchQName) noexcept override;
    HRESULT getIndexFromName(const OLECHAR* pwchUri, int cchUri, const OLECHAR* pwchLocalName,
                             int cchLocalName, int* pnIndex) noexcept override;
    HRESULT getIndexFromQName(const OLECHAR* pwchQName, int cchQName,
                              int* pnIndex) noexcept override;
    // Every attribute is reported as "CDATA": the reader does not validate.
    HRESULT getType(int nIndex, const OLECHAR** ppwchType, int* pcchType) noexcept override;
    HRESULT getTypeFromName(const OLECHAR* pwchUri, int cchUri, const OLECHAR* pwchLocalName,
                            int cchLocalName, const OLECHAR** ppwchType,
                            int* pcchType) noexcept override;
    HRESULT getTypeFromQName(const OLECHAR* pwchQName, int cchQName, const OLECHAR** ppwchType,
                             int* pcchType) noexcept override;
    HRESULT getValue(int nIndex, const OLECHAR** ppwchValue, int* pcchValue) noexcept override;
    HRESULT getValueFromName(const OLECHAR* pwchUri, int cchUri, const OLECHAR* pwchLocalName,
                             int cchLocalName, const OLECHAR** ppwchValue,
                             int* pcchValue) noexcept override;
    HRESULT getValueFromQName(const OLECHAR* pwchQName, int cchQName, const OLECHAR** ppwchValue,
                              int* pcchValue) noexcept override;

private:
    ~SaxAttributes() override;

    // The names are views, of the reader's name cache or of the own_ strings beside them.
    struct attribute {
        std::u16string_view uri;
        std::u16string_view local_name;
        std::u16string_view q_name;
        std::u16string value;
        std::u16string own_uri;
        std::u16string own_local_name;
        std::u16string own_q_name;
    };

    attribute& next();

    bool valid(int index) const noexcept {
        return index >= 0 && static_cast<std::size_t>(index) < m_count;
    }
    // -1 when absent, or when a name is null with a nonzero length.
    int find_name(OLECHAR const* uri, int cchUri, OLECHAR const* local_name,
                  int cchLocalName) const noexcept;
    int find_qname(OLECHAR const* q_name, int cchQName) const noexcept;

    std::deque<attribute> m_attributes;  // the first m_count are this tag's; never move

    std::size_t m_count = 0;
};

}  // namespace ambivox
