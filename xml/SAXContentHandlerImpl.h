// SAXContentHandlerImpl: the content handler installed on the platform's SAX2 reader. It turns
// SAX events into calls on an element handler: elements by local name with their attributes,
// and character data trimmed at its end.
//
// Embedded without an owner to count on: AddRef and Release do nothing and answer 0, and the
// object is deleted by its owner (the parser) after the reader that used it has been released.
#pragma once

#include <string>

#include "platform/com/Embedded.h"
#include "platform/xml/Sax.h"
#include "xml/IXMLElementHandler.h"
#include "xml/XMLElement.h"

namespace ambivox {

class SAXContentHandlerImpl : public embedded<ISAXContentHandler> {
public:
    // handler is borrowed and may be null: events are then dropped and the parse runs on.
    explicit SAXContentHandlerImpl(IXMLElementHandler* handler = nullptr) noexcept
        : m_handler(handler) {}
    SAXContentHandlerImpl(SAXContentHandlerImpl const&) = delete;
    SAXContentHandlerImpl& operator=(SAXContentHandlerImpl const&) = delete;

    HRESULT putDocumentLocator(ISAXLocator* pLocator) noexcept override;
    HRESULT startDocument() noexcept override;
    HRESULT endDocument() noexcept override;
    HRESULT startPrefixMapping(const OLECHAR* pwchPrefix, int cchPrefix, const OLECHAR* pwchUri,
                               int cchUri) noexcept override;
    HRESULT endPrefixMapping(const OLECHAR* pwchPrefix, int cchPrefix) noexcept override;
    // The three below answer S_OK, or E_OUTOFMEMORY when memory ran out on the way to the
    // element handler (the reader then stops with that code).
    HRESULT startElement(const OLECHAR* pwchNamespaceUri, int cchNamespaceUri,
                         const OLECHAR* pwchLocalName, int cchLocalName, const OLECHAR* pwchQName,
                         int cchQName, ISAXAttributes* pAttributes) noexcept override;
    HRESULT endElement(const OLECHAR* pwchNamespaceUri, int cchNamespaceUri,
                       const OLECHAR* pwchLocalName, int cchLocalName, const OLECHAR* pwchQName,
                       int cchQName) noexcept override;
    HRESULT characters(const OLECHAR* pwchChars, int cchChars) noexcept override;
    HRESULT ignorableWhitespace(const OLECHAR* pwchChars, int cchChars) noexcept override;
    HRESULT processingInstruction(const OLECHAR* pwchTarget, int cchTarget, const OLECHAR* pwchData,
                                  int cchData) noexcept override;
    HRESULT skippedEntity(const OLECHAR* pwchName, int cchName) noexcept override;

    virtual ~SAXContentHandlerImpl();

    IXMLElementHandler* element_handler() const noexcept { return m_handler; }
    void set_element_handler(IXMLElementHandler* handler) noexcept { m_handler = handler; }

private:
    IXMLElementHandler* m_handler;

    // Scratch storage reused from event to event, so that a long document does not allocate
    // for every tag.
    XMLElement m_start;
    XMLElement m_end;
    std::u16string m_text;
};

}  // namespace ambivox
