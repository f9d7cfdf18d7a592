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

}  // namespace

CHttpClient::CHttpClient() noexcept : m_root(open_root()) {}

CHttpClient::~CHttpClient() {
    Close();
}

bool CHttpClient::Get(LPCWSTR server, LPCWSTR path, std::u16string& text) {
    if (m_root == nullptr) m_root = open_root();
    if (m_root == nullptr) return false;
    internet_handle connection{InternetConnectW(m_root, server, INTERNET_DEFAULT_HTTP_PORT, nullptr,
                                                nullptr, INTERNET_SERVICE_HTTP, 0, 1)};
    if (connection.value == nullptr) return false;
    // Declared after the connection, so it closes first.
    internet_handle request{HttpOpenRequestW(connection.value, u"GET", path, u"HTTP/1.0", nullptr,
                                             nullptr, INTERNET_FLAG_EXISTING_CONNECT, 1)};
    if (request.value == nullptr) return false;
    if (!HttpSendRequestW(request.value, nullptr, 0, nullptr, 0)) return false;

    DWORD status = 0;
    DWORD size = sizeof status;
    m_lastStatus = HttpQueryInfoW(request.value, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER,
                                  &status, &size, nullptr)
                       ? status
                       : 0;
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
        if (!InternetReadFile(request, buffer.data(), chunk_size, &read)) break;
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

HRESULT FetchDocument(LPCWSTR server, LPCWSTR path, BSTR* document) noexcept {
    return hresult_boundary([&]() -> HRESULT {
        std::u16string body;
        CHttpClient client;
        bool const sent = client.Get(server, path, body);
        client.Close();
        // An error page or half a page is no document: a device answering 404, or breaking off
        // mid-page, must not look polled.
        if (!sent || client.LastStatus() < 200 || client.LastStatus() > 299 ||
            !client.LastBodyComplete())
            return E_OUTOFMEMORY;
        *document = make_bstr(body);
        return S_OK;
    });
}

}  // namespace ambivox
