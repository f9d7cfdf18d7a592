#include "python/VariantConverter.h"

// datetime.h keeps its table of functions per translation unit: only this one uses it.
#include <datetime.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "platform/automation/OleDate.h"
#include "platform/automation/UniqueBstr.h"
#include "platform/base/CodePage.h"
#include "python/ComFailure.h"
#include "python/DispatchObject.h"

namespace py = pybind11;

namespace ambivox::python {

namespace {

void import_datetime() {
    if (PyDateTimeAPI == nullptr) {
        PyDateTime_IMPORT;
        if (PyDateTimeAPI == nullptr) throw py::error_already_set();
    }
}

// Dates travel as the local time they show; an aware datetime is moved to local time first.
DATE date_of(py::handle value) {
    py::object local = py::reinterpret_borrow<py::object>(value);
    if (PyDateTime_Check(value.ptr()) && !local.attr("tzinfo").is_none())
        local = local.attr("astimezone")().attr("replace")(py::arg("tzinfo") = py::none());
    PyObject* const p = local.ptr();
    SYSTEMTIME st{};
    st.wYear = static_cast<WORD>(PyDateTime_GET_YEAR(p));
    st.wMonth = static_cast<WORD>(PyDateTime_GET_MONTH(p));
    st.wDay = static_cast<WORD>(PyDateTime_GET_DAY(p));
    if (PyDateTime_Check(p)) {
        st.wHour = static_cast<WORD>(PyDateTime_DATE_GET_HOUR(p));
        st.wMinute = static_cast<WORD>(PyDateTime_DATE_GET_MINUTE(p));
        st.wSecond = static_cast<WORD>(PyDateTime_DATE_GET_SECOND(p));
    }
    DATE date = 0;
    if (!SystemTimeToVariantTime(&st, &date))
        throw py::value_error("a date before year 100 has no automation date");
    return date;
}

py::object datetime_of(DATE date) {
    SYSTEMTIME st{};
    if (!VariantTimeToSystemTime(date, &st))
        throw py::value_error("the automation date " + std::to_string(date) +
                              " is outside years 100 to 9999");
    PyObject* made = PyDateTime_FromDateAndTime(st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute,
                                                st.wSecond, 0);
    if (made == nullptr) throw py::error_already_set();
    return py::reinterpret_steal<py::object>(made);
}

}  // namespace

unique_variant VariantConverter::to_variant(py::handle value) {
    import_datetime();
    PyObject* const p = value.ptr();
    unique_variant result;
    if (p == Py_None) return result;
    if (PyBool_Check(p)) {
        result.put()->vt = VT_BOOL;
        result.data()->boolVal = p == Py_True ? VARIANT_TRUE : VARIANT_FALSE;
        return result;
    }
    if (PyLong_Check(p)) {
        int overflow = 0;
        long long const n = PyLong_AsLongLongAndOverflow(p, &overflow);
        if (overflow != 0) {
            PyErr_SetString(PyExc_OverflowError, "an int beyond 64 bits has no variant type");
            throw py::error_already_set();
        }
        if (n == -1 && PyErr_Occurred()) throw py::error_already_set();
        if (n >= INT32_MIN && n <= INT32_MAX) return unique_variant::from(static_cast<LONG>(n));
        return unique_variant::from(static_cast<LONGLONG>(n));
    }
    if (PyFloat_Check(p)) return unique_variant::from(PyFloat_AS_DOUBLE(p));
    if (PyUnicode_Check(p)) return unique_variant::from(std::u16string_view(text_of(value)));
    if (PyDate_Check(p)) {
        result.put()->vt = VT_DATE;
        result.data()->date = date_of(value);
        return result;
    }
    if (auto* object = DispatchObject::from(value)) return object->as_variant();
    throw py::type_error(std::string("a ") + Py_TYPE(p)->tp_name +
                         " cannot be passed to a component object (pass str, int, float, bool, "
                         "datetime, None or a component object)");
}

py::object VariantConverter::to_python(VARIANT const& value) {
    if (value.vt & VT_BYREF) {
        unique_variant direct;
        HRESULT const hr = VariantCopyInd(direct.put(), &value);
        if (FAILED(hr)) throw ComFailure(hr, "reading a value passed by reference");
        return to_python(direct.get());
    }
    switch (value.vt) {
        case VT_EMPTY:
        case VT_NULL:
            return py::none();
        case VT_I1:
            return py::int_(value.cVal);
        case VT_I2:
            return py::int_(value.iVal);
        case VT_I4:
        case VT_INT:
            return py::int_(value.lVal);
        case VT_I8:
            return py::int_(value.llVal);
        case VT_UI1:
            return py::int_(value.bVal);
        case VT_UI2:
            return py::int_(value.uiVal);
        case VT_UI4:
        case VT_UINT:
            return py::int_(value.ulVal);
        case VT_UI8:
            return py::int_(value.ullVal);
        case VT_ERROR:
            return py::int_(static_cast<ULONG>(value.scode));
        case VT_R4:
            return py::float_(value.fltVal);
        case VT_R8:
            return py::float_(value.dblVal);
        case VT_BOOL:
            return py::bool_(value.boolVal != VARIANT_FALSE);
        case VT_BSTR:
            return to_str(bstr_view(value.bstrVal));
        case VT_DATE:
            import_datetime();
            return datetime_of(value.date);
        case VT_DISPATCH:
        case VT_UNKNOWN:
            if (value.punkVal == nullptr) return py::none();
            return DispatchObject::wrap(com_copy(value.punkVal));
        case VT_CY:
        case VT_DECIMAL: {
            unique_variant number;
            HRESULT const hr = VariantChangeType(number.put(), &value, 0, VT_R8);
            if (FAILED(hr)) throw ComFailure(hr, "converting a number to float");
            return py::float_(number->dblVal);
        }
        default:
            throw py::type_error("a variant of type " + std::to_string(value.vt) +
                                 " has no Python counterpart");
    }
}

py::str VariantConverter::to_str(std::u16string_view text) {
    int little_endian = -1;
    PyObject* made = PyUnicode_DecodeUTF16(reinterpret_cast<char const*>(text.data()),
                                           static_cast<Py_ssize_t>(text.size() * 2),
                                           "surrogatepass", &little_endian);
    if (made == nullptr) throw py::error_already_set();
    return py::reinterpret_steal<py::str>(made);
}

std::u16string VariantConverter::text_of(py::handle text) {
    if (!PyUnicode_Check(text.ptr()))
        throw py::type_error(std::string("expected a str, not a ") + Py_TYPE(text.ptr())->tp_name);
    auto const bytes = py::reinterpret_steal<py::object>(
        PyUnicode_AsEncodedString(text.ptr(), "utf-16-le", "surrogatepass"));
    if (!bytes) throw py::error_already_set();
    char* data = nullptr;
    Py_ssize_t size = 0;
    PyBytes_AsStringAndSize(bytes.ptr(), &data, &size);
    std::u16string result(static_cast<std::size_t>(size) / 2, u'\0');
    std::memcpy(result.data(), data, result.size() * 2);
    return result;
}

std::string VariantConverter::utf8(std::u16string_view text) {
    return narrow(text, CP_UTF8);
}

std::string VariantConverter::shown(py::handle text) {
    // str's own repr, not a subclass's: a message never runs the caller's code.
    auto const quoted = py::reinterpret_steal<py::object>(PyUnicode_Type.tp_repr(text.ptr()));
    if (!quoted) throw py::error_already_set();
    return quoted.cast<std::string>();
}

}  // namespace ambivox::python
