#include "platform/base/HResultMessage.h"

#include "platform/base/Errors.h"

namespace ambivox {

namespace {

struct known_code {
    HRESULT code;
    std::string_view name;
    std::u16string_view message;
};

constexpr known_code known_codes[] = {
    {S_OK, "S_OK", u"The operation completed successfully."},
    {S_FALSE, "S_FALSE", u"The operation completed with a partial result."},
    {E_NOTIMPL, "E_NOTIMPL", u"Not implemented."},
    {E_NOINTERFACE, "E_NOINTERFACE", u"No such interface supported."},
    {E_POINTER, "E_POINTER", u"Invalid pointer."},
    {E_ABORT, "E_ABORT", u"Operation aborted."},
    {E_FAIL, "E_FAIL", u"Unspecified error."},
    {E_UNEXPECTED, "E_UNEXPECTED", u"Catastrophic failure."},
    {E_ACCESSDENIED, "E_ACCESSDENIED", u"Access is denied."},
    {E_HANDLE, "E_HANDLE", u"The handle is invalid."},
    {E_OUTOFMEMORY, "E_OUTOFMEMORY", u"Not enough memory resources are available."},
    {E_INVALIDARG, "E_INVALIDARG", u"The parameter is incorrect."},
    {CLASS_E_NOAGGREGATION, "CLASS_E_NOAGGREGATION", u"Class does not support aggregation."},
    {CLASS_E_CLASSNOTAVAILABLE, "CLASS_E_CLASSNOTAVAILABLE",
     u"The module does not serve this class."},
    {REGDB_E_CLASSNOTREG, "REGDB_E_CLASSNOTREG", u"Class not registered."},
    {REGDB_E_READREGDB, "REGDB_E_READREGDB", u"Could not read the registry."},
    {REGDB_E_WRITEREGDB, "REGDB_E_WRITEREGDB", u"Could not write the registry."},
    {CO_E_NOTINITIALIZED, "CO_E_NOTINITIALIZED", u"CoInitialize has not been called."},
    {CO_E_CLASSSTRING, "CO_E_CLASSSTRING", u"Invalid class string."},
    {CO_E_DLLNOTFOUND, "CO_E_DLLNOTFOUND", u"The module of the class could not be loaded."},
    {CO_E_ERRORINDLL, "CO_E_ERRORINDLL", u"The module of the class is not a valid server."},
    {RPC_E_CHANGED_MODE, "RPC_E_CHANGED_MODE",
     u"The thread was initialised with another concurrency model."},
    {RPC_E_WRONG_THREAD, "RPC_E_WRONG_THREAD",
     u"The object belongs to another thread and can be called only there."},
    {CONNECT_E_NOCONNECTION, "CONNECT_E_NOCONNECTION", u"No such connection."},
    {CONNECT_E_ADVISELIMIT, "CONNECT_E_ADVISELIMIT", u"No more connections can be made."},
    {CONNECT_E_CANNOTCONNECT, "CONNECT_E_CANNOTCONNECT",
     u"The sink does not support the event interface."},
    {DISP_E_UNKNOWNINTERFACE, "DISP_E_UNKNOWNINTERFACE", u"Unknown interface."},
    {DISP_E_MEMBERNOTFOUND, "DISP_E_MEMBERNOTFOUND", u"Member not found."},
    {DISP_E_PARAMNOTFOUND, "DISP_E_PARAMNOTFOUND", u"Parameter not found."},
    {DISP_E_TYPEMISMATCH, "DISP_E_TYPEMISMATCH", u"Type mismatch."},
    {DISP_E_UNKNOWNNAME, "DISP_E_UNKNOWNNAME", u"Unknown name."},
    {DISP_E_NONAMEDARGS, "DISP_E_NONAMEDARGS", u"No named arguments."},
    {DISP_E_BADVARTYPE, "DISP_E_BADVARTYPE", u"Bad variable type."},
    {DISP_E_EXCEPTION, "DISP_E_EXCEPTION", u"Exception occurred."},
    {DISP_E_OVERFLOW, "DISP_E_OVERFLOW", u"Out of present range."},
    {DISP_E_BADINDEX, "DISP_E_BADINDEX", u"Invalid index."},
    {DISP_E_BADPARAMCOUNT, "DISP_E_BADPARAMCOUNT", u"Invalid number of parameters."},
    {DISP_E_PARAMNOTOPTIONAL, "DISP_E_PARAMNOTOPTIONAL", u"Parameter not optional."},
    {TYPE_E_ELEMENTNOTFOUND, "TYPE_E_ELEMENTNOTFOUND", u"Element not found."},
    {TYPE_E_LIBNOTREGISTERED, "TYPE_E_LIBNOTREGISTERED", u"Library not registered."},
    {TYPE_E_CANTLOADLIBRARY, "TYPE_E_CANTLOADLIBRARY", u"Error loading type library."},
    {TYPE_E_REGISTRYACCESS, "TYPE_E_REGISTRYACCESS", u"Error accessing the registry."},
    {HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), "HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)",
     u"The system cannot find the file specified."},
    {HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER), "HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER)",
     u"The data area passed to a system call is too small."},
    {HRESULT_FROM_WIN32(ERROR_SEM_TIMEOUT), "HRESULT_FROM_WIN32(ERROR_SEM_TIMEOUT)",
     u"The semaphore timeout period has expired."},
};

}  // namespace

std::u16string_view hresult_message(HRESULT hr) noexcept {
    for (auto const& k : known_codes)
        if (k.code == hr) return k.message;
    return {};
}

std::string_view hresult_name(HRESULT hr) noexcept {
    for (auto const& k : known_codes)
        if (k.code == hr) return k.name;
    return {};
}

}  // namespace ambivox
