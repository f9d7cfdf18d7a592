// MemberTable: what the type information says of an interface's members, read once per
// interface and kept for the life of the process, so that a repeated access costs one Invoke.
//
// Tables hold plain data only, never the type information itself: a held ITypeInfo would keep
// its module loaded. An interface identifier names one immutable interface, so a table read for
// one object serves every object of that interface, also after its module was unloaded and
// loaded again.
#pragma once

#include <pybind11/pybind11.h>

#include <deque>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/automation/Dispatch.h"

namespace ambivox::python {

struct Member {
    std::u16string name;  // as the type information spells it
    DISPID dispid = DISPID_UNKNOWN;
    bool known = true;  // false: found by GetIDsOfNames alone, its kind unknown
    bool method = false;
    bool get = false;
    bool put = false;
    bool putref = false;
    // The parameters a caller gives to the method or the getter (no result, no setter value).
    std::vector<std::u16string> params;
    std::vector<bool> optional;
    std::u16string help;

    // Whether reading the attribute calls the getter at once (it needs no argument).
    bool is_plain_property() const noexcept;
    // The DISPIDs of parameter names, as GetIDsOfNames answered them, by folded name.
    std::unordered_map<std::u16string, DISPID> named;
    bool hidden = false;  // restricted or hidden: callable, but not listed
};

// Used with the GIL held, which keeps every table consistent.
class MemberTable {
public:
    // The table of object's interface; a table of its own, filled by name as the object is
    // used, when the object offers no type information.
    static std::shared_ptr<MemberTable> of(IDispatch& object);

    // The member called name (any case); null when there is none. The object is asked by name
    // only when the type information is missing.
    Member* find(IDispatch& object, pybind11::handle name);
    Member* find(IDispatch& object, std::u16string_view name);

    // Only the tables of objects without type information go, with their object (GIL held).
    ~MemberTable() { Py_XDECREF(m_spellings); }
    MemberTable(MemberTable const&) = delete;
    MemberTable& operator=(MemberTable const&) = delete;

    std::u16string const& interface_name() const noexcept { return m_name; }
    std::deque<Member> const& members() const noexcept { return m_members; }

private:
    static constexpr std::size_t npos = static_cast<std::size_t>(-1);

    MemberTable() = default;
    void read(ITypeInfo& info);
    std::size_t index_of(IDispatch& object, std::u16string_view name);

    bool m_described = false;
    std::u16string m_name;
    std::deque<Member> m_members;  // a deque, so that members never move once found
    std::unordered_map<std::u16string, std::size_t> m_by_folded_name;
    // Python spellings already met, to their members' indexes: a dict lookup on the fast path.
    PyObject* m_spellings = nullptr;
};

}  // namespace ambivox::python
