// CHttpClient: fetches one document from a Model N device over plain HTTP/1.0 on port 80 and
// hands it back as wide text, decoded from the calling thread's ANSI code page.
#pragma once

#include <string>

#include "platform/internet/WinInet.h"

namespace ambivox {

class CHttpClient {
public:
    // Opens the root handle at once; a failed open is tried again by Get.
    CHttpClient() noexcept;
    ~CHttpClient();
    CHttpClient(CHttpClient const&) = delete;
    CHttpClient& operator=(CHttpClient const&) = delete;

    // GET `path` from `server` (a host name or address, no scheme, no port). True once the
    // request was sent, whatever the HTTP status and whether the whole body arrived; `text`
    // then holds the decoded body. False when the request could not be made; `text` is then
    // untouched. Raises hresult_error when the body cannot be decoded.
    bool Get(LPCWSTR server, LPCWSTR path, std::u16string& text);

    // The status of the last request Get sent (0 before any).
    DWORD LastStatus() const noexcept { return m_lastStatus; }
    // Whether the last body read arrived whole (false when the transfer broke off).
    bool LastBodyComplete() const noexcept { return m_bodyComplete; }
    // The last status's reason phrase ("Not Found"); empty when the server sent none.
    std::u16string const& LastStatusText() const noexcept { return m_lastStatusText; }
    // Why the last Get could not be made, or its body broke off, in words; empty otherwise.
    std::u16string const& LastFailure() const noexcept { return m_lastFailure; }

    // Empties `text`, then appends the body chunk by chunk. Always true.
    bool ReadResponse(std::u16string& text, HINTERNET request);

    // Closes the root handle; again does nothing.
    void Close() noexcept;

    static constexpr DWORD chunk_size = 1024;

private:
    HINTERNET m_root = nullptr;
    DWORD m_lastStatus = 0;
    bool m_bodyComplete = false;
    std::u16string m_lastStatusText;
    std::u16string m_lastFailure;
};

// The body of `path` on `server` as a fresh string the caller frees (an empty body gives an
// allocated empty string). E_OUTOFMEMORY when the request cannot be made, the server answers
// with a status outside 200-299 or the body breaks off; *document is then untouched. A body that
// cannot be decoded gives HRESULT_FROM_WIN32 of the decoding error. On failure *cause (when
// given) receives the URL and why, for a person: "http://10.0.0.7/config: connection refused".
HRESULT FetchDocument(LPCWSTR server, LPCWSTR path, BSTR* document,
                      std::u16string* cause = nullptr) noexcept;

}  // namespace ambivox
