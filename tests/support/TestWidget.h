// A dual interface that exists only for the tests of late binding, with one member of each kind
// of parameter the dispatch machinery handles, and CTestWidget, which implements it by keeping
// what it is given.
#pragma once

#include <string>

#include "platform/automation/DispatchImpl.h"
#include "platform/automation/LibraryDescription.h"
#include "platform/automation/UniqueVariant.h"
#include "platform/com/ComPtr.h"
#include "platform/com/Implements.h"

inline constexpr GUID LIBID_TestWidgetLib =
    ambivox::make_guid("7A1C0100-5E2B-4C1D-9A10-0000000001A0");
inline constexpr CLSID CLSID_TestWidget =
    ambivox::make_guid("7A1C0101-5E2B-4C1D-9A10-0000000001A1");
inline constexpr IID DIID__ITestWidgetEvents =
    ambivox::make_guid("7A1C0103-5E2B-4C1D-9A10-0000000001A3");

// The DISPIDs of ITestWidget's members.
namespace test_widget_dispid {
inline constexpr DISPID Label = 1;
inline constexpr DISPID Small = 2;
inline constexpr DISPID Count = 3;
inline constexpr DISPID Stamp = 4;
inline constexpr DISPID When = 5;
inline constexpr DISPID Payload = 6;
inline constexpr DISPID Describe = 7;
inline constexpr DISPID Attach = 8;
inline constexpr DISPID Bounds = 9;
inline constexpr DISPID Attached = 10;
inline constexpr DISPID Slot = 11;
inline constexpr DISPID Item = DISPID_VALUE;
inline constexpr DISPID NewEnum = DISPID_NEWENUM;
}  // namespace test_widget_dispid

// Out-parameters follow the runtime's rule: what is handed out is the caller's; a failing
// member hands out nothing and changes no state.
struct ITestWidget : IDispatch {
    static constexpr IID iid = ambivox::make_guid("7A1C0102-5E2B-4C1D-9A10-0000000001A2");
    using base_interface = IDispatch;

    virtual HRESULT get_Label(BSTR* pVal) noexcept = 0;
    virtual HRESULT put_Label(BSTR newVal) noexcept = 0;
    virtual HRESULT get_Small(SHORT* pVal) noexcept = 0;
    virtual HRESULT put_Small(SHORT newVal) noexcept = 0;
    virtual HRESULT get_Count(LONG* pVal) noexcept = 0;
    // E_INVALIDARG for a negative count.
    virtual HRESULT put_Count(LONG newVal) noexcept = 0;
    virtual HRESULT get_Stamp(LONGLONG* pVal) noexcept = 0;
    virtual HRESULT put_Stamp(LONGLONG newVal) noexcept = 0;
    virtual HRESULT get_When(DATE* pVal) noexcept = 0;
    virtual HRESULT put_When(DATE newVal) noexcept = 0;
    virtual HRESULT get_Payload(VARIANT* pVal) noexcept = 0;
    virtual HRESULT put_Payload(VARIANT newVal) noexcept = 0;
    // *summary: "name/size/weight".
    virtual HRESULT Describe(BSTR name, SHORT size, LONG weight, BSTR* summary) noexcept = 0;
    // Keeps a reference to target (null lets go of the one kept).
    virtual HRESULT Attach(IDispatch* target) noexcept = 0;
    // *low and *high receive Small and Count; their incoming values are remembered.
    virtual HRESULT Bounds(LONG_PTR* low, LONG_PTR* high) noexcept = 0;
    // The object Attach kept, or null.
    virtual HRESULT Attached(IDispatch** result) noexcept = 0;
    // "slot N" for index N in 1..4; E_INVALIDARG otherwise, with an error object saying so.
    virtual HRESULT get_Slot(SHORT index, BSTR* pVal) noexcept = 0;
    // The widget itself, whatever the index; the index is remembered.
    virtual HRESULT Item(VARIANT index, IDispatch** item) noexcept = 0;
    // An IEnumVARIANT over Label and Small, as IUnknown.
    virtual HRESULT get__NewEnum(IUnknown** pVal) noexcept = 0;

protected:
    ~ITestWidget() = default;
};

namespace ambivox::testing {

// The description of ITestWidget, its empty event interface and the TestWidget coclass.
library_description const& test_widget_library();

class CTestWidget final : public implements<CTestWidget, dispatch<ITestWidget>> {
public:
    // Everything the members were given, for the tests to read and preset.
    struct fields {
        std::u16string label;
        SHORT small = 0;
        LONG count = 0;
        LONGLONG stamp = 0;
        DATE when = 0;
        unique_variant payload;
        com_ptr<IDispatch> attached;
        std::u16string described_name;
        SHORT described_size = 0;
        LONG described_weight = 0;
        LONG_PTR incoming_low = 0;
        LONG_PTR incoming_high = 0;
        unique_variant item_index;
        int calls = 0;  // members that ran, failed ones included
    };

    fields& state() noexcept { return m_state; }

    HRESULT get_Label(BSTR* pVal) noexcept override;
    HRESULT put_Label(BSTR newVal) noexcept override;
    HRESULT get_Small(SHORT* pVal) noexcept override;
    HRESULT put_Small(SHORT newVal) noexcept override;
    HRESULT get_Count(LONG* pVal) noexcept override;
    HRESULT put_Count(LONG newVal) noexcept override;
    HRESULT get_Stamp(LONGLONG* pVal) noexcept override;
    HRESULT put_Stamp(LONGLONG newVal) noexcept override;
    HRESULT get_When(DATE* pVal) noexcept override;
    HRESULT put_When(DATE newVal) noexcept override;
    HRESULT get_Payload(VARIANT* pVal) noexcept override;
    HRESULT put_Payload(VARIANT newVal) noexcept override;
    HRESULT Describe(BSTR name, SHORT size, LONG weight, BSTR* summary) noexcept override;
    HRESULT Attach(IDispatch* target) noexcept override;
    HRESULT Bounds(LONG_PTR* low, LONG_PTR* high) noexcept override;
    HRESULT Attached(IDispatch** result) noexcept override;
    HRESULT get_Slot(SHORT index, BSTR* pVal) noexcept override;
    HRESULT Item(VARIANT index, IDispatch** item) noexcept override;
    HRESULT get__NewEnum(IUnknown** pVal) noexcept override;

private:
    ~CTestWidget() override = default;

    fields m_state;
};

}  // namespace ambivox::testing
