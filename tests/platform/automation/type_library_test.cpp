#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ambivox/AmbivoxSDK.h"
#include "platform/automation/TypeLibrary.h"
#include "platform/automation/UniqueBstr.h"
#include "server/AmbivoxTypeLibrary.h"
#include "tests/support/TestWidget.h"

namespace {

using ambivox::com_ptr;
using ambivox::unique_bstr;

constexpr SHORT slot(int n) {
    return static_cast<SHORT>(n * sizeof(void*));
}

class TypeLibraryTest : public ::testing::Test {
protected:
    void SetUp() override {
        library = ambivox::make_type_library(ambivox::testing::test_widget_library());
        ASSERT_EQ(library->GetTypeInfoOfGuid(ITestWidget::iid, widget.put()), S_OK);
        ASSERT_TRUE(widget);
    }

    static TYPEATTR const& attr_of(ITypeInfo* info) {
        TYPEATTR* attr = nullptr;
        EXPECT_EQ(info->GetTypeAttr(&attr), S_OK);
        return *attr;
    }

    FUNCDESC const& func(UINT index) {
        FUNCDESC* desc = nullptr;
        EXPECT_EQ(widget->GetFuncDesc(index, &desc), S_OK);
        return *desc;
    }

    com_ptr<ITypeLib> library;
    com_ptr<ITypeInfo> widget;
};

TEST_F(TypeLibraryTest, TypeAttributesOfEachKindOfType) {
    TYPEATTR const& itf = attr_of(widget.get());
    EXPECT_EQ(itf.guid, ITestWidget::iid);
    EXPECT_EQ(itf.typekind, TKIND_DISPATCH);
    EXPECT_EQ(itf.cFuncs, 19);
    EXPECT_EQ(itf.cVars, 0);
    EXPECT_EQ(itf.cImplTypes, 1);
    EXPECT_EQ(itf.cbSizeVft, slot(7 + 19));
    EXPECT_EQ(itf.lcid, 0x409u);
    EXPECT_EQ(itf.wTypeFlags, TYPEFLAG_FDUAL | TYPEFLAG_FNONEXTENSIBLE | TYPEFLAG_FOLEAUTOMATION |
                                  TYPEFLAG_FDISPATCHABLE);

    com_ptr<ITypeInfo> events;
    ASSERT_EQ(library->GetTypeInfoOfGuid(DIID__ITestWidgetEvents, events.put()), S_OK);
    TYPEATTR const& source = attr_of(events.get());
    EXPECT_EQ(source.typekind, TKIND_DISPATCH);
    EXPECT_EQ(source.cFuncs, 0);
    EXPECT_EQ(source.wTypeFlags, TYPEFLAG_FDISPATCHABLE);

    com_ptr<ITypeInfo> coclass;
    ASSERT_EQ(library->GetTypeInfoOfGuid(CLSID_TestWidget, coclass.put()), S_OK);
    TYPEATTR const& cls = attr_of(coclass.get());
    EXPECT_EQ(cls.typekind, TKIND_COCLASS);
    EXPECT_EQ(cls.cImplTypes, 2);
    EXPECT_EQ(cls.cFuncs, 0);
    EXPECT_TRUE(cls.wTypeFlags & TYPEFLAG_FCANCREATE);
}

// The vtable slot of each member must be the one the C++ declaration gives it: members listed
// out of declaration order would be called through the wrong slot by compiled clients.
TEST_F(TypeLibraryTest, FuncDescsFollowTheDescriptionAndTheVtable) {
    struct expected {
        MEMBERID memid;
        INVOKEKIND kind;
        SHORT params;
    };
    namespace id = test_widget_dispid;
    std::vector<expected> const table = {
        {id::Label, INVOKE_PROPERTYGET, 1},
        {id::Label, INVOKE_PROPERTYPUT, 1},
        {id::Small, INVOKE_PROPERTYGET, 1},
        {id::Small, INVOKE_PROPERTYPUT, 1},
        {id::Count, INVOKE_PROPERTYGET, 1},
        {id::Count, INVOKE_PROPERTYPUT, 1},
        {id::Stamp, INVOKE_PROPERTYGET, 1},
        {id::Stamp, INVOKE_PROPERTYPUT, 1},
        {id::When, INVOKE_PROPERTYGET, 1},
        {id::When, INVOKE_PROPERTYPUT, 1},
        {id::Payload, INVOKE_PROPERTYGET, 1},
        {id::Payload, INVOKE_PROPERTYPUT, 1},
        {id::Describe, INVOKE_FUNC, 4},
        {id::Attach, INVOKE_FUNC, 1},
        {id::Bounds, INVOKE_FUNC, 2},
        {id::Attached, INVOKE_FUNC, 1},
        {id::Slot, INVOKE_PROPERTYGET, 2},
        {DISPID_VALUE, INVOKE_FUNC, 2},
        {DISPID_NEWENUM, INVOKE_PROPERTYGET, 1},
    };
    for (UINT i = 0; i < table.size(); ++i) {
        SCOPED_TRACE(i);
        FUNCDESC const& f = func(i);
        EXPECT_EQ(f.memid, table[i].memid);
        EXPECT_EQ(f.invkind, table[i].kind);
        EXPECT_EQ(f.cParams, table[i].params);
        EXPECT_EQ(f.cParamsOpt, 0);
        EXPECT_EQ(f.funckind, FUNC_DISPATCH);
        EXPECT_EQ(f.elemdescFunc.tdesc.vt, VT_HRESULT);
        EXPECT_EQ(f.oVft, slot(7 + static_cast<int>(i)));
    }
    FUNCDESC* beyond = reinterpret_cast<FUNCDESC*>(1);
    EXPECT_EQ(widget->GetFuncDesc(static_cast<UINT>(table.size()), &beyond),
              TYPE_E_ELEMENTNOTFOUND);
    EXPECT_EQ(beyond, nullptr);
}

TEST_F(TypeLibraryTest, OnlyALoneTrailingOutParameterIsTheResult) {
    auto flags = [&](UINT index) {
        FUNCDESC const& f = func(index);
        std::vector<USHORT> result;
        for (SHORT p = 0; p < f.cParams; ++p)
            result.push_back(f.lprgelemdescParam[p].paramdesc.wParamFlags);
        return result;
    };
    USHORT const in = PARAMFLAG_FIN;
    USHORT const out = PARAMFLAG_FOUT;
    USHORT const retval = PARAMFLAG_FOUT | PARAMFLAG_FRETVAL;
    EXPECT_EQ(flags(0), (std::vector<USHORT>{retval}));               // get_Label
    EXPECT_EQ(flags(1), (std::vector<USHORT>{in}));                   // put_Label
    EXPECT_EQ(flags(12), (std::vector<USHORT>{in, in, in, retval}));  // Describe
    EXPECT_EQ(flags(13), (std::vector<USHORT>{in}));                  // Attach
    EXPECT_EQ(flags(14), (std::vector<USHORT>{out, out}));            // Bounds
    EXPECT_EQ(flags(16), (std::vector<USHORT>{in, retval}));          // get_Slot
    EXPECT_EQ(flags(17), (std::vector<USHORT>{in, retval}));          // Item
}

// The chain of one parameter's TYPEDESC as a list of VARTYPEs, outermost first.
std::vector<VARTYPE> chain(TYPEDESC const& desc) {
    std::vector<VARTYPE> result;
    TYPEDESC const* level = &desc;
    while (true) {
        result.push_back(level->vt);
        if (level->vt != VT_PTR) break;
        level = level->lptdesc;
    }
    return result;
}

TEST_F(TypeLibraryTest, ParameterTypesComeFromTheCppSignature) {
    auto types = [&](UINT index, SHORT param) {
        return chain(func(index).lprgelemdescParam[param].tdesc);
    };
    using V = std::vector<VARTYPE>;
    EXPECT_EQ(types(0, 0), (V{VT_PTR, VT_BSTR}));
    EXPECT_EQ(types(1, 0), (V{VT_BSTR}));
    EXPECT_EQ(types(2, 0), (V{VT_PTR, VT_I2}));
    EXPECT_EQ(types(3, 0), (V{VT_I2}));
    EXPECT_EQ(types(4, 0), (V{VT_PTR, VT_I4}));
    EXPECT_EQ(types(6, 0), (V{VT_PTR, VT_I8}));
    EXPECT_EQ(types(7, 0), (V{VT_I8}));
    EXPECT_EQ(types(8, 0), (V{VT_PTR, VT_DATE}));  // a C++ double declared as a date
    EXPECT_EQ(types(9, 0), (V{VT_DATE}));
    EXPECT_EQ(types(10, 0), (V{VT_PTR, VT_VARIANT}));
    EXPECT_EQ(types(11, 0), (V{VT_VARIANT}));
    EXPECT_EQ(types(12, 0), (V{VT_BSTR}));
    EXPECT_EQ(types(12, 1), (V{VT_I2}));
    EXPECT_EQ(types(12, 2), (V{VT_I4}));
    EXPECT_EQ(types(12, 3), (V{VT_PTR, VT_BSTR}));
    EXPECT_EQ(types(13, 0), (V{VT_DISPATCH}));
    EXPECT_EQ(types(14, 0), (V{VT_PTR, VT_I4}));  // pointer-wide in C++, long when late bound
    EXPECT_EQ(types(15, 0), (V{VT_PTR, VT_DISPATCH}));
    EXPECT_EQ(types(16, 0), (V{VT_I2}));
    EXPECT_EQ(types(17, 0), (V{VT_VARIANT}));
    EXPECT_EQ(types(17, 1), (V{VT_PTR, VT_DISPATCH}));
    EXPECT_EQ(types(18, 0), (V{VT_PTR, VT_UNKNOWN}));
}

TEST_F(TypeLibraryTest, InterfaceParametersReferToTheirTypeInformation) {
    auto sdk = ambivox::make_type_library(ambivox::ambivox_type_library());
    com_ptr<ITypeInfo> probe;
    ASSERT_EQ(sdk->GetTypeInfoOfGuid(IID_IProbe, probe.put()), S_OK);

    // get_MostRecentDataPoint(IDataPoint**) is the ninth member, Poll(IDataPoint*) the tenth.
    FUNCDESC* getter = nullptr;
    ASSERT_EQ(probe->GetFuncDesc(8, &getter), S_OK);
    TYPEDESC const& result = getter->lprgelemdescParam[0].tdesc;
    EXPECT_EQ(chain(result), (std::vector<VARTYPE>{VT_PTR, VT_PTR, VT_USERDEFINED}));
    com_ptr<ITypeInfo> referenced;
    ASSERT_EQ(probe->GetRefTypeInfo(result.lptdesc->lptdesc->hreftype, referenced.put()), S_OK);
    EXPECT_EQ(attr_of(referenced.get()).guid, IID_IDataPoint);

    FUNCDESC* poll = nullptr;
    ASSERT_EQ(probe->GetFuncDesc(9, &poll), S_OK);
    TYPEDESC const& argument = poll->lprgelemdescParam[0].tdesc;
    EXPECT_EQ(chain(argument), (std::vector<VARTYPE>{VT_PTR, VT_USERDEFINED}));
    ASSERT_EQ(probe->GetRefTypeInfo(argument.lptdesc->hreftype, referenced.put()), S_OK);
    EXPECT_EQ(attr_of(referenced.get()).guid, IID_IDataPoint);
}

TEST_F(TypeLibraryTest, GetNamesGivesTheMemberThenItsNamedParameters) {
    BSTR names[6] = {};
    UINT count = 99;
    ASSERT_EQ(widget->GetNames(test_widget_dispid::Describe, names, 6, &count), S_OK);
    ASSERT_EQ(count, 5u);
    std::vector<std::u16string> got;
    for (UINT i = 0; i < count; ++i)
        got.emplace_back(unique_bstr::attach(names[i]).view());
    EXPECT_EQ(got,
              (std::vector<std::u16string>{u"Describe", u"name", u"size", u"weight", u"summary"}));

    ASSERT_EQ(widget->GetNames(test_widget_dispid::Describe, names, 2, &count), S_OK);
    ASSERT_EQ(count, 2u);
    EXPECT_EQ(unique_bstr::attach(names[0]).view(), u"Describe");
    EXPECT_EQ(unique_bstr::attach(names[1]).view(), u"name");

    // A property: the getter's names, its result included.
    ASSERT_EQ(widget->GetNames(test_widget_dispid::Label, names, 6, &count), S_OK);
    ASSERT_EQ(count, 2u);
    EXPECT_EQ(unique_bstr::attach(names[0]).view(), u"Label");
    EXPECT_EQ(unique_bstr::attach(names[1]).view(), u"pVal");

    EXPECT_EQ(widget->GetNames(4242, names, 6, &count), TYPE_E_ELEMENTNOTFOUND);
    EXPECT_EQ(count, 0u);
}

TEST_F(TypeLibraryTest, DocumentationOfMembersAndOfTheTypeItself) {
    BSTR name = nullptr;
    BSTR help = nullptr;
    DWORD context = 7;
    BSTR file = reinterpret_cast<BSTR>(1);
    ASSERT_EQ(widget->GetDocumentation(test_widget_dispid::Describe, &name, &help, &context, &file),
              S_OK);
    EXPECT_EQ(unique_bstr::attach(name).view(), u"Describe");
    EXPECT_EQ(unique_bstr::attach(help).view(), u"method Describe");
    EXPECT_EQ(context, 0u);
    EXPECT_EQ(file, nullptr);

    ASSERT_EQ(widget->GetDocumentation(test_widget_dispid::Count, nullptr, &help, nullptr, nullptr),
              S_OK);
    EXPECT_EQ(unique_bstr::attach(help).view(), u"property Count");

    ASSERT_EQ(widget->GetDocumentation(MEMBERID_NIL, &name, &help, nullptr, nullptr), S_OK);
    EXPECT_EQ(unique_bstr::attach(name).view(), u"ITestWidget");
    EXPECT_EQ(unique_bstr::attach(help).view(), u"ITestWidget Interface");

    name = nullptr;
    EXPECT_EQ(widget->GetDocumentation(4242, &name, nullptr, nullptr, nullptr),
              TYPE_E_ELEMENTNOTFOUND);
    EXPECT_EQ(name, nullptr);
}

TEST_F(TypeLibraryTest, LibraryLevelQueries) {
    EXPECT_EQ(library->GetTypeInfoCount(), 3u);
    TYPEKIND kind = TKIND_MAX;
    EXPECT_EQ(library->GetTypeInfoType(0, &kind), S_OK);
    EXPECT_EQ(kind, TKIND_DISPATCH);
    EXPECT_EQ(library->GetTypeInfoType(2, &kind), S_OK);
    EXPECT_EQ(kind, TKIND_COCLASS);
    EXPECT_EQ(library->GetTypeInfoType(3, &kind), TYPE_E_ELEMENTNOTFOUND);

    com_ptr<ITypeInfo> missing;
    EXPECT_EQ(library->GetTypeInfoOfGuid(IID_IDispatch, missing.put()), TYPE_E_ELEMENTNOTFOUND);
    EXPECT_FALSE(missing);
    EXPECT_EQ(library->GetTypeInfo(3, missing.put()), TYPE_E_ELEMENTNOTFOUND);

    TLIBATTR* attr = nullptr;
    ASSERT_EQ(library->GetLibAttr(&attr), S_OK);
    EXPECT_EQ(attr->guid, LIBID_TestWidgetLib);
    EXPECT_EQ(attr->lcid, 0x409u);
    EXPECT_EQ(attr->syskind, SYS_WIN32);
    EXPECT_EQ(attr->wMajorVerNum, 1);
    EXPECT_EQ(attr->wMinorVerNum, 0);
    library->ReleaseTLibAttr(attr);

    BSTR name = nullptr;
    BSTR help = nullptr;
    ASSERT_EQ(library->GetDocumentation(-1, &name, &help, nullptr, nullptr), S_OK);
    EXPECT_EQ(unique_bstr::attach(name).view(), u"TestWidgetLib");
    EXPECT_EQ(unique_bstr::attach(help).view(), u"TestWidget 1.0 Type Library");
    ASSERT_EQ(library->GetDocumentation(2, &name, &help, nullptr, nullptr), S_OK);
    EXPECT_EQ(unique_bstr::attach(name).view(), u"TestWidget");
    EXPECT_EQ(unique_bstr::attach(help).view(), u"TestWidget Class");
    EXPECT_EQ(library->GetDocumentation(3, &name, nullptr, nullptr, nullptr),
              TYPE_E_ELEMENTNOTFOUND);
    EXPECT_EQ(library->GetDocumentation(-2, &name, nullptr, nullptr, nullptr),
              TYPE_E_ELEMENTNOTFOUND);

    com_ptr<ITypeLib> containing;
    UINT index = 99;
    ASSERT_EQ(widget->GetContainingTypeLib(containing.put(), &index), S_OK);
    EXPECT_EQ(containing.get(), library.get());
    EXPECT_EQ(index, 0u);
}

TEST_F(TypeLibraryTest, CoclassListsItsDefaultAndSourceInterfaces) {
    com_ptr<ITypeInfo> coclass;
    ASSERT_EQ(library->GetTypeInfoOfGuid(CLSID_TestWidget, coclass.put()), S_OK);
    INT flags = -1;
    ASSERT_EQ(coclass->GetImplTypeFlags(0, &flags), S_OK);
    EXPECT_EQ(flags, IMPLTYPEFLAG_FDEFAULT);
    ASSERT_EQ(coclass->GetImplTypeFlags(1, &flags), S_OK);
    EXPECT_EQ(flags, IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE);
    EXPECT_EQ(coclass->GetImplTypeFlags(2, &flags), TYPE_E_ELEMENTNOTFOUND);

    HREFTYPE ref = 0;
    com_ptr<ITypeInfo> implemented;
    ASSERT_EQ(coclass->GetRefTypeOfImplType(0, &ref), S_OK);
    ASSERT_EQ(coclass->GetRefTypeInfo(ref, implemented.put()), S_OK);
    EXPECT_EQ(attr_of(implemented.get()).guid, ITestWidget::iid);
    ASSERT_EQ(coclass->GetRefTypeOfImplType(1, &ref), S_OK);
    ASSERT_EQ(coclass->GetRefTypeInfo(ref, implemented.put()), S_OK);
    EXPECT_EQ(attr_of(implemented.get()).guid, DIID__ITestWidgetEvents);
    EXPECT_EQ(coclass->GetRefTypeOfImplType(2, &ref), TYPE_E_ELEMENTNOTFOUND);

    // A dual interface derives from IDispatch.
    ASSERT_EQ(widget->GetRefTypeOfImplType(0, &ref), S_OK);
    ASSERT_EQ(widget->GetRefTypeInfo(ref, implemented.put()), S_OK);
    EXPECT_EQ(attr_of(implemented.get()).guid, IID_IDispatch);
    EXPECT_EQ(widget->GetRefTypeOfImplType(1, &ref), TYPE_E_ELEMENTNOTFOUND);
}

TEST_F(TypeLibraryTest, IsNameAndFindNameIgnoreCase) {
    std::u16string member = u"dEsCrIbE";
    std::u16string type = u"itestwidget";
    std::u16string nothing = u"Nothing";
    BOOL found = FALSE;
    ASSERT_EQ(library->IsName(member.data(), 0, &found), S_OK);
    EXPECT_TRUE(found);
    ASSERT_EQ(library->IsName(type.data(), 0, &found), S_OK);
    EXPECT_TRUE(found);
    ASSERT_EQ(library->IsName(nothing.data(), 0, &found), S_OK);
    EXPECT_FALSE(found);

    ITypeInfo* infos[2] = {};
    MEMBERID ids[2] = {0, 0};
    USHORT count = 2;
    ASSERT_EQ(library->FindName(member.data(), 0, infos, ids, &count), S_OK);
    ASSERT_EQ(count, 1);
    com_ptr<ITypeInfo> owner;
    owner.attach(infos[0]);
    EXPECT_EQ(attr_of(owner.get()).guid, ITestWidget::iid);
    EXPECT_EQ(ids[0], test_widget_dispid::Describe);

    count = 2;
    ASSERT_EQ(library->FindName(type.data(), 0, infos, ids, &count), S_OK);
    ASSERT_EQ(count, 1);
    owner.attach(infos[0]);
    EXPECT_EQ(ids[0], MEMBERID_NIL);

    count = 2;
    ASSERT_EQ(library->FindName(nothing.data(), 0, infos, ids, &count), S_OK);
    EXPECT_EQ(count, 0);
}

}  // namespace
