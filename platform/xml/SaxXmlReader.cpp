#include "platform/xml/SaxXmlReader.h"

#include <expat.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <algorithm>
#include <climits>
#include <cstdint>
#include <string_view>

#include "platform/automation/Bstr.h"
#include "platform/base/CodePage.h"
#include "platform/com/ClassFactory.h"
#include "platform/com/ComRuntime.h"
#include "platform/internet/HttpLimits.h"
#include "platform/internet/HttpTransfer.h"
#include "platform/xml/SaxAttributes.h"
#include "platform/xml/SaxLocator.h"

namespace ambivox {

namespace {

// Joins namespace URI, local name and prefix in the names expat reports. No XML name or
// namespace name can hold U+0001, so the split is unambiguous.
constexpr char ns_separator = '\x01';

constexpr long max_redirects = 5;

// Set once the thread's name cache (below) is gone: a reader released later in the thread's
// end must not bring it back to life.
thread_local bool t_spare_gone = false;

// The names a thread's documents have used, kept between documents. A poll reads two small
// documents with the same dozen names, and converting those anew for each document was most of
// what a small document cost beyond expat. A reader takes the cache while its document is open
// and puts it back after, so two documents open at once on one thread never share one.
struct spare_names {
    std::unique_ptr<SaxNameCache> cache;
    ~spare_names() { t_spare_gone = true; }
};
thread_local spare_names t_spare;

std::unique_ptr<SaxNameCache> take_spare_names() {
    if (!t_spare_gone && t_spare.cache) return std::move(t_spare.cache);
    return std::make_unique<SaxNameCache>();
}

void give_back(std::unique_ptr<SaxNameCache>& names) noexcept {
    if (names && !t_spare_gone && !t_spare.cache) t_spare.cache = std::move(names);
}

// Text handed to parse goes to expat as UTF-8, which it reads faster than UTF-16, in pieces of
// this many code units, so the copy stays small however long the text.
constexpr std::size_t text_piece = 16 * 1024;

// Appends text as UTF-8. A surrogate without its partner is written in its own three-byte form,
// which expat refuses as it refuses the lone surrogate in UTF-16: the document stays malformed.
// (narrow() would turn it into U+FFFD and so make a broken document well formed.)
void append_utf8(std::string& out, std::u16string_view text) {
    std::size_t at = out.size();
    out.resize(at + text.size() * 3);
    char* const bytes = out.data();
    char16_t const* const units = text.data();
    std::size_t const size = text.size();
    std::size_t i = 0;
    while (i < size) {
        // Runs of ASCII, the bulk of any document, go sixteen code units at a time.
#if defined(__SSE2__)
        while (i + 16 <= size) {
            __m128i const low = _mm_loadu_si128(reinterpret_cast<__m128i const*>(units + i));
            __m128i const high = _mm_loadu_si128(reinterpret_cast<__m128i const*>(units + i + 8));
            if (_mm_movemask_epi8(
                    _mm_cmpeq_epi16(_mm_and_si128(_mm_or_si128(low, high), _mm_set1_epi16(-0x80)),
                                    _mm_setzero_si128())) != 0xFFFF)
                break;
            _mm_storeu_si128(reinterpret_cast<__m128i*>(bytes + at), _mm_packus_epi16(low, high));
            i += 16;
            at += 16;
        }
#endif
        if (i == size) break;
        char32_t c = units[i++];
        if (c < 0x80) {
            bytes[at++] = static_cast<char>(c);
            continue;
        }
        if (c >= 0xD800 && c < 0xDC00 && i < size && units[i] >= 0xDC00 && units[i] < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (units[i++] - 0xDC00);
            bytes[at++] = static_cast<char>(0xF0 | (c >> 18));
            bytes[at++] = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        } else if (c >= 0x800) {
            bytes[at++] = static_cast<char>(0xE0 | (c >> 12));
        } else {
            bytes[at++] = static_cast<char>(0xC0 | (c >> 6));
            bytes[at++] = static_cast<char>(0x80 | (c & 0x3F));
            continue;
        }
        bytes[at++] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        bytes[at++] = static_cast<char>(0x80 | (c & 0x3F));
    }
    out.resize(at);
}

using sax_detail::split_name;

// expat's UTF-8 into `out`, reusing its storage; plain ASCII, the common case, is widened in the
// same pass that finds it is plain.
void assign_utf8(std::u16string& out, std::string_view text) {
    out.resize(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        auto const c = static_cast<unsigned char>(text[i]);
        if (c >= 0x80) {
            out = widen(text, CP_UTF8);
            return;
        }
        out[i] = static_cast<char16_t>(c);
    }
}

int length_of(std::u16string const& text) noexcept {
    return static_cast<int>(std::min<std::size_t>(text.size(), INT_MAX));
}

bool iequals_ascii(std::string_view a, std::string_view b) noexcept {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
        return lower(x) == lower(y);
    });
}

bool has_scheme(std::u16string_view url, std::u16string_view scheme) noexcept {
    if (url.size() < scheme.size()) return false;
    for (std::size_t i = 0; i < scheme.size(); ++i) {
        char16_t c = url[i];
        if (c >= u'A' && c <= u'Z') c = char16_t(c - u'A' + u'a');
        if (c != scheme[i]) return false;
    }
    return true;
}

struct feature {
    std::u16string_view name;
    bool value;
};
constexpr feature features[] = {
    {u"http://xml.org/sax/features/namespaces", true},
    {u"http://xml.org/sax/features/namespace-prefixes", false},
    {u"http://xml.org/sax/features/external-general-entities", false},
    {u"http://xml.org/sax/features/external-parameter-entities", false},
};
feature const* find_feature(OLECHAR const* name) noexcept {
    for (auto const& f : features)
        if (f.name == name) return &f;
    return nullptr;
}

// Each way a download fails has its own code.
HRESULT download_failure(HttpTransfer::failure reason) noexcept {
    using enum HttpTransfer::failure;
    switch (reason) {
        case unsupported_protocol:
            return INET_E_UNKNOWN_PROTOCOL;
        case invalid_url:
            return INET_E_INVALID_URL;
        case name_not_resolved:
            return INET_E_RESOURCE_NOT_FOUND;
        case cannot_connect:
            return INET_E_CANNOT_CONNECT;
        case timed_out:
            return INET_E_CONNECTION_TIMEOUT;
        case error_status:
            return INET_E_OBJECT_NOT_FOUND;
        case too_large:
            return XML_E_DOCUMENT_TOO_LARGE;
        case out_of_memory:
            return E_OUTOFMEMORY;
        default:
            return INET_E_DOWNLOAD_FAILURE;
    }
}

HRESULT get_reader_factory(REFIID riid, void** ppv) noexcept {
    return hresult_boundary(
        [&] { return make<class_factory<SaxXmlReader>>()->QueryInterface(riid, ppv); });
}

// The reader is one of the runtime's own classes, available as soon as the library is loaded.
struct reader_registration {
    reader_registration() noexcept {
        try {
            register_builtin_class(CLSID_SAXXMLReader, &get_reader_factory);
        } catch (...) {
            // Out of memory while loading: CoCreateInstance answers REGDB_E_CLASSNOTREG.
        }
    }
} const registration;

}  // namespace

void set_download_timeouts_for_testing(std::chrono::milliseconds connect,
                                       std::chrono::milliseconds stall) noexcept {
    http_limits const defaults;
    http_limits limits = current_http_limits();
    limits.connect_timeout = connect.count() > 0 ? connect : defaults.connect_timeout;
    limits.stall_timeout = stall.count() > 0 ? stall : defaults.stall_timeout;
    set_http_limits_for_testing(limits);
}

// The C callbacks of expat.
struct SaxXmlReader::glue {
    // No exception crosses expat: one ends the document with its code.
    template <class F>
    static void guarded(void* user, F&& body) noexcept {
        auto& reader = *static_cast<SaxXmlReader*>(user);
        if (reader.m_state != doc_state::open) return;
        ++reader.m_events;
        try {
            body(reader);
        } catch (...) {
            HRESULT const code = to_hresult();
            reader.fail(code, u"the reader failed while reporting an event", true);
        }
    }

    static void XMLCALL start_element(void* user, XML_Char const* name, XML_Char const** atts) {
        guarded(user, [&](SaxXmlReader& r) {
            r.flush_text();
            if (r.m_state != doc_state::open) return;
            // Each open element costs the parser and the handlers memory, so a document of
            // nothing but nesting could cost many times its size.
            if (++r.m_depth > max_depth) {
                r.fail(XML_E_MALFORMED, u"the document nests elements more than 256 deep", true);
                return;
            }
            r.bound_names();
            split_name const& element = r.name_of(name);
            r.m_open.push_back(&element);
            r.m_attributes->clear();
            for (auto a = atts; a[0] != nullptr; a += 2) {
                split_name const& n = r.name_of(a[0]);
                assign_utf8(r.m_attributes->add_borrowed(n.uri, n.local, n.qname), a[1]);
            }
            if (ISAXContentHandler* handler = r.m_content.get())
                r.handler_result(handler->startElement(
                    element.uri.c_str(), length_of(element.uri), element.local.c_str(),
                    length_of(element.local), element.qname.c_str(), length_of(element.qname),
                    r.m_attributes.get()));
        });
    }

    static void XMLCALL end_element(void* user, XML_Char const* name) {
        guarded(user, [&](SaxXmlReader& r) {
            r.flush_text();
            if (r.m_state != doc_state::open) return;
            --r.m_depth;
            r.bound_names();
            // The end tag's name is its start tag's, found then: no second lookup.
            split_name const* open = nullptr;
            if (!r.m_open.empty()) {
                open = r.m_open.back();
                r.m_open.pop_back();
            }
            split_name const& element = open != nullptr ? *open : r.name_of(name);
            if (ISAXContentHandler* handler = r.m_content.get())
                r.handler_result(handler->endElement(
                    element.uri.c_str(), length_of(element.uri), element.local.c_str(),
                    length_of(element.local), element.qname.c_str(), length_of(element.qname)));
        });
    }

    static void XMLCALL characters(void* user, XML_Char const* text, int length) {
        guarded(user, [&](SaxXmlReader& r) {
            if (length <= 0) return;
            if (r.m_text.size() + static_cast<std::size_t>(length) > sax_document_limit) {
                r.fail(XML_E_DOCUMENT_TOO_LARGE, u"a text node is larger than 16 MiB", true);
                return;
            }
            r.m_text.append(text, static_cast<std::size_t>(length));
        });
    }

    static void XMLCALL processing_instruction(void* user, XML_Char const* target,
                                               XML_Char const* data) {
        guarded(user, [&](SaxXmlReader& r) {
            r.flush_text();
            if (r.m_state != doc_state::open) return;
            std::u16string const t = widen(target, CP_UTF8);
            std::u16string const d = widen(data != nullptr ? data : "", CP_UTF8);
            if (ISAXContentHandler* handler = r.m_content.get())
                r.handler_result(handler->processingInstruction(t.c_str(), length_of(t), d.c_str(),
                                                                length_of(d)));
        });
    }

    static void XMLCALL start_namespace(void* user, XML_Char const* prefix, XML_Char const* uri) {
        guarded(user, [&](SaxXmlReader& r) {
            r.flush_text();
            if (r.m_state != doc_state::open) return;
            std::u16string const p = widen(prefix != nullptr ? prefix : "", CP_UTF8);
            std::u16string const u = widen(uri != nullptr ? uri : "", CP_UTF8);
            if (ISAXContentHandler* handler = r.m_content.get())
                r.handler_result(
                    handler->startPrefixMapping(p.c_str(), length_of(p), u.c_str(), length_of(u)));
        });
    }

    static void XMLCALL end_namespace(void* user, XML_Char const* prefix) {
        guarded(user, [&](SaxXmlReader& r) {
            r.flush_text();
            if (r.m_state != doc_state::open) return;
            std::u16string const p = widen(prefix != nullptr ? prefix : "", CP_UTF8);
            if (ISAXContentHandler* handler = r.m_content.get())
                r.handler_result(handler->endPrefixMapping(p.c_str(), length_of(p)));
        });
    }

    // A reference to an entity that may be declared in the DTD that is never read. It sits
    // inside a text node, which keeps gathering: the text reaches the handler in one piece
    // after this event.
    static void XMLCALL skipped_entity(void* user, XML_Char const* name, int is_parameter_entity) {
        if (is_parameter_entity) return;
        guarded(user, [&](SaxXmlReader& r) {
            std::u16string const n = widen(name, CP_UTF8);
            if (ISAXContentHandler* handler = r.m_content.get())
                r.handler_result(handler->skippedEntity(n.c_str(), length_of(n)));
        });
    }

    // expat knows UTF-8, UTF-16, ISO-8859-1 and US-ASCII; devices also declare the platform's
    // ANSI code page.
    static int XMLCALL unknown_encoding(void*, XML_Char const* name, XML_Encoding* info) {
        if (name == nullptr || !(iequals_ascii(name, "windows-1252") ||
                                 iequals_ascii(name, "cp1252") || iequals_ascii(name, "x-cp1252")))
            return XML_STATUS_ERROR;
        for (int b = 0; b < 256; ++b) {
            char const byte = static_cast<char>(b);
            OLECHAR c = 0;
            info->map[b] = MultiByteToWideChar(1252, 0, &byte, 1, &c, 1) == 1 ? int(c) : -1;
        }
        info->data = nullptr;
        info->convert = nullptr;
        info->release = nullptr;
        return XML_STATUS_OK;
    }
};

SaxXmlReader::SaxXmlReader() : m_attributes(make<SaxAttributes>()) {}

SaxXmlReader::~SaxXmlReader() {
    release_parser();
}

HRESULT SaxXmlReader::getFeature(const OLECHAR* pwchName, VARIANT_BOOL* pvfValue) noexcept {
    if (pwchName == nullptr) return E_INVALIDARG;
    if (pvfValue == nullptr) return E_POINTER;
    feature const* f = find_feature(pwchName);
    if (f == nullptr) return E_INVALIDARG;
    *pvfValue = f->value ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
}

HRESULT SaxXmlReader::putFeature(const OLECHAR* pwchName, VARIANT_BOOL vfValue) noexcept {
    if (pwchName == nullptr) return E_INVALIDARG;
    feature const* f = find_feature(pwchName);
    if (f == nullptr) return E_INVALIDARG;
    return (vfValue != VARIANT_FALSE) == f->value ? S_OK : E_NOTIMPL;
}

HRESULT SaxXmlReader::getProperty(const OLECHAR* pwchName, VARIANT* pvarValue) noexcept {
    if (pwchName == nullptr) return E_INVALIDARG;
    if (pvarValue == nullptr) return E_POINTER;
    return E_NOTIMPL;
}

HRESULT SaxXmlReader::putProperty(const OLECHAR* pwchName, VARIANT) noexcept {
    if (pwchName == nullptr) return E_INVALIDARG;
    return E_NOTIMPL;
}

HRESULT SaxXmlReader::getEntityResolver(ISAXEntityResolver** ppResolver) noexcept {
    if (ppResolver == nullptr) return E_POINTER;
    m_resolver.copy_to(ppResolver);
    return S_OK;
}

HRESULT SaxXmlReader::putEntityResolver(ISAXEntityResolver* pResolver) noexcept {
    m_resolver.copy_from(pResolver);
    return S_OK;
}

HRESULT SaxXmlReader::getContentHandler(ISAXContentHandler** ppHandler) noexcept {
    if (ppHandler == nullptr) return E_POINTER;
    m_content.copy_to(ppHandler);
    return S_OK;
}

HRESULT SaxXmlReader::putContentHandler(ISAXContentHandler* pHandler) noexcept {
    // Events reach the handler through a plain pointer, so one replaced in the middle of a
    // parse, perhaps from inside its own call, is kept alive until the reader's call returns.
    if (m_busy && m_content && m_content.get() != pHandler) {
        HRESULT const hr = hresult_boundary([&] { m_retired.push_back(std::move(m_content)); });
        if (FAILED(hr)) return hr;
    }
    m_content.copy_from(pHandler);
    return S_OK;
}

HRESULT SaxXmlReader::getDTDHandler(ISAXDTDHandler** ppHandler) noexcept {
    if (ppHandler == nullptr) return E_POINTER;
    m_dtd.copy_to(ppHandler);
    return S_OK;
}

HRESULT SaxXmlReader::putDTDHandler(ISAXDTDHandler* pHandler) noexcept {
    m_dtd.copy_from(pHandler);
    return S_OK;
}

HRESULT SaxXmlReader::getErrorHandler(ISAXErrorHandler** ppHandler) noexcept {
    if (ppHandler == nullptr) return E_POINTER;
    m_errors.copy_to(ppHandler);
    return S_OK;
}

HRESULT SaxXmlReader::putErrorHandler(ISAXErrorHandler* pHandler) noexcept {
    m_errors.copy_from(pHandler);
    return S_OK;
}

HRESULT SaxXmlReader::getBaseURL(const OLECHAR** ppwchBaseUrl) noexcept {
    if (ppwchBaseUrl == nullptr) return E_POINTER;
    *ppwchBaseUrl = m_base_url.empty() ? nullptr : m_base_url.c_str();
    return S_OK;
}

HRESULT SaxXmlReader::putBaseURL(const OLECHAR* pwchBaseUrl) noexcept {
    return hresult_boundary([&] { m_base_url = pwchBaseUrl != nullptr ? pwchBaseUrl : u""; });
}

HRESULT SaxXmlReader::getSecureBaseURL(const OLECHAR** ppwchSecureBaseUrl) noexcept {
    if (ppwchSecureBaseUrl == nullptr) return E_POINTER;
    *ppwchSecureBaseUrl = m_secure_base_url.empty() ? nullptr : m_secure_base_url.c_str();
    return S_OK;
}

HRESULT SaxXmlReader::putSecureBaseURL(const OLECHAR* pwchSecureBaseUrl) noexcept {
    return hresult_boundary(
        [&] { m_secure_base_url = pwchSecureBaseUrl != nullptr ? pwchSecureBaseUrl : u""; });
}

namespace {

// Marks the reader as inside one of its own entry points, for the length of the call.
class busy_scope {
public:
    busy_scope(bool& flag, std::vector<com_ptr<ISAXContentHandler>>& retired) noexcept
        : m_flag(flag), m_retired(retired) {
        m_flag = true;
    }
    ~busy_scope() {
        m_flag = false;
        m_retired.clear();
    }
    busy_scope(busy_scope const&) = delete;
    busy_scope& operator=(busy_scope const&) = delete;

private:
    bool& m_flag;
    std::vector<com_ptr<ISAXContentHandler>>& m_retired;
};

}  // namespace

HRESULT SaxXmlReader::parse(VARIANT varInput) noexcept {
    BSTR text = nullptr;
    if (varInput.vt == VT_BSTR) {
        text = varInput.bstrVal;
    } else if (varInput.vt == (VT_BYREF | VT_BSTR)) {
        if (varInput.pbstrVal == nullptr) return E_INVALIDARG;
        text = *varInput.pbstrVal;
    } else {
        return E_INVALIDARG;
    }
    if (m_busy) return E_UNEXPECTED;
    busy_scope const busy(m_busy, m_retired);
    return hresult_boundary([&]() -> HRESULT {
        HRESULT const hr = open_document("UTF-8", m_base_url);
        if (FAILED(hr)) return hr;
        std::u16string_view rest(text, SysStringLen(text));
        std::string piece;
        while (!rest.empty() && m_state == doc_state::open) {
            std::size_t size = std::min(rest.size(), text_piece);
            // A surrogate pair stays in one piece.
            if (size < rest.size() && rest[size - 1] >= 0xD800 && rest[size - 1] < 0xDC00) --size;
            piece.clear();
            append_utf8(piece, rest.substr(0, size));
            feed_bytes(piece.data(), piece.size());
            rest.remove_prefix(size);
        }
        return close_document();
    });
}

HRESULT SaxXmlReader::parseURL(const OLECHAR* pwchUrl) noexcept {
    if (pwchUrl == nullptr) return E_INVALIDARG;
    if (m_busy) return E_UNEXPECTED;
    busy_scope const busy(m_busy, m_retired);
    return hresult_boundary([&]() -> HRESULT {
        std::u16string const url(pwchUrl);
        HRESULT const hr = open_document(nullptr, url);
        if (FAILED(hr)) return hr;
        download(url);
        return close_document();
    });
}

HRESULT SaxXmlReader::begin(char const* encoding) noexcept {
    if (m_busy) return E_UNEXPECTED;
    busy_scope const busy(m_busy, m_retired);
    return hresult_boundary([&] { return open_document(encoding, m_base_url); });
}

HRESULT SaxXmlReader::feed(void const* data, std::size_t size) noexcept {
    if (m_busy) return E_UNEXPECTED;
    busy_scope const busy(m_busy, m_retired);
    return feed_bytes(data, size);
}

HRESULT SaxXmlReader::end() noexcept {
    if (m_busy) return E_UNEXPECTED;
    busy_scope const busy(m_busy, m_retired);
    return close_document();
}

HRESULT SaxXmlReader::open_document(char const* encoding, std::u16string system_id) {
    release_parser();
    m_state = doc_state::idle;
    m_result = S_OK;
    m_started = false;
    m_depth = 0;
    m_open.clear();
    m_locator = make<SaxLocator>(std::move(system_id));

    if (!m_names) m_names = take_spare_names();
    XML_Parser parser = XML_ParserCreateNS(encoding, ns_separator);
    if (parser == nullptr) return E_OUTOFMEMORY;
    XML_SetUserData(parser, this);
    XML_SetReturnNSTriplet(parser, XML_TRUE);
    XML_SetElementHandler(parser, &glue::start_element, &glue::end_element);
    XML_SetCharacterDataHandler(parser, &glue::characters);
    XML_SetProcessingInstructionHandler(parser, &glue::processing_instruction);
    XML_SetNamespaceDeclHandler(parser, &glue::start_namespace, &glue::end_namespace);
    XML_SetSkippedEntityHandler(parser, &glue::skipped_entity);
    XML_SetUnknownEncodingHandler(parser, &glue::unknown_encoding, nullptr);
    // Neither the external DTD subset nor any external entity is read: there is no external
    // entity handler to read them with, and parameter entities are never expanded.
    XML_SetParamEntityParsing(parser, XML_PARAM_ENTITY_PARSING_NEVER);
    m_parser = parser;
    m_locator->attach(parser);
    m_state = doc_state::open;
    return S_OK;
}

HRESULT SaxXmlReader::feed_bytes(void const* data, std::size_t size) noexcept {
    if (m_state == doc_state::failed) return m_result;
    if (m_state != doc_state::open) return E_UNEXPECTED;
    if (size == 0) return S_OK;
    if (data == nullptr) return E_POINTER;
    if (!m_started) {
        // The document starts with its first byte, so a download that fails before any byte
        // arrives reports no events at all.
        m_started = true;
        if (auto handler = m_content) {
            if (SUCCEEDED(handler_result(handler->putDocumentLocator(m_locator.get()))))
                handler_result(handler->startDocument());
        }
        if (m_state != doc_state::open) {
            release_parser();
            return m_result;
        }
    }
    auto const* bytes = static_cast<char const*>(data);
    // expat scans an unfinished token again from its start each time more of it arrives, so a
    // huge attribute value or comment fed in pieces would cost the square of its size. While no
    // event comes, bytes are held back until there are as many as expat already holds of the
    // token: each scan then covers at least twice the last, and the whole stays linear.
    if (!m_deferred.empty() || size < m_unfinished) {
        HRESULT const hr = hresult_boundary([&] { m_deferred.append(bytes, size); });
        if (FAILED(hr)) return fail(hr, u"out of memory holding the document", true);
        if (m_deferred.size() < m_unfinished) return S_OK;
        bytes = m_deferred.data();
        size = m_deferred.size();
    }
    HRESULT const hr = parse_bytes(bytes, size, false);
    std::string().swap(m_deferred);
    return hr;
}

HRESULT SaxXmlReader::parse_bytes(char const* bytes, std::size_t size, bool last) noexcept {
    std::uint64_t const events = m_events;
    std::size_t const given = size;
    do {
        int const chunk = static_cast<int>(std::min<std::size_t>(size, INT_MAX / 2));
        bool const final_chunk = last && static_cast<std::size_t>(chunk) == size;
        if (XML_Parse(m_parser, bytes, chunk, final_chunk ? XML_TRUE : XML_FALSE) ==
                XML_STATUS_ERROR ||
            m_state != doc_state::open)
            return parse_failed();
        bytes += chunk;
        size -= static_cast<std::size_t>(chunk);
    } while (size > 0);
    m_unfinished = m_events == events ? m_unfinished + given : 0;
    return S_OK;
}

HRESULT SaxXmlReader::close_document() noexcept {
    if (m_state == doc_state::open) {
        std::string held;
        held.swap(m_deferred);
        if (SUCCEEDED(parse_bytes(held.data(), held.size(), true))) {
            HRESULT const hr = hresult_boundary([&] { flush_text(); });
            if (FAILED(hr)) fail(hr, u"the reader failed while reporting an event", true);
            if (auto handler = m_content; handler && m_state == doc_state::open)
                handler_result(handler->endDocument());
        }
    } else if (m_state != doc_state::failed) {
        return E_UNEXPECTED;
    }
    release_parser();
    HRESULT const result = m_state == doc_state::failed ? m_result : S_OK;
    m_state = doc_state::idle;
    m_result = S_OK;
    return result;
}

HRESULT SaxXmlReader::parse_failed() noexcept {
    if (m_state == doc_state::open) {
        XML_Error const error = XML_GetErrorCode(m_parser);
        HRESULT const code = error == XML_ERROR_NO_MEMORY ? E_OUTOFMEMORY : XML_E_MALFORMED;
        std::u16string message;
        hresult_boundary([&] {
            std::string const text = "line " + std::to_string(XML_GetCurrentLineNumber(m_parser)) +
                                     ", column " +
                                     std::to_string(XML_GetCurrentColumnNumber(m_parser) + 1) +
                                     ": " + XML_ErrorString(error);
            message = widen(text, CP_UTF8);
        });
        fail(code, message.c_str(), true);
    }
    release_parser();
    return m_result;
}

void SaxXmlReader::release_parser() noexcept {
    if (m_locator) m_locator->detach();
    if (m_parser != nullptr) XML_ParserFree(m_parser);
    m_parser = nullptr;
    give_back(m_names);
    std::string().swap(m_text);
    std::string().swap(m_deferred);
    m_unfinished = 0;
}

HRESULT SaxXmlReader::fail(HRESULT code, OLECHAR const* message, bool report) noexcept {
    if (m_state == doc_state::failed) return m_result;
    m_state = doc_state::failed;
    m_result = code;
    if (m_parser != nullptr) XML_StopParser(m_parser, XML_FALSE);
    if (report) {
        if (auto handler = m_errors) handler->fatalError(m_locator.get(), message, code);
    }
    return code;
}

HRESULT SaxXmlReader::handler_result(HRESULT hr) noexcept {
    if (FAILED(hr)) fail(hr, u"", false);
    return hr;
}

void SaxXmlReader::flush_text() {
    if (m_text.empty()) return;
    assign_utf8(m_wide, m_text);
    m_text.clear();
    if (auto handler = m_content)
        handler_result(handler->characters(m_wide.c_str(), length_of(m_wide)));
}

void SaxXmlReader::bound_names() noexcept {
    // A document of endless distinct names must not grow the cache without bound. Emptied only
    // between events: an event holds on to its element's name while it looks up the names of
    // its attributes, so within one event the cache may pass the bound by that event's names.
    if (m_names->size() < max_cached_names) return;
    m_names->clear();
    std::fill(m_open.begin(), m_open.end(), nullptr);
}

HRESULT SaxXmlReader::download(std::u16string const& url) {
    if (!has_scheme(url, u"http://") && !has_scheme(url, u"https://"))
        return fail(INET_E_UNKNOWN_PROTOCOL, (url + u": only http and https URLs are read").c_str(),
                    true);
    HttpTransfer::options settings;
    settings.url = narrow(url, CP_UTF8);
    settings.max_redirects = max_redirects;
    settings.refuse_error_status = true;
    settings.user_agent = "AmbivoxSDK/1.0";
    // The document is parsed as it arrives; a parser that fails stops the transfer.
    HttpTransfer::outcome const got =
        HttpTransfer(std::move(settings)).run([this](std::string_view bytes) {
            return SUCCEEDED(feed_bytes(bytes.data(), bytes.size()));
        });

    // A failure of the parser or of a handler has been recorded (and reported) already.
    if (m_state != doc_state::open) return m_result;
    if (got.reason == HttpTransfer::failure::none) return S_OK;
    // What arrived before the failure is reported before it, held-back bytes included.
    if (!m_deferred.empty()) {
        std::string held;
        held.swap(m_deferred);
        if (FAILED(parse_bytes(held.data(), held.size(), false))) return m_result;
    }
    return fail(download_failure(got.reason), (url + u": " + widen(got.detail, CP_UTF8)).c_str(),
                true);
}

}  // namespace ambivox
