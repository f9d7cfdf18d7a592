#include "python/VariantIterator.h"

#include "platform/automation/UniqueVariant.h"
#include "python/ComFailure.h"
#include "python/VariantConverter.h"

namespace py = pybind11;

namespace ambivox::python {

VariantIterator::~VariantIterator() {
    if (!m_each || !m_apartment) return;  // moved from
    com_ptr<IUnknown> each;
    each.attach(m_each.detach());
    m_apartment->release(std::move(each));
}

py::object VariantIterator::next() {
    if (!m_apartment->is_current())
        throw ComFailure(RPC_E_WRONG_THREAD, "iterating a component object's items");
    m_apartment->drain();
    unique_variant item;
    ULONG fetched = 0;
    HRESULT const hr = m_each->Next(1, item.put(), &fetched);
    if (FAILED(hr)) throw ComFailure(hr, "iterating a component object's items");
    if (hr != S_OK || fetched != 1) throw py::stop_iteration();
    return VariantConverter::to_python(item.get());
}

void VariantIterator::define(py::module_& module) {
    py::class_<VariantIterator>(module, "VariantIterator")
        .def("__iter__", [](py::object self) { return self; })
        .def("__next__", &VariantIterator::next);
}

}  // namespace ambivox::python
