// SAXErrorHandlerImpl: the error handler installed on the platform's SAX2 reader. It ignores
// every report: recoverable errors do not stop a parse, and after a fatal one the reader stops
// by itself and its parse returns the failing code, which is all the library passes on.
//
// Embedded without an owner to count on: AddRef and Release do nothing and answer 0; the owner
// deletes it.
#pragma once

#include "platform/com/Embedded.h"
#include "platform/xml/Sax.h"

namespace ambivox {

class SAXErrorHandlerImpl : public embedded<ISAXErrorHandler> {
public:
    SAXErrorHandlerImpl() noexcept = default;
    SAXErrorHandlerImpl(SAXErrorHandlerImpl const&) = delete;
    SAXErrorHandlerImpl& operator=(SAXErrorHandlerImpl const&) = delete;

    // All three answer S_OK and keep nothing.
    HRESULT error(ISAXLocator* pLocator, const OLECHAR* pwchErrorMessage,
                  HRESULT hrErrorCode) noexcept override;
    HRESULT fatalError(ISAXLocator* pLocator, const OLECHAR* pwchErrorMessage,
                       HRESULT hrErrorCode) noexcept override;
    HRESULT ignorableWarning(ISAXLocator* pLocator, const OLECHAR* pwchErrorMessage,
                             HRESULT hrErrorCode) noexcept override;

    virtual ~SAXErrorHandlerImpl();
};

}  // namespace ambivox
