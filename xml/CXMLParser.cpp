#include "xml/CXMLParser.h"

#include "platform/com/ComRuntime.h"

namespace ambivox {

CXMLParser::CXMLParser(IXMLElementHandler* handler) noexcept : m_contentHandler(handler) {
    // A thread already in the multithreaded apartment refuses; it can still create the reader,
    // and it must not be uninitialised on the way out.
    HRESULT const init = CoInitialize(nullptr);
    m_initialized = init == S_OK || init == S_FALSE;

    m_creation = CoCreateInstance(CLSID_SAXXMLReader, nullptr, CLSCTX_ALL, ISAXXMLReader::iid,
                                  m_reader.put_void());
    if (SUCCEEDED(m_creation) && !m_reader) m_creation = E_UNEXPECTED;
    if (FAILED(m_creation)) {
        m_reader = nullptr;
        return;
    }
    m_reader->putContentHandler(&m_contentHandler);
    m_reader->putErrorHandler(&m_errorHandler);
}

CXMLParser::~CXMLParser() {
    // The reader may still hold the handlers, which die with this object.
    m_reader = nullptr;
    if (m_initialized) CoUninitialize();
}

HRESULT CXMLParser::ParseURL(LPCOLESTR url) noexcept {
    if (!m_reader) return m_creation;
    try {
        m_url = url != nullptr ? url : u"";
    } catch (...) {
        m_url.clear();
    }
    return m_reader->parseURL(url);
}

HRESULT CXMLParser::Parse(VARIANT const& document) noexcept {
    if (!m_reader) return m_creation;
    return m_reader->parse(document);
}

std::u16string CXMLParser::FailureText() const {
    std::u16string message = m_errorHandler.FirstFatalMessage();
    if (!m_reader) message = u"the XML reader could not be created";
    if (message.empty()) message = u"the document could not be read";
    // The reader words a syntax error by its place alone: "line 3, column 17: ...".
    if (message.starts_with(u"line ")) message = u"not well-formed at " + message;
    if (m_url.empty() || message.starts_with(m_url)) return message;
    return m_url + u": " + message;
}

namespace {

template <class Run>
HRESULT run_parser(IXMLElementHandler* handler, std::u16string* cause, Run const& run) noexcept {
    CXMLParser parser(handler);
    HRESULT const hr = run(parser);
    if (FAILED(hr) && cause != nullptr) {
        try {
            *cause = parser.FailureText();
        } catch (...) {
            cause->clear();
        }
    }
    return hr;
}

}  // namespace

HRESULT ParseURL(LPCOLESTR url, IXMLElementHandler* handler, std::u16string* cause) noexcept {
    return run_parser(handler, cause, [&](CXMLParser& parser) { return parser.ParseURL(url); });
}

HRESULT Parse(VARIANT const& document, IXMLElementHandler* handler,
              std::u16string* cause) noexcept {
    return run_parser(handler, cause, [&](CXMLParser& parser) { return parser.Parse(document); });
}

}  // namespace ambivox
