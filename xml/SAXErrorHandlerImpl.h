// SAXErrorHandlerImpl: the error handler installed on the platform's SAX2 reader. Recoverable
// errors do not stop a parse and are ignored. After a fatal one the reader stops by itself and
// its parse returns the failing code; the handler keeps that first report's message, which is
// what a person needs to know why.
//
// Embedded without an owner to count on: AddRef and Release do nothing and answer 0; the owner
// deletes it.
#pragma once

#include <string>

#include "platform/com/Embedded.h"
#include "platform/xml/Sax.h"

namespace ambivox {

class SAXErrorHandlerImpl : public embedded<ISAXErrorHandler> {
public:
    SAXErrorHandlerImpl() noexcept = default;
    SAXErrorHandlerImpl(SAXErrorHandlerImpl const&) = delete;
    SAXErrorHandlerImpl& operator=(SAXErrorHandlerImpl const&) = delete;

    // All three answer S_OK; fatalError keeps the first message.
    HRESULT error(ISAXLocator* pLocator, const OLECHAR* pwchErrorMessage,
                  HRESULT hrErrorCode) noexcept override;
    HRESULT fatalError(ISAXLocator* pLocator, const OLECHAR* pwchErrorMessage,
                       HRESULT hrErrorCode) noexcept override;
    HRESULT ignorableWarning(ISAXLocator* pLocator, const OLECHAR* pwchErrorMessage,
                             HRESULT hrErrorCode) noexcept override;

    virtual ~SAXErrorHandlerImpl();

    // The first fatal report's message; empty when there was none or it said nothing.
    std::u16string const& FirstFatalMessage() const noexcept { return m_firstFatal; }

private:
    std::u16string m_firstFatal;
    bool m_fatalSeen = false;
};

}  // namespace ambivox
