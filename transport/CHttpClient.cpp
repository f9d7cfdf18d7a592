#include "transport/CHttpClient.h"

#include <array>

#include "platform/automation/UniqueBstr.h"
#include "platform/base/CodePage.h"
#include "platform/base/HResultBoundary.h"
#include "platform/base/ThreadState.h"

namespace ambivox {

namespace {

constexpr char16_t agent[] = u"AmbivoxSDK";

HINTERNET open_root() noexcept {
    return InternetOpenW(agent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
}

// Closes an internet handle when it goes out of scope.
struct internet_handle {
    HINTERNET value;
    ~internet_handle() {
        if (value != nullptr) InternetCloseHandle(value);
    }
};

// The platform's words for the thread's last failed send or read; a failure before any transfer
// (a handle refused) leaves none, and the code has to do.
std::u16string last_failure() {
    DWORD const code = GetLastError();
    DWORD error = 0;
    std::array<char16_t, 512> text{};
    auto length = static_cast<DWORD>(text.size());
    if (InternetGetLastResponseInfoW(&error, text.data(), &length) && length > 0 && error == code)
        return std::u16string(text.data(), length);
    return u"the request could not be made (error " + widen(std::to_string(code), CP_UTF8) + u")";
}

}  // namespace

CHttpClient::CHttpClient() noexcept : m_root(open_root()) {}

CHttpClient::~CHttpClient() {
    Close();
}

bool CHttpClient::Get(LPCWSTR server, LPCWSTR path, std::u16string& text) {
    m_lastFailure.clear();
    m_lastStatusText.clear();
    auto failed = [this] {
        m_lastFailure = last_failure();
        return false;
    };
    if (m_root == nullptr) m_root = open_root();
    if (m_root == nullptr) return failed();
    internet_handle connection{InternetConnectW(m_root, server, INTERNET_DEFAULT_HTTP_PORT, nullptr,
                                                nullptr, INTERNET_SERVICE_HTTP, 0, 1)};
    if (connection.value == nullptr) return failed();
    // Declared after the connection, so it closes first.
    internet_handle request{HttpOpenRequestW(connection.value, u"GET", path, u"HTTP/1.0", nullptr,
                                             nullptr, INTERNET_FLAG_EXISTING_CONNECT, 1)};
    if (request.value == nullptr) return failed();
    if (!HttpSendRequestW(request.value, nullptr, 0, nullptr, 0)) return failed();

    DWORD status = 0;
    DWORD size = sizeof status;
    m_lastStatus = HttpQueryInfoW(request.value, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER,
                                  &status, &size, nullptr)
                       ? status
                       : 0;
    std::array<char16_t, 128> phrase{};
    DWORD phraseSize = sizeof phrase;
    if (HttpQueryInfoW(request.value, HTTP_QUERY_STATUS_TEXT, phrase.data(), &phraseSize, nullptr))
        m_lastStatusText.assign(phrase.data(), phraseSize / sizeof(char16_t));
    std::u16string body;
    ReadResponse(body, request.value);
    text = std::move(body);
    return true;
}

bool CHttpClient::ReadResponse(std::u16string& text, HINTERNET request) {
    text.clear();
    m_bodyComplete = false;
    std::array<char, chunk_size> buffer;
    for (;;) {
        DWORD read = 0;
        if (!InternetReadFile(request, buffer.data(), chunk_size, &read)) {
            m_lastFailure = last_failure();
            break;
        }
        if (read == 0) {
            m_bodyComplete = true;
            break;
        }
        // Each chunk is decoded by itself, up to its first zero byte.
        int length = 0;
        while (static_cast<DWORD>(length) < read && buffer[length] != '\0')
            ++length;
        if (length == 0) continue;
        int const wide = MultiByteToWideChar(CP_THREAD_ACP, 0, buffer.data(), length, nullptr, 0);
        if (wide == 0) throw_last_error();
        std::size_t const at = text.size();
        text.resize(at + static_cast<std::size_t>(wide));
        if (MultiByteToWideChar(CP_THREAD_ACP, 0, buffer.data(), length, text.data() + at, wide) ==
            0)
            throw_last_error();
    }
    return true;
}

void CHttpClient::Close() noexcept {
    if (m_root != nullptr) {
        InternetCloseHandle(m_root);
        m_root = nullptr;
    }
}

HRESULT FetchDocument(LPCWSTR server, LPCWSTR path, BSTR* document,
                      std::u16string* cause) noexcept {
    return hresult_boundary([&]() -> HRESULT {
        std::u16string body;
        CHttpClient client;
        bool const sent = client.Get(server, path, body);
        client.Close();
        // An error page or half a page is no document: a device answering 404, or breaking off
        // mid-page, must not look polled.
        bool const error_page = sent && (client.LastStatus() < 200 || client.LastStatus() > 299);
        if (!sent || error_page || !client.LastBodyComplete()) {
            if (cause != nullptr) {
                std::u16string why = client.LastFailure();
                if (error_page) {
                    why = u"HTTP " + widen(std::to_string(client.LastStatus()), CP_UTF8);
                    if (!client.LastStatusText().empty()) why += u" " + client.LastStatusText();
                } else if (why.empty()) {
                    why = u"document cut off";
                }
                *cause = u"http://" + std::u16string(server != nullptr ? server : u"") +
                         std::u16string(path != nullptr ? path : u"") + u": " + why;
            }
            return E_OUTOFMEMORY;
        }
        *document = make_bstr(body);
        return S_OK;
    });
}

}  // namespace ambivox
