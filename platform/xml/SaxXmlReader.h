// SaxXmlReader: the platform's SAX2 reader (CLSID_SAXXMLReader), built on expat.
//
// Namespace processing is always on: elements and attributes reach the content handler by
// local name with their namespace URI and the qualified name as written, and namespace
// declarations are reported as prefix mappings, never as attributes. Each text node reaches
// `characters` once, with entity and character references resolved and CDATA sections
// included; it is delivered just before the next tag, processing instruction or the end of the
// document. No external entity or DTD is ever fetched and expat's amplification limits stay on;
// a reference to an entity that only the unread DTD could declare is reported through
// skippedEntity when it is met, ahead of the text node around it.
//
// Failures (the codes are in platform/xml/Sax.h): a document that is not well formed, including
// one that ends early, expands an entity too far or nests elements deeper than 256,
// XML_E_MALFORMED; a single text node over sax_document_limit, or a download over the HTTP limit,
// XML_E_DOCUMENT_TOO_LARGE; the download failures of parseURL its INET_E_ codes. The events before
// a failure have been delivered when it is returned; a text node that no valid tag has closed yet
// is dropped with the document. The error handler's fatalError hears of every such failure (with a
// message and the code) before the failing call returns. A content handler member that fails stops
// the document, and its code is returned as is, without a call to fatalError.
//
// One reader parses one document at a time, on the thread that calls it; it may parse any
// number of documents in sequence. A handler that calls back into parse, parseURL, begin, feed
// or end of the reader it is being called from gets E_UNEXPECTED.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/com/ComPtr.h"
#include "platform/com/Implements.h"
#include "platform/xml/Sax.h"
#include "platform/xml/SaxNameCache.h"

struct XML_ParserStruct;

namespace ambivox {

class SaxAttributes;
class SaxLocator;

// The largest text node any parse gathers, in bytes. The largest document parseURL accepts is
// the platform's HTTP limit (16 MiB, platform/internet/HttpLimits.h).
inline constexpr std::size_t sax_document_limit = std::size_t{16} * 1024 * 1024;

// Shortens parseURL's connect time-out (10 s) and no-progress time-out (30 s) for tests; zero
// restores the default. Both are the platform's HTTP limits, so the change applies to every
// HTTP transfer that starts afterwards, on any thread.
void set_download_timeouts_for_testing(std::chrono::milliseconds connect,
                                       std::chrono::milliseconds stall) noexcept;

class SaxXmlReader final : public implements<SaxXmlReader, ISAXXMLReader> {
public:
    // Raises std::bad_alloc.
    SaxXmlReader();

    // Features: namespaces is on, namespace-prefixes, external-general-entities and
    // external-parameter-entities are off, and none can change (E_NOTIMPL); other names are
    // E_INVALIDARG. The reader has no properties: E_NOTIMPL. A null name is E_INVALIDARG and a
    // null out-parameter E_POINTER.
    HRESULT getFeature(const OLECHAR* pwchName, VARIANT_BOOL* pvfValue) noexcept override;
    HRESULT putFeature(const OLECHAR* pwchName, VARIANT_BOOL vfValue) noexcept override;
    HRESULT getProperty(const OLECHAR* pwchName, VARIANT* pvarValue) noexcept override;
    HRESULT putProperty(const OLECHAR* pwchName, VARIANT varValue) noexcept override;

    // The reader keeps a counted reference to each handler; a getter hands the caller a new
    // reference (null when none is set). The entity resolver and the DTD handler are kept but
    // never called: nothing external is resolved and no DTD events are reported.
    HRESULT getEntityResolver(ISAXEntityResolver** ppResolver) noexcept override;
    HRESULT putEntityResolver(ISAXEntityResolver* pResolver) noexcept override;
    HRESULT getContentHandler(ISAXContentHandler** ppHandler) noexcept override;
    HRESULT putContentHandler(ISAXContentHandler* pHandler) noexcept override;
    HRESULT getDTDHandler(ISAXDTDHandler** ppHandler) noexcept override;
    HRESULT putDTDHandler(ISAXDTDHandler* pHandler) noexcept override;
    HRESULT getErrorHandler(ISAXErrorHandler** ppHandler) noexcept override;
    HRESULT putErrorHandler(ISAXErrorHandler* pHandler) noexcept override;

    // The base URLs are only stored (the base URL becomes the system identifier the locator
    // reports for parse). A getter hands out a borrowed string owned by the reader, valid until
    // the next put, or null when none is set.
    HRESULT getBaseURL(const OLECHAR** ppwchBaseUrl) noexcept override;
    HRESULT putBaseURL(const OLECHAR* pwchBaseUrl) noexcept override;
    HRESULT getSecureBaseURL(const OLECHAR** ppwchSecureBaseUrl) noexcept override;
    HRESULT putSecureBaseURL(const OLECHAR* pwchSecureBaseUrl) noexcept override;

    // varInput: VT_BSTR, or VT_BYREF|VT_BSTR, holding the document as UTF-16 text; anything
    // else is E_INVALIDARG. The text is read as UTF-16 whatever its declaration says; a leading
    // byte order mark is skipped. The variant stays the caller's.
    HRESULT parse(VARIANT varInput) noexcept override;
    // Fetches an http:// or https:// URL and parses it as it arrives; the byte order mark and
    // the declared encoding decide how the bytes are read. A null URL is E_INVALIDARG, another
    // scheme INET_E_UNKNOWN_PROTOCOL. Proxies come from the standard proxy environment
    // variables; up to 5 redirects are followed.
    HRESULT parseURL(const OLECHAR* pwchUrl) noexcept override;

    // The byte-level entry points parse and parseURL are built on. begin starts a fresh
    // document (dropping any unfinished one); encoding, when given, forces the encoding (e.g.
    // "UTF-16LE") over any declaration. feed takes the next bytes, in chunks of any size: the
    // events are the same however the document is split. end finishes the document and answers
    // its result: XML_E_MALFORMED for a document that is incomplete. After a failure feed keeps
    // answering the failure and end answers it once more; feed or end without a document in
    // progress is E_UNEXPECTED. fatalError is reported by the call that detects the failure.
    HRESULT begin(char const* encoding = nullptr) noexcept;
    HRESULT feed(void const* data, std::size_t size) noexcept;
    HRESULT end() noexcept;

private:
    struct glue;
    friend struct glue;
    enum class doc_state { idle, open, failed };

    ~SaxXmlReader() override;

    // The document life cycle; raise only std::bad_alloc.
    HRESULT open_document(char const* encoding, std::u16string system_id);
    HRESULT feed_bytes(void const* data, std::size_t size) noexcept;
    // Hands bytes to expat (the document's last when last is set); a failure ends the document.
    HRESULT parse_bytes(char const* bytes, std::size_t size, bool last) noexcept;
    HRESULT close_document() noexcept;
    HRESULT parse_failed() noexcept;
    void release_parser() noexcept;
    HRESULT download(std::u16string const& url);

    // Ends the document with code: stops the parser and, when report is set, tells the error
    // handler. The first failure of a document wins; answers the document's result.
    HRESULT fail(HRESULT code, OLECHAR const* message, bool report) noexcept;
    // A content handler's answer: a failure ends the document with the handler's code.
    HRESULT handler_result(HRESULT hr) noexcept;
    // Delivers the gathered text, if any, as one characters call; raises std::bad_alloc.
    void flush_text();
    // The reference stays valid until the next bound_names.
    sax_detail::split_name const& name_of(char const* raw) { return m_names->find_or_add(raw); }
    // Called as each element event begins.
    void bound_names() noexcept;

    static constexpr std::size_t max_cached_names = 4096;
    static constexpr int max_depth = 256;  // as libxml2 allows by default

    XML_ParserStruct* m_parser = nullptr;
    doc_state m_state = doc_state::idle;
    HRESULT m_result = S_OK;
    bool m_started = false;
    int m_depth = 0;               // elements open
    std::uint64_t m_events = 0;    // callbacks from expat, to tell whether a feed made progress
    std::size_t m_unfinished = 0;  // bytes given to expat since its last event
    std::string m_deferred;        // bytes held back from expat (see feed_bytes)
    bool m_busy = false;
    std::string m_text;     // the text node being gathered, as expat's UTF-8
    std::u16string m_wide;  // storage for converted text, kept between events
    // The names cache, the thread's own while a document is open (see open_document).
    std::unique_ptr<SaxNameCache> m_names;
    // The names of the open elements, innermost last; null for one the cache has let go of.
    std::vector<sax_detail::split_name const*> m_open;
    com_ptr<SaxAttributes> m_attributes;
    com_ptr<SaxLocator> m_locator;
    com_ptr<ISAXContentHandler> m_content;
    std::vector<com_ptr<ISAXContentHandler>> m_retired;  // replaced during the call under way
    com_ptr<ISAXErrorHandler> m_errors;
    com_ptr<ISAXEntityResolver> m_resolver;
    com_ptr<ISAXDTDHandler> m_dtd;
    std::u16string m_base_url;
    std::u16string m_secure_base_url;
};

}  // namespace ambivox
