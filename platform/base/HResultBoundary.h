// The one boundary between code that throws and interface members that return HRESULTs.
//
// Inside the library code may throw: std::bad_alloc for exhausted memory, hresult_error for a
// failure that carries its own code. Every interface member runs its body through
// hresult_boundary, so no exception ever crosses an interface.
#pragma once

#include <exception>
#include <type_traits>

#include "platform/base/Errors.h"

namespace ambivox {

class hresult_error : public std::exception {
public:
    explicit hresult_error(HRESULT code) noexcept : m_code(code) {}
    HRESULT code() const noexcept { return m_code; }
    char const* what() const noexcept override;

private:
    HRESULT m_code;
};

[[noreturn]] void throw_hresult(HRESULT code);

inline HRESULT check_hresult(HRESULT code) {
    if (FAILED(code)) throw_hresult(code);
    return code;
}

// Raises HRESULT_FROM_WIN32 of the thread's last error.
[[noreturn]] void throw_last_error();

// Call inside a catch block: bad_alloc is E_OUTOFMEMORY, hresult_error its own code, anything
// else E_UNEXPECTED.
HRESULT to_hresult() noexcept;

// Runs f; a body returning HRESULT passes it on, a void body means S_OK.
template <class F>
HRESULT hresult_boundary(F&& f) noexcept {
    try {
        if constexpr (std::is_void_v<std::invoke_result_t<F&>>) {
            f();
            return S_OK;
        } else {
            return f();
        }
    } catch (...) {
        return to_hresult();
    }
}

}  // namespace ambivox
