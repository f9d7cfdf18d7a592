#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "platform/automation/ErrorInfo.h"
#include "platform/automation/UniqueBstr.h"
#include "platform/com/ComPtr.h"
#include "tests/support/RefCount.h"

namespace {

using ambivox::com_ptr;
using ambivox::unique_bstr;
using ambivox::testing::ref_count;

constexpr GUID some_interface = ambivox::make_guid("7A1C0199-5E2B-4C1D-9A10-000000000199");

com_ptr<IErrorInfo> taken() {
    com_ptr<IErrorInfo> error;
    EXPECT_NE(GetErrorInfo(0, error.put()), S_FALSE);
    return error;
}

std::u16string source_of(IErrorInfo* error) {
    unique_bstr text;
    EXPECT_EQ(error->GetSource(text.put()), S_OK);
    return text.str();
}

TEST(ErrorInfo, WhatIsSetIsTakenOnceAndOnlyOnItsThread) {
    com_ptr<ICreateErrorInfo> created;
    ASSERT_EQ(CreateErrorInfo(created.put()), S_OK);
    std::u16string source = u"AmbivoxSDK.AmbivoxModelN", description = u"HTTP 404 Not Found",
                   help = u"help.txt";
    EXPECT_EQ(created->SetGUID(some_interface), S_OK);
    EXPECT_EQ(created->SetSource(source.data()), S_OK);
    EXPECT_EQ(created->SetDescription(description.data()), S_OK);
    EXPECT_EQ(created->SetHelpFile(help.data()), S_OK);
    EXPECT_EQ(created->SetHelpContext(42), S_OK);
    auto const error = created.as<IErrorInfo>();

    com_ptr<IErrorInfo> none;
    EXPECT_EQ(GetErrorInfo(0, none.put()), S_FALSE);
    EXPECT_FALSE(none);
    EXPECT_EQ(SetErrorInfo(1, error.get()), E_INVALIDARG);
    ASSERT_EQ(SetErrorInfo(0, error.get()), S_OK);

    // Another thread sees none of it, and what it leaves is released when it ends.
    ULONG const refs = ref_count(error.get());
    std::thread([&] {
        com_ptr<IErrorInfo> other;
        EXPECT_EQ(GetErrorInfo(0, other.put()), S_FALSE);
        EXPECT_EQ(SetErrorInfo(0, error.get()), S_OK);
    }).join();
    EXPECT_EQ(ref_count(error.get()), refs);

    auto const got = taken();
    EXPECT_EQ(got, error);
    EXPECT_EQ(GetErrorInfo(0, none.put()), S_FALSE);

    GUID guid{};
    unique_bstr text;
    DWORD context = 0;
    EXPECT_EQ(got->GetGUID(&guid), S_OK);
    EXPECT_EQ(guid, some_interface);
    EXPECT_EQ(source_of(got.get()), source);
    EXPECT_EQ(got->GetDescription(text.put()), S_OK);
    EXPECT_EQ(text.view(), description);
    EXPECT_EQ(got->GetHelpFile(text.put()), S_OK);
    EXPECT_EQ(text.view(), help);
    EXPECT_EQ(got->GetHelpContext(&context), S_OK);
    EXPECT_EQ(context, 42u);
}

TEST(ErrorInfo, LibraryCodeSetsAndClearsInOneCall) {
    EXPECT_EQ(ambivox::set_error(E_FAIL, u"first", u"one"), E_FAIL);
    EXPECT_EQ(ambivox::set_error(E_ACCESSDENIED, u"second", u"two"), E_ACCESSDENIED);
    auto const error = taken();
    ASSERT_TRUE(error);
    EXPECT_EQ(source_of(error.get()), u"second");

    ambivox::set_error(E_FAIL, u"stale", u"stale");
    ambivox::clear_error();
    com_ptr<IErrorInfo> none;
    EXPECT_EQ(GetErrorInfo(0, none.put()), S_FALSE);

    ambivox::set_error(E_FAIL, u"device", u"why");
    EXPECT_EQ(ambivox::take_error_description(), u"why");
    EXPECT_EQ(ambivox::take_error_description(), u"") << "taken once";
}

}  // namespace
