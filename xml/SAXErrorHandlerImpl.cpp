#include "xml/SAXErrorHandlerImpl.h"

namespace ambivox {

SAXErrorHandlerImpl::~SAXErrorHandlerImpl() = default;

HRESULT SAXErrorHandlerImpl::error(ISAXLocator*, const OLECHAR*, HRESULT) noexcept {
    return S_OK;
}

HRESULT SAXErrorHandlerImpl::fatalError(ISAXLocator*, const OLECHAR* pwchErrorMessage,
                                        HRESULT) noexcept {
    if (m_fatalSeen) return S_OK;
    m_fatalSeen = true;
    try {
        if (pwchErrorMessage != nullptr) m_firstFatal = pwchErrorMessage;
    } catch (...) {
        // The code still tells the caller the parse failed.
    }
    return S_OK;
}

HRESULT SAXErrorHandlerImpl::ignorableWarning(ISAXLocator*, const OLECHAR*, HRESULT) noexcept {
    return S_OK;
}

}  // namespace ambivox
