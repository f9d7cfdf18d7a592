#include "python/MemberTable.h"

#include <cstring>
#include <utility>

#include "platform/automation/TypeInfoInterfaces.h"
#include "platform/automation/UniqueBstr.h"
#include "platform/base/CaseFolding.h"
#include "platform/base/ThreadState.h"
#include "platform/com/ComPtr.h"
#include "python/ComFailure.h"
#include "python/VariantConverter.h"

namespace ambivox::python {

namespace {

// Spellings beyond this many are looked up by folding each time rather than remembered, so
// that a script trying names in a loop cannot grow a table without bound.
constexpr Py_ssize_t max_spellings_per_member = 4;
constexpr Py_ssize_t spare_spellings = 64;

struct KnownTable {
    GUID iid;
    std::shared_ptr<MemberTable> table;
};

std::vector<KnownTable>& known_tables() {
    static auto* tables = new std::vector<KnownTable>();  // lives as long as the Python objects
    return *tables;
}

// Gives a description back to the type information that lent it.
template <class T, void (ITypeInfo::*Release)(T*) noexcept>
struct Lent {
    ITypeInfo& info;
    T* value = nullptr;
    ~Lent() {
        if (value != nullptr) (info.*Release)(value);
    }
};

}  // namespace

bool Member::is_plain_property() const noexcept {
    if (!get) return false;
    for (bool opt : optional)
        if (!opt) return false;
    return true;
}

std::shared_ptr<MemberTable> MemberTable::of(IDispatch& object) {
    com_ptr<ITypeInfo> info;
    UINT count = 0;
    if (FAILED(object.GetTypeInfoCount(&count)) || count == 0 ||
        FAILED(object.GetTypeInfo(0, LOCALE_USER_DEFAULT, info.put())) || !info)
        return std::shared_ptr<MemberTable>(new MemberTable());

    Lent<TYPEATTR, &ITypeInfo::ReleaseTypeAttr> attr{*info};
    if (FAILED(info->GetTypeAttr(&attr.value)) || attr.value == nullptr)
        throw ComFailure(E_UNEXPECTED, "reading the type information");
    for (auto const& known : known_tables())
        if (std::memcmp(&known.iid, &attr.value->guid, sizeof(GUID)) == 0) return known.table;

    std::shared_ptr<MemberTable> table(new MemberTable());
    table->read(*info);
    known_tables().push_back({attr.value->guid, table});
    return table;
}

void MemberTable::read(ITypeInfo& info) {
    Lent<TYPEATTR, &ITypeInfo::ReleaseTypeAttr> attr{info};
    if (FAILED(info.GetTypeAttr(&attr.value)))
        throw ComFailure(E_UNEXPECTED, "reading the type information");
    unique_bstr name;
    info.GetDocumentation(MEMBERID_NIL, name.put(), nullptr, nullptr, nullptr);
    m_name = name.str();

    for (UINT i = 0; i < attr.value->cFuncs; ++i) {
        Lent<FUNCDESC, &ITypeInfo::ReleaseFuncDesc> func{info};
        if (FAILED(info.GetFuncDesc(i, &func.value))) continue;
        FUNCDESC const& f = *func.value;

        std::vector<BSTR> names(static_cast<std::size_t>(f.cParams) + 1, nullptr);
        UINT named = 0;
        info.GetNames(f.memid, names.data(), static_cast<UINT>(names.size()), &named);
        std::vector<unique_bstr> owned;
        for (UINT n = 0; n < named; ++n)
            owned.push_back(unique_bstr::attach(names[n]));
        if (owned.empty()) continue;

        std::u16string const folded = fold_name(owned[0].view());
        auto [at, added] = m_by_folded_name.try_emplace(folded, m_members.size());
        if (added) {
            Member& m = m_members.emplace_back();
            m.name = owned[0].str();
            m.dispid = f.memid;
            unique_bstr help;
            info.GetDocumentation(f.memid, nullptr, help.put(), nullptr, nullptr);
            m.help = help.str();
        }
        Member& m = m_members[at->second];
        m.hidden = m.hidden || (f.wFuncFlags & (FUNCFLAG_FRESTRICTED | FUNCFLAG_FHIDDEN)) != 0;
        switch (f.invkind) {
            case INVOKE_PROPERTYPUT:
                m.put = true;
                continue;
            case INVOKE_PROPERTYPUTREF:
                m.putref = true;
                continue;
            case INVOKE_PROPERTYGET:
                m.get = true;
                break;
            case INVOKE_FUNC:
                m.method = true;
                break;
        }
        m.params.clear();
        m.optional.clear();
        for (SHORT p = 0; p < f.cParams; ++p) {
            USHORT const flags = f.lprgelemdescParam[p].paramdesc.wParamFlags;
            if (flags & (PARAMFLAG_FRETVAL | PARAMFLAG_FLCID)) continue;
            std::size_t const n = static_cast<std::size_t>(p) + 1;
            m.params.push_back(n < owned.size() ? owned[n].str() : std::u16string());
            m.optional.push_back((flags & PARAMFLAG_FOPT) != 0 || p >= f.cParams - f.cParamsOpt);
        }
    }
    m_described = true;
}

Member* MemberTable::find(IDispatch& object, pybind11::handle name) {
    if (m_spellings == nullptr) m_spellings = PyDict_New();
    if (m_spellings == nullptr) throw pybind11::error_already_set();
    if (PyObject* index = PyDict_GetItemWithError(m_spellings, name.ptr()))
        return &m_members[PyLong_AsSize_t(index)];
    if (PyErr_Occurred()) throw pybind11::error_already_set();

    std::size_t const index = index_of(object, VariantConverter::text_of(name));
    if (index == npos) return nullptr;
    Py_ssize_t const limit =
        spare_spellings + max_spellings_per_member * static_cast<Py_ssize_t>(m_members.size());
    if (PyDict_Size(m_spellings) < limit) {
        auto const value = pybind11::reinterpret_steal<pybind11::object>(PyLong_FromSize_t(index));
        if (!value || PyDict_SetItem(m_spellings, name.ptr(), value.ptr()) != 0)
            throw pybind11::error_already_set();
    }
    return &m_members[index];
}

Member* MemberTable::find(IDispatch& object, std::u16string_view name) {
    std::size_t const index = index_of(object, name);
    return index == npos ? nullptr : &m_members[index];
}

std::size_t MemberTable::index_of(IDispatch& object, std::u16string_view name) {
    std::u16string const folded = fold_name(name);
    if (auto at = m_by_folded_name.find(folded); at != m_by_folded_name.end()) return at->second;
    // A NUL would end the name where the object reads it, naming another member.
    if (m_described || name.find(u'\0') != std::u16string_view::npos) return npos;

    // No type information: the object itself says whether it knows the name.
    std::u16string spelled(name);
    LPOLESTR names[] = {spelled.data()};
    DISPID dispid = DISPID_UNKNOWN;
    HRESULT const hr = object.GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &dispid);
    if (hr == DISP_E_UNKNOWNNAME || hr == DISP_E_MEMBERNOTFOUND) return npos;
    if (FAILED(hr)) throw ComFailure(hr, "looking up " + VariantConverter::utf8(name));
    m_by_folded_name.emplace(folded, m_members.size());
    Member& m = m_members.emplace_back();
    m.name = std::move(spelled);
    m.dispid = dispid;
    m.known = false;
    return m_members.size() - 1;
}

}  // namespace ambivox::python
