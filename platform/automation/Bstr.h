// Automation strings: a 4-byte byte-length prefix, UTF-16 data and a terminator. A BSTR points
// at the data. A null BSTR is a valid empty string everywhere.
#pragma once

#include "platform/base/Types.h"

// Each allocator answers a fresh string owned by the caller (free it with SysFreeString), or
// null when memory is exhausted or the length cannot be represented.
BSTR SysAllocString(LPCOLESTR text) noexcept;
BSTR SysAllocStringLen(LPCOLESTR text, UINT length) noexcept;  // text may be null: zero-filled
BSTR SysAllocStringByteLen(LPCSTR bytes, UINT byteLength) noexcept;  // embedded nulls survive

// Replace *target with a copy of text; the old string is freed only on success. TRUE on success.
INT SysReAllocString(BSTR* target, LPCOLESTR text) noexcept;
INT SysReAllocStringLen(BSTR* target, LPCOLESTR text, UINT length) noexcept;

void SysFreeString(BSTR text) noexcept;  // null-safe
UINT SysStringLen(BSTR text) noexcept;   // in UTF-16 code units; 0 for null
UINT SysStringByteLen(BSTR text) noexcept;
