#include "python/ComFailure.h"

#include <cstdio>
#include <utility>

#include "platform/automation/ErrorInfo.h"
#include "platform/automation/UniqueBstr.h"
#include "platform/base/CodePage.h"
#include "platform/base/HResultMessage.h"

namespace ambivox::python {

namespace {

PyObject* g_error_class = nullptr;  // ambivox.ComError, kept for the life of the process

std::string utf8(std::u16string_view text) {
    return narrow(text, CP_UTF8);
}

std::string message_of(HRESULT hr, std::string const& step, std::string const& description) {
    char code[16];
    std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(hr));
    std::string text = step + " failed: " + code;
    if (auto const name = hresult_name(hr); !name.empty()) text += " " + std::string(name);
    if (!description.empty()) text += ": " + description;
    return text;
}

std::string described(HRESULT hr, std::u16string_view cause) {
    return utf8(cause.empty() ? hresult_message(hr) : cause);
}

}  // namespace

ComFailure::ComFailure(HRESULT hr, std::string step, std::string description)
    : std::runtime_error(message_of(hr, step, description)),
      m_hresult(hr),
      m_name(hresult_name(hr)),
      m_description(std::move(description)) {}

ComFailure::ComFailure(HRESULT hr, std::string step)
    : ComFailure(hr, std::move(step), described(hr, take_error_description())) {}

ComFailure::ComFailure(HRESULT hr, std::string step, EXCEPINFO& exception)
    : ComFailure(from_exception(hr, exception), std::move(step)) {}

ComFailure::ComFailure(cause failure, std::string step)
    : ComFailure(failure.hr, std::move(step), std::move(failure.description)) {}

ComFailure::cause ComFailure::from_exception(HRESULT hr, EXCEPINFO& exception) {
    if (hr != DISP_E_EXCEPTION) return {hr, described(hr, {})};
    if (exception.pfnDeferredFillIn != nullptr) exception.pfnDeferredFillIn(&exception);
    unique_bstr const source = unique_bstr::attach(std::exchange(exception.bstrSource, nullptr));
    unique_bstr const description =
        unique_bstr::attach(std::exchange(exception.bstrDescription, nullptr));
    unique_bstr const help = unique_bstr::attach(std::exchange(exception.bstrHelpFile, nullptr));
    if (FAILED(exception.scode)) hr = exception.scode;
    return {hr, described(hr, description.view())};
}

void ComFailure::raise() const {
    pybind11::object const error = pybind11::reinterpret_borrow<pybind11::object>(g_error_class)(
        what(), static_cast<unsigned long>(static_cast<ULONG>(m_hresult)), m_name, m_description);
    PyErr_SetObject(g_error_class, error.ptr());
}

void ComFailure::set_python_error() noexcept {
    try {
        throw;
    } catch (pybind11::error_already_set& error) {
        error.restore();
    } catch (ComFailure const& failure) {
        try {
            failure.raise();
        } catch (...) {
            PyErr_SetString(PyExc_OSError, failure.what());
        }
    } catch (pybind11::builtin_exception const& error) {
        error.set_error();
    } catch (std::bad_alloc const&) {
        PyErr_NoMemory();
    } catch (std::exception const& error) {
        PyErr_SetString(PyExc_RuntimeError, error.what());
    } catch (...) {
        PyErr_SetString(PyExc_RuntimeError, "unknown failure");
    }
}

void ComFailure::register_translator(PyObject* error_class) {
    Py_INCREF(error_class);
    g_error_class = error_class;
    pybind11::register_exception_translator([](std::exception_ptr thrown) {
        try {
            if (thrown) std::rethrow_exception(thrown);
        } catch (ComFailure const& failure) {
            failure.raise();
        }
    });
}

}  // namespace ambivox::python
