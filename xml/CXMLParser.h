// CXMLParser: one parse of one document by the platform's SAX2 reader into an element handler.
//
// A parser is created, asked once for ParseURL or Parse and destroyed. It initialises the
// component runtime on the calling thread for its own lifetime (single-threaded apartment) and
// gives that initialisation back when it is destroyed, so the caller's apartment is left as it
// was. The free functions ParseURL and Parse below are the usual way in.
#pragma once

#include <string>

#include "platform/com/ComPtr.h"
#include "platform/xml/Sax.h"
#include "xml/IXMLElementHandler.h"
#include "xml/SAXContentHandlerImpl.h"
#include "xml/SAXErrorHandlerImpl.h"

namespace ambivox {

class CXMLParser {
public:
    // handler is borrowed, may be null (the document is then parsed and its events dropped),
    // and must outlive the parser. Creating the reader may fail: ParseURL and Parse then answer
    // the creation code without parsing.
    explicit CXMLParser(IXMLElementHandler* handler) noexcept;
    ~CXMLParser();
    CXMLParser(CXMLParser const&) = delete;
    CXMLParser& operator=(CXMLParser const&) = delete;

    // The reader loads the document at url itself. Answers the reader's code unchanged: a
    // failure may come after the handler received the events of the part read before it.
    HRESULT ParseURL(LPCOLESTR url) noexcept;
    // document: borrowed; a VT_BSTR holding the document text. Answers the reader's code
    // unchanged, as ParseURL does.
    HRESULT Parse(VARIANT const& document) noexcept;

    // Why the parse failed, for a person: the reader's first fatal message, with the URL in
    // front when the message does not name it already; empty after a success.
    std::u16string FailureText() const;

private:
    com_ptr<ISAXXMLReader> m_reader;
    SAXContentHandlerImpl m_contentHandler;
    SAXErrorHandlerImpl m_errorHandler;
    HRESULT m_creation = S_OK;
    bool m_initialized = false;
    std::u16string m_url;
};

// Parse the document at url into handler with a parser of its own; answers its result. On
// failure *cause (when given) receives the parser's FailureText.
HRESULT ParseURL(LPCOLESTR url, IXMLElementHandler* handler,
                 std::u16string* cause = nullptr) noexcept;
// Parse the document held in document (borrowed, VT_BSTR) into handler with a parser of its
// own; answers its result, and fills *cause as ParseURL does.
HRESULT Parse(VARIANT const& document, IXMLElementHandler* handler,
              std::u16string* cause = nullptr) noexcept;

}  // namespace ambivox
