// BoundMember: a method (or a property that takes arguments) of one object, to be called.
// It carries the member's help string, so help(obj.Poll) shows what the type information says.
#pragma once

#include <pybind11/pybind11.h>

#include "python/MemberTable.h"

namespace ambivox::python {

class BoundMember {
public:
    BoundMember(pybind11::object owner, Member& member) noexcept
        : m_owner(std::move(owner)), m_member(&member) {}

    // The Python object, with the member's name and help string.
    static pybind11::object make(pybind11::object owner, Member& member);
    static void define(pybind11::module_& module);

private:
    pybind11::object call(pybind11::args const& args, pybind11::kwargs const& kwargs);
    pybind11::str doc() const;
    pybind11::str name() const;
    std::string repr() const;

    pybind11::object m_owner;  // the DispatchObject
    Member* m_member;          // lives in its table for the life of the process
};

}  // namespace ambivox::python
