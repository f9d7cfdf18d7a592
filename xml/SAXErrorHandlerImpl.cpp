#include "xml/SAXErrorHandlerImpl.h"

namespace ambivox {

SAXErrorHandlerImpl::~SAXErrorHandlerImpl() = default;

HRESULT SAXErrorHandlerImpl::QueryInterface(REFIID riid, void** ppv) noexcept {
    if (ppv == nullptr) return E_POINTER;
    if (riid == IUnknown::iid || riid == ISAXErrorHandler::iid) {
        *ppv = static_cast<ISAXErrorHandler*>(this);
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

HRESULT SAXErrorHandlerImpl::error(ISAXLocator*, const OLECHAR*, HRESULT) noexcept {
    return S_OK;
}

HRESULT SAXErrorHandlerImpl::fatalError(ISAXLocator*, const OLECHAR*, HRESULT) noexcept {
    return S_OK;
}

HRESULT SAXErrorHandlerImpl::ignorableWarning(ISAXLocator*, const OLECHAR*, HRESULT) noexcept {
    return S_OK;
}

}  // namespace ambivox
