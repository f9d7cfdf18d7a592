#include "tests/support/TestWidget.h"

#include <memory>
#include <string>

#include "platform/automation/ErrorInfo.h"
#include "platform/automation/SnapshotEnumerator.h"
#include "platform/automation/UniqueBstr.h"

namespace ambivox::testing {

namespace {

library_description describe_library() {
    using I = ITestWidget;
    namespace id = test_widget_dispid;
    library_description lib;
    lib.libid = LIBID_TestWidgetLib;
    lib.name = u"TestWidgetLib";
    lib.help = u"TestWidget 1.0 Type Library";
    lib.major = 1;
    lib.minor = 0;
    lib.lcid = 0x409;
    lib.interfaces = {
        interface_description{
            I::iid,
            u"ITestWidget",
            u"ITestWidget Interface",
            interface_kind::dual,
            {
                property_get<&I::get_Label>(id::Label, u"Label"),
                property_put<&I::put_Label>(id::Label, u"Label"),
                property_get<&I::get_Small>(id::Small, u"Small"),
                property_put<&I::put_Small>(id::Small, u"Small"),
                property_get<&I::get_Count>(id::Count, u"Count"),
                property_put<&I::put_Count>(id::Count, u"Count"),
                property_get<&I::get_Stamp>(id::Stamp, u"Stamp"),
                property_put<&I::put_Stamp>(id::Stamp, u"Stamp"),
                property_get<&I::get_When>(id::When, u"When").with_type(0, VT_DATE),
                property_put<&I::put_When>(id::When, u"When").with_type(0, VT_DATE),
                property_get<&I::get_Payload>(id::Payload, u"Payload"),
                property_put<&I::put_Payload>(id::Payload, u"Payload"),
                method<&I::Describe>(id::Describe, u"Describe",
                                     {u"name", u"size", u"weight", u"summary"}),
                method<&I::Attach>(id::Attach, u"Attach", {u"target"}),
                method<&I::Bounds>(id::Bounds, u"Bounds", {u"low", u"high"}),
                method<&I::Attached>(id::Attached, u"Attached", {u"result"}),
                property_get<&I::get_Slot>(id::Slot, u"Slot", {u"index", u"pVal"}),
                method<&I::Item>(id::Item, u"Item", {u"index", u"item"}),
                property_get<&I::get__NewEnum>(id::NewEnum, u"_NewEnum"),
            }},
        interface_description{DIID__ITestWidgetEvents,
                              u"_ITestWidgetEvents",
                              u"_ITestWidgetEvents Interface",
                              interface_kind::dispatch_only,
                              {}},
    };
    lib.coclasses = {coclass_description{CLSID_TestWidget, u"TestWidget", u"TestWidget Class",
                                         &ITestWidget::iid, &DIID__ITestWidgetEvents}};
    return lib;
}

// Decimal digits, ASCII only.
std::u16string decimal(long long value) {
    std::string const digits = std::to_string(value);
    return std::u16string(digits.begin(), digits.end());
}

// Runs body as one member call: counted, with exceptions turned into HRESULTs.
template <class F>
HRESULT member_call(CTestWidget::fields& state, F&& body) noexcept {
    ++state.calls;
    return hresult_boundary(std::forward<F>(body));
}

}  // namespace

library_description const& test_widget_library() {
    static library_description const library = describe_library();
    return library;
}

HRESULT CTestWidget::get_Label(BSTR* pVal) noexcept {
    return member_call(m_state, [&] { *pVal = make_bstr(m_state.label); });
}

HRESULT CTestWidget::put_Label(BSTR newVal) noexcept {
    return member_call(m_state, [&] { m_state.label = bstr_view(newVal); });
}

HRESULT CTestWidget::get_Small(SHORT* pVal) noexcept {
    ++m_state.calls;
    *pVal = m_state.small;
    return S_OK;
}

HRESULT CTestWidget::put_Small(SHORT newVal) noexcept {
    ++m_state.calls;
    m_state.small = newVal;
    return S_OK;
}

HRESULT CTestWidget::get_Count(LONG* pVal) noexcept {
    ++m_state.calls;
    *pVal = m_state.count;
    return S_OK;
}

HRESULT CTestWidget::put_Count(LONG newVal) noexcept {
    ++m_state.calls;
    if (newVal < 0) return E_INVALIDARG;
    m_state.count = newVal;
    return S_OK;
}

HRESULT CTestWidget::get_Stamp(LONGLONG* pVal) noexcept {
    ++m_state.calls;
    *pVal = m_state.stamp;
    return S_OK;
}

HRESULT CTestWidget::put_Stamp(LONGLONG newVal) noexcept {
    ++m_state.calls;
    m_state.stamp = newVal;
    return S_OK;
}

HRESULT CTestWidget::get_When(DATE* pVal) noexcept {
    ++m_state.calls;
    *pVal = m_state.when;
    return S_OK;
}

HRESULT CTestWidget::put_When(DATE newVal) noexcept {
    ++m_state.calls;
    m_state.when = newVal;
    return S_OK;
}

HRESULT CTestWidget::get_Payload(VARIANT* pVal) noexcept {
    ++m_state.calls;
    VariantInit(pVal);
    return VariantCopy(pVal, &m_state.payload.get());
}

HRESULT CTestWidget::put_Payload(VARIANT newVal) noexcept {
    ++m_state.calls;
    return VariantCopy(m_state.payload.put(), &newVal);
}

HRESULT CTestWidget::Describe(BSTR name, SHORT size, LONG weight, BSTR* summary) noexcept {
    return member_call(m_state, [&] {
        std::u16string const text =
            std::u16string(bstr_view(name)) + u"/" + decimal(size) + u"/" + decimal(weight);
        *summary = make_bstr(text);
        m_state.described_name = bstr_view(name);
        m_state.described_size = size;
        m_state.described_weight = weight;
    });
}

HRESULT CTestWidget::Attach(IDispatch* target) noexcept {
    ++m_state.calls;
    m_state.attached = com_copy(target);
    return S_OK;
}

HRESULT CTestWidget::Bounds(LONG_PTR* low, LONG_PTR* high) noexcept {
    ++m_state.calls;
    m_state.incoming_low = *low;
    m_state.incoming_high = *high;
    *low = m_state.small;
    *high = m_state.count;
    return S_OK;
}

HRESULT CTestWidget::Attached(IDispatch** result) noexcept {
    ++m_state.calls;
    m_state.attached.copy_to(result);
    return S_OK;
}

HRESULT CTestWidget::get_Slot(SHORT index, BSTR* pVal) noexcept {
    ++m_state.calls;
    if (index < 1 || index > 4) {
        *pVal = nullptr;
        return set_error(E_INVALIDARG, u"TestWidget.Slot", u"the index is not in 1..4");
    }
    return hresult_boundary([&] { *pVal = make_bstr(u"slot " + decimal(index)); });
}

HRESULT CTestWidget::Item(VARIANT index, IDispatch** item) noexcept {
    return member_call(m_state, [&] {
        m_state.item_index = unique_variant(index);
        AddRef();
        *item = this;
    });
}

HRESULT CTestWidget::get__NewEnum(IUnknown** pVal) noexcept {
    return member_call(m_state, [&] {
        auto snapshot = std::make_shared<enum_snapshot<VARIANT>>();
        snapshot->push_back(unique_variant::from(m_state.label).get());
        snapshot->push_back(unique_variant::from(m_state.small).get());
        *pVal = make_snapshot_enumerator<IEnumVARIANT, VARIANT>(std::move(snapshot)).detach();
    });
}

}  // namespace ambivox::testing
