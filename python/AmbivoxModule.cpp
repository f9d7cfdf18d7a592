// ambivox._ambivox: the extension behind the ambivox package.
#include <pybind11/pybind11.h>

#include "platform/base/Guid.h"
#include "platform/com/ComRuntime.h"
#include "python/Apartment.h"
#include "python/BoundMember.h"
#include "python/ComFailure.h"
#include "python/DispatchObject.h"
#include "python/VariantConverter.h"
#include "python/VariantIterator.h"

namespace py = pybind11;
using namespace ambivox;
using namespace ambivox::python;

namespace {

py::object create(py::str const& name) {
    Apartment::current()->drain();
    std::u16string const text = VariantConverter::text_of(name);
    std::string const spelled = VariantConverter::utf8(text);
    // The registry would read the name only up to the NUL, and find another class.
    if (text.find(u'\0') != std::u16string::npos)
        throw py::value_error("the class name " + VariantConverter::shown(name) +
                              " holds a NUL character");
    CLSID clsid{};
    HRESULT hr = text.starts_with(u'{') ? CLSIDFromString(text.c_str(), &clsid)
                                        : CLSIDFromProgID(text.c_str(), &clsid);
    if (FAILED(hr)) throw ComFailure(hr, "finding the class " + spelled);
    com_ptr<IUnknown> object;
    hr = CoCreateInstance(clsid, nullptr, CLSCTX_ALL, IID_IUnknown, object.put_void());
    if (FAILED(hr)) throw ComFailure(hr, "creating " + spelled);
    return DispatchObject::wrap(std::move(object));
}

}  // namespace

PYBIND11_MODULE(_ambivox, module) {
    // The package defines ComError before it imports this module.
    ComFailure::register_translator(py::module_::import("ambivox").attr("ComError").ptr());
    DispatchObject::define(module);
    BoundMember::define(module);
    VariantIterator::define(module);

    module.def("Dispatch", &create, py::arg("progid_or_clsid"),
               "Creates the object of a registered class, named by its ProgID "
               "(\"AmbivoxSDK.AmbivoxModelN\") or its CLSID in braces.");
    module.def("live_objects", &DispatchObject::live_count,
               "How many component objects Python holds right now.");
    module.def(
        "free_unused_libraries",
        [] {
            Apartment::current()->drain();
            CoFreeUnusedLibraries();
        },
        "Unloads the component modules that no object of this thread (or of a thread that has "
        "ended) still uses.");
}
