#include "python/DispatchObject.h"

#include <atomic>
#include <functional>

#include "platform/base/CaseFolding.h"
#include "platform/base/ThreadState.h"
#include "python/BoundMember.h"
#include "python/ComFailure.h"
#include "python/VariantConverter.h"
#include "python/VariantIterator.h"

namespace py = pybind11;

namespace ambivox::python {

namespace {

std::atomic<std::size_t> g_live{0};

// Python's own attributes (__class__, __dict__, ...) are never looked up as members.
bool is_dunder(PyObject* name) noexcept {
    return PyUnicode_GET_LENGTH(name) >= 2 && PyUnicode_READ_CHAR(name, 0) == '_' &&
           PyUnicode_READ_CHAR(name, 1) == '_';
}

bool holds_object(unique_variant const& value) noexcept {
    return value.type() == VT_DISPATCH || value.type() == VT_UNKNOWN;
}

// Moves a reference into an IUnknown owner without touching the count, so that the release
// happens where the apartment decides.
template <class T>
com_ptr<IUnknown> as_unknown(com_ptr<T>& object) noexcept {
    com_ptr<IUnknown> unknown;
    unknown.attach(object.detach());
    return unknown;
}

}  // namespace

py::object DispatchObject::wrap(com_ptr<IUnknown> object) {
    Apartment::current();
    com_ptr<IUnknown> identity = object.try_as<IUnknown>();
    if (!identity) identity = object;
    return py::cast(
        std::make_unique<DispatchObject>(std::move(identity), object.try_as<IDispatch>()));
}

DispatchObject* DispatchObject::from(py::handle value) {
    if (!py::isinstance<DispatchObject>(value)) return nullptr;
    return py::cast<DispatchObject*>(value);
}

std::size_t DispatchObject::live_count() noexcept {
    return g_live.load();
}

DispatchObject::DispatchObject(com_ptr<IUnknown> identity, com_ptr<IDispatch> dispatch)
    : m_identity(std::move(identity)),
      m_dispatch(std::move(dispatch)),
      m_apartment(Apartment::current()) {
    if (m_dispatch) m_table = MemberTable::of(*m_dispatch);
    ++g_live;
}

DispatchObject::~DispatchObject() {
    --g_live;
    m_apartment->release(as_unknown(m_dispatch));
    m_apartment->release(as_unknown(m_identity));
}

std::u16string const& DispatchObject::interface_name() const noexcept {
    static std::u16string const none = u"IUnknown";
    return m_table && !m_table->interface_name().empty() ? m_table->interface_name() : none;
}

IDispatch& DispatchObject::enter(Member const* member, char const* what) const {
    if (!m_apartment->is_current()) throw ComFailure(RPC_E_WRONG_THREAD, describe(member, what));
    m_apartment->drain();
    return *m_dispatch;
}

std::string DispatchObject::describe(Member const* member, char const* what) const {
    std::string text = VariantConverter::utf8(interface_name());
    if (member != nullptr) return text + "." + VariantConverter::utf8(member->name);
    return what != nullptr ? text + " " + what : text;
}

unique_variant DispatchObject::as_variant() const {
    if (!m_apartment->is_current())
        throw ComFailure(RPC_E_WRONG_THREAD, "passing " + describe(nullptr, nullptr));
    unique_variant value;
    VARIANT* slot = value.put();
    if (m_dispatch) {
        slot->vt = VT_DISPATCH;
        m_dispatch.copy_to(&slot->pdispVal);
    } else {
        slot->vt = VT_UNKNOWN;
        m_identity.copy_to(&slot->punkVal);
    }
    return value;
}

unique_variant DispatchObject::invoke(DISPID dispid, WORD flags,
                                      std::vector<unique_variant> const& positional,
                                      named_args const& named, Member const* member,
                                      char const* what) {
    IDispatch& target = enter(member, what);
    // Named arguments come first, then the positional ones last to first.
    std::vector<VARIANT> args;
    std::vector<DISPID> ids;
    args.reserve(named.size() + positional.size());
    ids.reserve(named.size());
    for (auto const& [id, value] : named) {
        ids.push_back(id);
        args.push_back(value.get());
    }
    for (auto at = positional.rbegin(); at != positional.rend(); ++at)
        args.push_back(at->get());
    DISPPARAMS params{args.data(), ids.data(), static_cast<UINT>(args.size()),
                      static_cast<UINT>(ids.size())};

    unique_variant result;
    EXCEPINFO exception{};
    UINT bad_argument = 0;
    // A poll can take seconds: other Python threads run meanwhile.
    PyThreadState* const python = PyEval_SaveThread();
    HRESULT const hr = target.Invoke(dispid, IID_NULL, LOCALE_USER_DEFAULT, flags, &params,
                                     result.put(), &exception, &bad_argument);
    PyEval_RestoreThread(python);
    if (FAILED(hr)) throw ComFailure(hr, describe(member, what), exception);
    return result;
}

py::object DispatchObject::get(py::handle self, Member& member) {
    if (member.is_plain_property())
        return VariantConverter::to_python(
            invoke(member.dispid, DISPATCH_PROPERTYGET, {}, {}, &member, nullptr).get());
    if (!member.known) {
        // Without type information, a member that will not be read without arguments is
        // taken for a method.
        try {
            return VariantConverter::to_python(
                invoke(member.dispid, DISPATCH_PROPERTYGET, {}, {}, &member, nullptr).get());
        } catch (ComFailure const& failure) {
            if (failure.hresult() != DISP_E_MEMBERNOTFOUND &&
                failure.hresult() != DISP_E_BADPARAMCOUNT)
                throw;
        }
    }
    return BoundMember::make(py::reinterpret_borrow<py::object>(self), member);
}

void DispatchObject::set(Member const& member, py::handle value) {
    if (member.known && !member.put && !member.putref)
        throw py::attribute_error(describe(&member, nullptr) + " cannot be assigned" +
                                  (member.method ? " (it is a method)" : " (it is read-only)"));
    named_args named;
    named.emplace_back(DISPID_PROPERTYPUT, VariantConverter::to_variant(value));
    bool const by_reference =
        member.known && member.putref && (!member.put || holds_object(named.front().second));
    invoke(member.dispid, by_reference ? DISPATCH_PROPERTYPUTREF : DISPATCH_PROPERTYPUT, {}, named,
           &member, nullptr);
}

py::object DispatchObject::call(Member& member, py::args const& args, py::kwargs const& kwargs) {
    std::vector<unique_variant> positional;
    positional.reserve(args.size());
    for (py::handle arg : args)
        positional.push_back(VariantConverter::to_variant(arg));
    std::string const name = VariantConverter::utf8(member.name);
    if (member.known && positional.size() > member.params.size())
        throw py::type_error(name + "() takes " + std::to_string(member.params.size()) +
                             (member.params.size() == 1 ? " argument (" : " arguments (") +
                             std::to_string(positional.size()) + " given)");
    named_args const named = keyword_arguments(member, kwargs, positional.size());
    WORD const flags = !member.known   ? DISPATCH_METHOD | DISPATCH_PROPERTYGET
                       : member.method ? DISPATCH_METHOD
                                       : DISPATCH_PROPERTYGET;
    return VariantConverter::to_python(
        invoke(member.dispid, flags, positional, named, &member, nullptr).get());
}

DispatchObject::named_args DispatchObject::keyword_arguments(Member& m, py::kwargs const& kwargs,
                                                             std::size_t given_count) {
    std::string const name = VariantConverter::utf8(m.name);
    std::vector<std::u16string> names;
    std::vector<std::u16string> unknown;
    for (auto const& [key, value] : kwargs) {
        names.push_back(VariantConverter::text_of(key));
        if (m.named.contains(fold_name(names.back()))) continue;
        // The object would read the name only up to the NUL, and take it for another.
        if (names.back().find(u'\0') != std::u16string::npos)
            throw py::type_error(name + "() got an unexpected keyword argument " +
                                 VariantConverter::shown(key));
        unknown.push_back(names.back());
    }
    if (!unknown.empty()) {
        std::vector<LPOLESTR> asked{m.name.data()};
        for (auto& text : unknown)
            asked.push_back(text.data());
        std::vector<DISPID> ids(asked.size(), DISPID_UNKNOWN);
        HRESULT const hr =
            enter(&m, nullptr)
                .GetIDsOfNames(IID_NULL, asked.data(), static_cast<UINT>(asked.size()),
                               LOCALE_USER_DEFAULT, ids.data());
        if (FAILED(hr) && hr != DISP_E_UNKNOWNNAME)
            throw ComFailure(hr, "looking up the parameters of " + describe(&m, nullptr));
        for (std::size_t i = 0; i < unknown.size(); ++i) {
            if (ids[i + 1] == DISPID_UNKNOWN)
                throw py::type_error(name + "() got an unexpected keyword argument '" +
                                     VariantConverter::utf8(unknown[i]) + "'");
            m.named.emplace(fold_name(unknown[i]), ids[i + 1]);
        }
    }

    std::vector<bool> given(std::max(m.params.size(), given_count), false);
    std::fill_n(given.begin(), given_count, true);
    named_args named;
    std::size_t n = 0;
    for (auto const& [key, value] : kwargs) {
        DISPID const id = m.named.at(fold_name(names[n++]));
        if (id >= 0 && static_cast<std::size_t>(id) < given.size()) {
            if (given[id])
                throw py::type_error(name + "() got multiple values for argument '" +
                                     VariantConverter::utf8(names[n - 1]) + "'");
            given[id] = true;
        }
        named.emplace_back(id, VariantConverter::to_variant(value));
    }
    if (!m.known) return named;
    // A parameter left out travels as "missing" when it is optional, as the object expects.
    for (std::size_t p = 0; p < m.params.size(); ++p) {
        if (given[p]) continue;
        if (!m.optional[p])
            throw py::type_error(name + "() missing required argument '" +
                                 VariantConverter::utf8(m.params[p]) + "'");
        unique_variant missing;
        missing.put()->vt = VT_ERROR;
        missing.data()->scode = DISP_E_PARAMNOTFOUND;
        named.emplace_back(static_cast<DISPID>(p), std::move(missing));
    }
    return named;
}

py::object DispatchObject::call_default(py::args const& args, py::kwargs const& kwargs) {
    if (!m_dispatch) throw py::type_error("a component object without IDispatch is not callable");
    for (Member const& m : m_table->members())
        if (m.dispid == DISPID_VALUE) return call(const_cast<Member&>(m), args, kwargs);
    Member fallback;
    fallback.name = u"(default member)";
    fallback.dispid = DISPID_VALUE;
    fallback.known = false;
    return call(fallback, args, kwargs);
}

py::object DispatchObject::item(py::handle key) {
    py::tuple const args = py::isinstance<py::tuple>(key) ? py::reinterpret_borrow<py::tuple>(key)
                                                          : py::make_tuple(key);
    return call_default(args, py::kwargs());
}

py::object DispatchObject::iterate() {
    com_ptr<IEnumVARIANT> each;
    if (!m_dispatch) {
        each = m_identity.try_as<IEnumVARIANT>();
    } else {
        try {
            unique_variant const found =
                invoke(DISPID_NEWENUM, DISPATCH_METHOD | DISPATCH_PROPERTYGET, {}, {}, nullptr,
                       "_NewEnum");
            if (holds_object(found) && found->punkVal != nullptr)
                found->punkVal->QueryInterface(IID_IEnumVARIANT, each.put_void());
        } catch (ComFailure const& failure) {
            if (failure.hresult() != DISP_E_MEMBERNOTFOUND) throw;
        }
    }
    if (!each)
        throw py::type_error("'" + VariantConverter::utf8(interface_name()) +
                             "' object is not iterable");
    return py::cast(VariantIterator(std::move(each), m_apartment));
}

std::size_t DispatchObject::length() {
    Member* count =
        m_dispatch ? m_table->find(*m_dispatch, std::u16string_view(u"Count")) : nullptr;
    if (count == nullptr)
        throw py::type_error("object of type '" + VariantConverter::utf8(interface_name()) +
                             "' has no len()");
    py::object const value = VariantConverter::to_python(
        invoke(count->dispid, DISPATCH_PROPERTYGET, {}, {}, count, nullptr).get());
    if (!py::isinstance<py::int_>(value) || value.cast<long long>() < 0)
        throw py::value_error(describe(count, nullptr) + " is not a count");
    return value.cast<std::size_t>();
}

py::list DispatchObject::members() const {
    py::list names;
    if (m_table)
        for (Member const& m : m_table->members())
            if (!m.hidden) names.append(VariantConverter::to_str(m.name));
    return names;
}

std::string DispatchObject::repr() const {
    return "<ambivox.ComObject " + VariantConverter::utf8(interface_name()) + ">";
}

PyObject* DispatchObject::get_attribute(PyObject* self, PyObject* name) noexcept {
    try {
        bool const member_name = PyUnicode_Check(name) && !is_dunder(name);
        if (member_name) {
            auto& object = py::cast<DispatchObject&>(py::handle(self));
            if (object.m_dispatch)
                if (Member* m = object.m_table->find(*object.m_dispatch, py::handle(name)))
                    return object.get(self, *m).release().ptr();
        }
        PyObject* found = PyObject_GenericGetAttr(self, name);
        if (found == nullptr && member_name && PyErr_ExceptionMatches(PyExc_AttributeError)) {
            auto& object = py::cast<DispatchObject&>(py::handle(self));
            PyErr_Clear();
            throw py::attribute_error("'" + VariantConverter::utf8(object.interface_name()) +
                                      "' object has no attribute " + VariantConverter::shown(name));
        }
        return found;
    } catch (...) {
        ComFailure::set_python_error();
        return nullptr;
    }
}

int DispatchObject::set_attribute(PyObject* self, PyObject* name, PyObject* value) noexcept {
    try {
        if (!PyUnicode_Check(name) || is_dunder(name))
            return PyObject_GenericSetAttr(self, name, value);
        auto& object = py::cast<DispatchObject&>(py::handle(self));
        std::string const interface = VariantConverter::utf8(object.interface_name());
        Member* m = object.m_dispatch ? object.m_table->find(*object.m_dispatch, py::handle(name))
                                      : nullptr;
        if (m == nullptr)
            throw py::attribute_error("'" + interface + "' object has no attribute " +
                                      VariantConverter::shown(name));
        if (value == nullptr)
            throw py::attribute_error(interface + "." + VariantConverter::utf8(m->name) +
                                      " cannot be deleted");
        object.set(*m, value);
        return 0;
    } catch (...) {
        ComFailure::set_python_error();
        return -1;
    }
}

void DispatchObject::define(py::module_& module) {
    py::class_<DispatchObject, std::unique_ptr<DispatchObject>> type(
        module, "ComObject",
        "A component object, called by name through its IDispatch. Made by ambivox.Dispatch() "
        "or returned from another object's members.");
    type.def("__call__", &DispatchObject::call_default)
        .def("__getitem__", &DispatchObject::item)
        .def("__iter__", &DispatchObject::iterate)
        .def("__len__", &DispatchObject::length)
        .def("__bool__", [](DispatchObject const&) { return true; })
        .def("__dir__", &DispatchObject::members)
        .def("__repr__", &DispatchObject::repr)
        .def("__eq__",
             [](DispatchObject const& self, py::handle other) -> py::object {
                 DispatchObject const* that = from(other);
                 if (that == nullptr) return py::reinterpret_borrow<py::object>(Py_NotImplemented);
                 return py::bool_(self.m_identity == that->m_identity);
             })
        .def("__hash__", [](DispatchObject const& self) {
            return std::hash<IUnknown*>()(self.m_identity.get());
        });
    // Members are found before Python's own attributes, and assignments never make new ones.
    auto* const type_object = reinterpret_cast<PyTypeObject*>(type.ptr());
    type_object->tp_getattro = &DispatchObject::get_attribute;
    type_object->tp_setattro = &DispatchObject::set_attribute;
    PyType_Modified(type_object);
}

}  // namespace ambivox::python
