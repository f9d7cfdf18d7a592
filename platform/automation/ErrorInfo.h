// Error objects: beside the HRESULT a failing member returns, a description of the cause in words
// (what failed, where, and what the layer below said), left on the calling thread for the caller
// to pick up. Each thread has one slot; a new error object replaces the one before it.
#pragma once

#include <string>
#include <string_view>

#include "platform/automation/Bstr.h"
#include "platform/com/Unknown.h"

struct IErrorInfo : IUnknown {
    static constexpr IID iid = ambivox::make_guid("1CF2B120-547D-101B-8E65-08002B2BD119");
    using base_interface = IUnknown;

    // The interface that defined the error, GUID_NULL when none did.
    virtual HRESULT GetGUID(GUID* pGUID) noexcept = 0;
    // Each string out-parameter receives a fresh BSTR owned by the caller (null when the text was
    // never set); on failure it is null.
    virtual HRESULT GetSource(BSTR* pBstrSource) noexcept = 0;
    virtual HRESULT GetDescription(BSTR* pBstrDescription) noexcept = 0;
    virtual HRESULT GetHelpFile(BSTR* pBstrHelpFile) noexcept = 0;
    virtual HRESULT GetHelpContext(DWORD* pdwHelpContext) noexcept = 0;

protected:
    ~IErrorInfo() = default;
};

// The object CreateErrorInfo hands out is filled through this interface and then set as an
// IErrorInfo. The strings are copied; a null string stands for none. A failed setter
// (E_OUTOFMEMORY) leaves the previous value.
struct ICreateErrorInfo : IUnknown {
    static constexpr IID iid = ambivox::make_guid("22F03340-547D-101B-8E65-08002B2BD119");
    using base_interface = IUnknown;

    virtual HRESULT SetGUID(REFGUID rguid) noexcept = 0;
    virtual HRESULT SetSource(LPOLESTR szSource) noexcept = 0;
    virtual HRESULT SetDescription(LPOLESTR szDescription) noexcept = 0;
    virtual HRESULT SetHelpFile(LPOLESTR szHelpFile) noexcept = 0;
    virtual HRESULT SetHelpContext(DWORD dwHelpContext) noexcept = 0;

protected:
    ~ICreateErrorInfo() = default;
};

// Tells a caller whether the members of an interface leave an error object when they fail.
struct ISupportErrorInfo : IUnknown {
    static constexpr IID iid = ambivox::make_guid("DF0B3D60-548F-101B-8E65-08002B2BD119");
    using base_interface = IUnknown;

    // S_OK when they do, S_FALSE when they do not.
    virtual HRESULT InterfaceSupportsErrorInfo(REFIID riid) noexcept = 0;

protected:
    ~ISupportErrorInfo() = default;
};

inline constexpr IID IID_IErrorInfo = IErrorInfo::iid;
inline constexpr IID IID_ICreateErrorInfo = ICreateErrorInfo::iid;
inline constexpr IID IID_ISupportErrorInfo = ISupportErrorInfo::iid;

// *pperrinfo receives a new, empty error object owned by the caller; null on failure
// (E_OUTOFMEMORY).
HRESULT CreateErrorInfo(ICreateErrorInfo** pperrinfo) noexcept;
// Puts perrinfo (which the thread's slot then references) in the calling thread's slot, releasing
// what was there; null empties the slot. dwReserved must be 0 (E_INVALIDARG, slot unchanged).
HRESULT SetErrorInfo(ULONG dwReserved, IErrorInfo* perrinfo) noexcept;
// Takes the calling thread's error object out of its slot: *pperrinfo receives the slot's
// reference, owned by the caller, and the slot is empty afterwards. S_FALSE with *pperrinfo null
// when there is none. dwReserved must be 0 (E_INVALIDARG).
HRESULT GetErrorInfo(ULONG dwReserved, IErrorInfo** pperrinfo) noexcept;

namespace ambivox {

// For a failing member: leaves an error object with source and description on the calling
// thread and answers hr, so that the member can `return set_error(hr, source, description);`.
// If the object cannot be made, the thread's slot is emptied instead (never a stale cause).
HRESULT set_error(HRESULT hr, std::u16string_view source, std::u16string_view description) noexcept;

// Empties the calling thread's slot; costs a test when it is empty already. A member that may
// run after another failure on the same thread calls it first, so that its own failure is never
// described by an earlier one.
void clear_error() noexcept;

// Takes the calling thread's error object and answers its description; empty when there is
// none (or it has none). Raises std::bad_alloc.
std::u16string take_error_description();

}  // namespace ambivox
