#include <gtest/gtest.h>

#include <new>
#include <stdexcept>
#include <string>

#include "platform/base/Errors.h"
#include "platform/base/HResultBoundary.h"
#include "platform/base/ThreadState.h"

namespace {

using ambivox::hresult_boundary;
using ambivox::hresult_error;

TEST(HResultBoundary, ExceptionsBecomeCodes) {
    EXPECT_EQ(hresult_boundary([] { throw std::bad_alloc(); }), E_OUTOFMEMORY);
    EXPECT_EQ(hresult_boundary([] { throw std::bad_array_new_length(); }), E_OUTOFMEMORY)
        << "every kind of failed allocation is exhausted memory";
    EXPECT_EQ(hresult_boundary([] { ambivox::throw_hresult(DISP_E_OVERFLOW); }), DISP_E_OVERFLOW);
    EXPECT_EQ(hresult_boundary([]() -> HRESULT { throw hresult_error(E_ACCESSDENIED); }),
              E_ACCESSDENIED);
    EXPECT_EQ(hresult_boundary([] { throw std::runtime_error("boom"); }), E_UNEXPECTED);
    EXPECT_EQ(hresult_boundary([] { throw 42; }), E_UNEXPECTED);
}

TEST(HResultBoundary, BodiesThatFinishGiveTheirResult) {
    bool ran = false;
    EXPECT_EQ(hresult_boundary([&] { ran = true; }), S_OK);
    EXPECT_TRUE(ran);
    EXPECT_EQ(hresult_boundary([] { return S_FALSE; }), S_FALSE);
    EXPECT_EQ(hresult_boundary([] { return E_INVALIDARG; }), E_INVALIDARG)
        << "a failing result is passed on, not thrown";

    // A body that is a mutable callable object keeps its own state.
    int calls = 0;
    auto counter = [calls]() mutable -> HRESULT { return ++calls; };
    EXPECT_EQ(hresult_boundary(counter), 1);
    EXPECT_EQ(hresult_boundary(counter), 2);
}

TEST(HResultBoundary, CheckHResultThrowsOnlyFailures) {
    EXPECT_EQ(ambivox::check_hresult(S_OK), S_OK);
    EXPECT_EQ(ambivox::check_hresult(S_FALSE), S_FALSE);
    try {
        ambivox::check_hresult(CONNECT_E_NOCONNECTION);
        ADD_FAILURE() << "a failure must throw";
    } catch (hresult_error const& e) {
        EXPECT_EQ(e.code(), CONNECT_E_NOCONNECTION);
        EXPECT_NE(std::string(e.what()), "");
    }
}

TEST(HResultBoundary, ThrowLastErrorUsesTheWin32Facility) {
    SetLastError(ERROR_ACCESS_DENIED);
    EXPECT_EQ(hresult_boundary([] { ambivox::throw_last_error(); }), E_ACCESSDENIED);
    SetLastError(ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(hresult_boundary([] { ambivox::throw_last_error(); }), hresult(0x80070002));
    SetLastError(ERROR_TIMEOUT);
    EXPECT_EQ(hresult_boundary([] { ambivox::throw_last_error(); }), hresult(0x800705B4));
    // No recorded error still has to be a failure, never a success thrown as an error.
    SetLastError(ERROR_SUCCESS);
    EXPECT_TRUE(FAILED(hresult_boundary([] { ambivox::throw_last_error(); })));
}

TEST(HResultFromWin32, MapsIntoTheWin32Facility) {
    EXPECT_EQ(HRESULT_FROM_WIN32(0), S_OK);
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED), E_ACCESSDENIED);
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_NOT_ENOUGH_MEMORY), hresult(0x80070008));
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_OUTOFMEMORY), E_OUTOFMEMORY);
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_INVALID_PARAMETER), E_INVALIDARG);
    // Values that are already HRESULTs (negative as 32-bit numbers) pass through.
    EXPECT_EQ(HRESULT_FROM_WIN32(static_cast<DWORD>(E_FAIL)), E_FAIL);
    EXPECT_EQ(HRESULT_FROM_WIN32(0x80070005u), E_ACCESSDENIED);
    EXPECT_EQ(HRESULT_FROM_WIN32(0xFFFFFFFFu), hresult(0xFFFFFFFF));
    // Above 16 bits only the low 16 bits are kept.
    EXPECT_EQ(HRESULT_FROM_WIN32(0x00012345u), hresult(0x80072345));
    EXPECT_EQ(HRESULT_FROM_WIN32(0x7FFFFFFFu), hresult(0x8007FFFF));
    EXPECT_EQ(HRESULT_FROM_WIN32(0x00010000u), hresult(0x80070000));
    static_assert(HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED) == E_ACCESSDENIED);
}

}  // namespace
