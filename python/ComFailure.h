// ComFailure: a failing HRESULT with what was being done and the cause in words, on its way to
// Python as ambivox.ComError.
#pragma once

#include <pybind11/pybind11.h>

#include <stdexcept>
#include <string>

#include "platform/automation/Dispatch.h"

namespace ambivox::python {

class ComFailure : public std::runtime_error {
public:
    // The description is the calling thread's error object when one is left, else the
    // runtime's sentence for hr.
    ComFailure(HRESULT hr, std::string step);
    // The description comes from an EXCEPINFO that Invoke filled (whose strings it frees);
    // DISP_E_EXCEPTION gives way to the member's own code.
    ComFailure(HRESULT hr, std::string step, EXCEPINFO& exception);

    HRESULT hresult() const noexcept { return m_hresult; }
    std::string const& name() const noexcept { return m_name; }
    std::string const& description() const noexcept { return m_description; }

    // Raises ambivox.ComError for this failure in Python (the class is looked up once, in
    // register_translator).
    void raise() const;

    // Sets the Python error for the exception being handled; for a catch (...) block of code
    // that Python calls without pybind11 in between.
    static void set_python_error() noexcept;

    // Makes every ComFailure that reaches Python an instance of error_class.
    static void register_translator(PyObject* error_class);

private:
    struct cause {
        HRESULT hr;
        std::string description;
    };
    static cause from_exception(HRESULT hr, EXCEPINFO& exception);
    ComFailure(cause failure, std::string step);
    ComFailure(HRESULT hr, std::string step, std::string description);

    HRESULT m_hresult;
    std::string m_name;
    std::string m_description;
};

}  // namespace ambivox::python
