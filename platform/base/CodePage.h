// Conversions between byte code pages and UTF-16, with the Win32 calling contract.
//
// The ANSI code page (CP_ACP, CP_THREAD_ACP) is Windows-1252 and the OEM code page (CP_OEMCP)
// is 437, the code pages of the default locale 0x0409. 1252, 437 and 65001 may also be named
// by number.
#pragma once

#include <string>
#include <string_view>

#include "platform/base/Types.h"

constexpr UINT CP_ACP = 0;
constexpr UINT CP_OEMCP = 1;
constexpr UINT CP_THREAD_ACP = 3;
constexpr UINT CP_UTF8 = 65001;

constexpr DWORD MB_ERR_INVALID_CHARS = 0x8;

// Converts srcLen bytes of src (-1: up to and including its terminator) to UTF-16 in dst, the
// caller's buffer of dstLen code units. Answers the code units written, or with dstLen 0 the
// code units needed (dst is not touched then). On failure answers 0, leaves dst unwritten and
// sets the thread's last error:
//   ERROR_INVALID_PARAMETER      null src, srcLen 0 or below -1, dstLen below 0, null dst with
//                                a nonzero dstLen, src and dst the same, an unknown code page,
//                                or flags other than MB_ERR_INVALID_CHARS;
//   ERROR_INSUFFICIENT_BUFFER    the result needs more than dstLen code units;
//   ERROR_NO_UNICODE_TRANSLATION MB_ERR_INVALID_CHARS was given and the UTF-8 input is invalid.
// Without MB_ERR_INVALID_CHARS each invalid UTF-8 sequence becomes U+FFFD. Every byte of 1252
// and 437 has a character.
int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR src, int srcLen, LPWSTR dst,
                        int dstLen) noexcept;

// Converts srcLen code units of src (-1: up to and including its terminator) to bytes in dst,
// the caller's buffer of dstLen bytes. Answers the bytes written, or with dstLen 0 the bytes
// needed (dst is not touched then). A character the code page lacks becomes defaultChar[0] (or
// '?' when defaultChar is null) and sets *usedDefault to TRUE; *usedDefault is FALSE otherwise.
// UTF-8 encodes an unpaired surrogate as U+FFFD. Failures answer 0, leave dst unwritten and
// set the thread's last error: ERROR_INVALID_PARAMETER for the parameter faults listed above,
// any flags, or a defaultChar/usedDefault given with CP_UTF8; ERROR_INSUFFICIENT_BUFFER when
// dstLen is too small.
int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR src, int srcLen, LPSTR dst, int dstLen,
                        LPCSTR defaultChar, BOOL* usedDefault) noexcept;

namespace ambivox {

// Whole-string conversions that never fail on content: invalid UTF-8 becomes U+FFFD and
// characters a byte code page lacks become '?'. An unknown code page answers an empty string.
// They throw only std::bad_alloc.
std::u16string widen(std::string_view bytes, UINT code_page);
std::string narrow(std::u16string_view text, UINT code_page);

}  // namespace ambivox
