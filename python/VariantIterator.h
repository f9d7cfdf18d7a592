// VariantIterator: a Python iterator over an IEnumVARIANT, one item at a time.
#pragma once

#include <pybind11/pybind11.h>

#include <memory>

#include "platform/automation/Dispatch.h"
#include "platform/com/ComPtr.h"
#include "python/Apartment.h"

namespace ambivox::python {

class VariantIterator {
public:
    VariantIterator(com_ptr<IEnumVARIANT> each, std::shared_ptr<Apartment> apartment) noexcept
        : m_each(std::move(each)), m_apartment(std::move(apartment)) {}
    VariantIterator(VariantIterator&&) noexcept = default;
    ~VariantIterator();

    static void define(pybind11::module_& module);

private:
    pybind11::object next();

    com_ptr<IEnumVARIANT> m_each;
    std::shared_ptr<Apartment> m_apartment;
};

}  // namespace ambivox::python
