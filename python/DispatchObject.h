// DispatchObject: a component object as Python sees it, bound by name through IDispatch.
//
// Attributes are the members the type information lists: reading a property calls its getter,
// reading a method (or a property that takes arguments) gives a BoundMember to call, assigning
// calls the setter. obj(...) and obj[...] reach the default member (DISPID 0), iteration the
// enumerator behind DISPID_NEWENUM, len() the Count property. The object belongs to the thread
// that made it, as the runtime's objects are single-threaded.
#pragma once

#include <pybind11/pybind11.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/automation/UniqueVariant.h"
#include "platform/com/ComPtr.h"
#include "python/Apartment.h"
#include "python/MemberTable.h"

namespace ambivox::python {

class DispatchObject {
public:
    // The Python object for object, which the calling thread's apartment holds. Objects that
    // answer IDispatch are callable by name; others can only be passed on or iterated.
    static pybind11::object wrap(com_ptr<IUnknown> object);
    // The wrapped object behind value, or null when value is none.
    static DispatchObject* from(pybind11::handle value);
    static void define(pybind11::module_& module);
    // How many wrapped objects are alive right now.
    static std::size_t live_count() noexcept;

    DispatchObject(com_ptr<IUnknown> identity, com_ptr<IDispatch> dispatch);
    ~DispatchObject();
    DispatchObject(DispatchObject const&) = delete;
    DispatchObject& operator=(DispatchObject const&) = delete;

    // A VT_DISPATCH (or VT_UNKNOWN) variant holding a new reference, for an argument.
    unique_variant as_variant() const;

    // Calls member with Python arguments: positional, and keyword ones by parameter name.
    pybind11::object call(Member& member, pybind11::args const& args,
                          pybind11::kwargs const& kwargs);
    std::u16string const& interface_name() const noexcept;

private:
    using named_args = std::vector<std::pair<DISPID, unique_variant>>;

    static PyObject* get_attribute(PyObject* self, PyObject* name) noexcept;
    static int set_attribute(PyObject* self, PyObject* name, PyObject* value) noexcept;

    pybind11::object get(pybind11::handle self, Member& member);
    void set(Member const& member, pybind11::handle value);
    pybind11::object call_default(pybind11::args const& args, pybind11::kwargs const& kwargs);
    pybind11::object item(pybind11::handle key);
    pybind11::object iterate();
    std::size_t length();
    pybind11::list members() const;
    std::string repr() const;

    // Checks that the calling thread owns the object and releases what other threads dropped.
    IDispatch& enter(Member const* member, char const* what) const;
    // One Invoke, with the GIL released; positional in the caller's order.
    unique_variant invoke(DISPID dispid, WORD flags, std::vector<unique_variant> const& positional,
                          named_args const& named, Member const* member, char const* what);
    // Also remembers the DISPIDs of parameter names in the member.
    named_args keyword_arguments(Member& member, pybind11::kwargs const& kwargs, std::size_t given);
    std::string describe(Member const* member, char const* what) const;

    com_ptr<IUnknown> m_identity;  // the object's IUnknown: equal objects have equal ones
    com_ptr<IDispatch> m_dispatch;
    std::shared_ptr<MemberTable> m_table;
    std::shared_ptr<Apartment> m_apartment;
};

}  // namespace ambivox::python
