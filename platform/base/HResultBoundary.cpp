#include "platform/base/HResultBoundary.h"

#include <new>

#include "platform/base/ThreadState.h"

namespace ambivox {

char const* hresult_error::what() const noexcept {
    return "operation failed with an HRESULT";
}

void throw_hresult(HRESULT code) {
    throw hresult_error(code);
}

void throw_last_error() {
    DWORD const error = GetLastError();
    throw hresult_error(error == ERROR_SUCCESS ? E_FAIL : HRESULT_FROM_WIN32(error));
}

HRESULT to_hresult() noexcept {
    try {
        throw;
    } catch (std::bad_alloc const&) {
        return E_OUTOFMEMORY;
    } catch (hresult_error const& e) {
        return e.code();
    } catch (...) {
        return E_UNEXPECTED;
    }
}

}  // namespace ambivox
