#include "python/BoundMember.h"

#include "python/DispatchObject.h"
#include "python/VariantConverter.h"

namespace py = pybind11;

namespace ambivox::python {

py::object BoundMember::call(py::args const& args, py::kwargs const& kwargs) {
    return m_owner.cast<DispatchObject&>().call(*m_member, args, kwargs);
}

py::str BoundMember::doc() const {
    std::u16string text = m_member->help;
    if (!m_member->params.empty()) {
        text += text.empty() ? u"Parameters: " : u"\n\nParameters: ";
        for (std::size_t p = 0; p < m_member->params.size(); ++p) {
            if (p != 0) text += u", ";
            text += m_member->params[p];
            if (m_member->optional[p]) text += u" (optional)";
        }
    }
    return VariantConverter::to_str(text);
}

py::str BoundMember::name() const {
    return VariantConverter::to_str(m_member->name);
}

std::string BoundMember::repr() const {
    return "<member " + VariantConverter::utf8(m_member->name) + " of " +
           VariantConverter::utf8(m_owner.cast<DispatchObject&>().interface_name()) + ">";
}

py::object BoundMember::make(py::object owner, Member& member) {
    py::object bound = py::cast(BoundMember(std::move(owner), member));
    BoundMember const& made = bound.cast<BoundMember const&>();
    bound.attr("__name__") = made.name();
    bound.attr("__doc__") = made.doc();
    return bound;
}

void BoundMember::define(py::module_& module) {
    // Name and help string live in the instance's own dictionary, where pydoc looks first.
    py::class_<BoundMember>(module, "BoundMember", py::dynamic_attr())
        .def("__call__", &BoundMember::call)
        // A descriptor's __get__ makes pydoc treat it as a routine and show its __doc__.
        .def("__get__", [](py::object self, py::handle, py::handle) { return self; })
        .def("__repr__", &BoundMember::repr);
}

}  // namespace ambivox::python
