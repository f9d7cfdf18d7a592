#include "xml/SAXErrorHandlerImpl.h"

namespace ambivox {

SAXErrorHandlerImpl::~SAXErrorHandlerImpl() = default;

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
