// SaxLocator: where in the document the SAX reader is, for the handlers of one document.
//
// While the document is being parsed it reads the position from the parser; when the document
// ends (or the reader drops it) it keeps the last position, so a handler that holds on to it
// never reads a freed parser. Lines and columns count from 1.
#pragma once

#include <string>

#include "platform/com/Implements.h"
#include "platform/xml/Sax.h"

struct XML_ParserStruct;

namespace ambivox {

class SaxLocator final : public implements<SaxLocator, ISAXLocator> {
public:
    // system_id: the URL of the document, empty for a document given as text. Raises
    // std::bad_alloc.
    explicit SaxLocator(std::u16string system_id);

    // The reader attaches its parser for the length of the document and detaches it before
    // freeing it.
    void attach(XML_ParserStruct* parser) noexcept;
    void detach() noexcept;

    // Null out-parameters answer E_POINTER. The identifiers are borrowed strings owned by the
    // locator; the public identifier is always empty.
    HRESULT getColumnNumber(int* pnColumn) noexcept override;
    HRESULT getLineNumber(int* pnLine) noexcept override;
    HRESULT getPublicId(const OLECHAR** ppwchPublicId) noexcept override;
    HRESULT getSystemId(const OLECHAR** ppwchSystemId) noexcept override;

private:
    ~SaxLocator() override;
    void refresh() noexcept;

    XML_ParserStruct* m_parser = nullptr;
    int m_line = 1;
    int m_column = 1;
    std::u16string m_system_id;
};

}  // namespace ambivox
