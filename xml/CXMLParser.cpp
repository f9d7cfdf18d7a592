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
    return m_reader->parseURL(url);
}

HRESULT CXMLParser::Parse(VARIANT const& document) noexcept {
    if (!m_reader) return m_creation;
    return m_reader->parse(document);
}

HRESULT ParseURL(LPCOLESTR url, IXMLElementHandler* handler) noexcept {
    CXMLParser parser(handler);
    return parser.ParseURL(url);
}

HRESULT Parse(VARIANT const& document, IXMLElementHandler* handler) noexcept {
    CXMLParser parser(handler);
    return parser.Parse(document);
}

}  // namespace ambivox
