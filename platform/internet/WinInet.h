// The platform's internet client: the subset of calls a plain HTTP GET needs.
//
// Handles are real handles: a closed or unknown handle is refused with ERROR_INVALID_HANDLE,
// never dereferenced. Every failing call returns null or FALSE and sets the thread's last
// error. A request's whole transfer happens in HttpSendRequestW (bounded by the platform's
// time-outs and a 16 MiB cap); InternetReadFile then hands out the body.
#pragma once

#include "platform/base/Errors.h"
#include "platform/base/Types.h"

using HINTERNET = void*;
using INTERNET_PORT = WORD;
using DWORD_PTR = ULONG_PTR;

constexpr DWORD INTERNET_OPEN_TYPE_PRECONFIG = 0;  // the system's proxy settings
constexpr DWORD INTERNET_OPEN_TYPE_DIRECT = 1;
constexpr DWORD INTERNET_OPEN_TYPE_PROXY = 3;
constexpr DWORD INTERNET_SERVICE_HTTP = 3;
constexpr INTERNET_PORT INTERNET_DEFAULT_HTTP_PORT = 80;
constexpr DWORD INTERNET_FLAG_EXISTING_CONNECT = 0x20000000;
constexpr DWORD INTERNET_FLAG_RELOAD = 0x80000000;
constexpr DWORD INTERNET_FLAG_NO_CACHE_WRITE = 0x04000000;
constexpr DWORD INTERNET_FLAG_KEEP_CONNECTION = 0x00400000;

constexpr DWORD HTTP_QUERY_STATUS_CODE = 19;
constexpr DWORD HTTP_QUERY_STATUS_TEXT = 20;
constexpr DWORD HTTP_QUERY_FLAG_NUMBER = 0x20000000;

constexpr DWORD ERROR_INTERNET_TIMEOUT = 12002;
constexpr DWORD ERROR_INTERNET_INTERNAL_ERROR = 12004;
constexpr DWORD ERROR_INTERNET_INVALID_URL = 12005;
constexpr DWORD ERROR_INTERNET_NAME_NOT_RESOLVED = 12007;
constexpr DWORD ERROR_INTERNET_INCORRECT_HANDLE_TYPE = 12018;
constexpr DWORD ERROR_INTERNET_CANNOT_CONNECT = 12029;
constexpr DWORD ERROR_INTERNET_CONNECTION_ABORTED = 12030;
constexpr DWORD ERROR_INTERNET_CONNECTION_RESET = 12031;
constexpr DWORD ERROR_HTTP_INVALID_QUERY_REQUEST = 12154;
constexpr DWORD ERROR_HTTP_HEADER_NOT_FOUND = 12150;
constexpr DWORD ERROR_INTERNET_ITEM_NOT_FOUND = 12009;

// A session handle, closed with InternetCloseHandle.
HINTERNET InternetOpenW(LPCWSTR agent, DWORD accessType, LPCWSTR proxy, LPCWSTR proxyBypass,
                        DWORD flags) noexcept;

// A connection handle to `server` on `port`, closed with InternetCloseHandle. The name is only
// checked when a request is sent.
HINTERNET InternetConnectW(HINTERNET session, LPCWSTR server, INTERNET_PORT port, LPCWSTR user,
                           LPCWSTR password, DWORD service, DWORD flags,
                           DWORD_PTR context) noexcept;

// A request handle, closed with InternetCloseHandle. `object` is the path, sent verbatim.
HINTERNET HttpOpenRequestW(HINTERNET connection, LPCWSTR verb, LPCWSTR object, LPCWSTR version,
                           LPCWSTR referrer, LPCWSTR* acceptTypes, DWORD flags,
                           DWORD_PTR context) noexcept;

// Sends the request and receives the response. A server name that is no host name or address
// fails with ERROR_INTERNET_NAME_NOT_RESOLVED; a refused connection with
// ERROR_INTERNET_CANNOT_CONNECT; no connection or no progress within the time-outs with
// ERROR_INTERNET_TIMEOUT. Any HTTP status counts as a sent request.
BOOL HttpSendRequestW(HINTERNET request, LPCWSTR headers, DWORD headersLength, void* optional,
                      DWORD optionalLength) noexcept;

// Copies up to `toRead` body bytes into `buffer`; *read = 0 at the end of the body. A body cut
// off in transfer (or over the size cap) is handed out up to the cut, then the call fails with
// ERROR_INTERNET_CONNECTION_ABORTED.
BOOL InternetReadFile(HINTERNET file, void* buffer, DWORD toRead, DWORD* read) noexcept;

// HTTP_QUERY_STATUS_CODE, as text or with HTTP_QUERY_FLAG_NUMBER as a DWORD; or
// HTTP_QUERY_STATUS_TEXT, the status line's reason phrase ("Not Found"), possibly empty.
BOOL HttpQueryInfoW(HINTERNET request, DWORD infoLevel, void* buffer, DWORD* bufferLength,
                    DWORD* index) noexcept;

BOOL InternetCloseHandle(HINTERNET handle) noexcept;

// Why the calling thread's last failed send or read failed, in words ("connection refused", "no
// answer within 10 s", "document cut off"); empty before any. *error receives that failure's
// last error. *length is the buffer's size in characters; it receives the text's length without
// the terminator, and when the buffer is too small (or null) the call fails with
// ERROR_INSUFFICIENT_BUFFER and *length is the size the text needs, terminator included.
BOOL InternetGetLastResponseInfoW(DWORD* error, LPWSTR buffer, DWORD* length) noexcept;
