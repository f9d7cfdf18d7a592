// CDataConnector: the library's request engine. Each method obtains a device's documents (by
// URL, over HTTP as text pages, from the Model Q serial line, or the fixed Model Q
// configuration), brings them into the unified form and parses them into the caller's element
// handlers. It keeps no state between requests.
//
// A handler parameter carries the address of an element handler of this process, owned by the
// caller for the whole call; a null handler parses and drops the document. Any address that is
// not a live element handler is refused with E_INVALIDARG before anything is fetched.
#pragma once

#include "ambivox/AmbivoxSDK.h"
#include "platform/automation/DispatchImpl.h"
#include "platform/automation/SupportsErrorInfo.h"
#include "platform/com/Implements.h"

namespace ambivox {

class CDataConnector final : public implements<CDataConnector, dispatch<IDataConnector>,
                                               supports_error_info<IDataConnector>> {
public:
    // Parses the document at URL Val.
    HRESULT RequestModelNXMLData(BSTR Id, BSTR Val, LONG_PTR* Handler) noexcept override;
    // Parses the fixed Model Q configuration; a null Handler gives E_OUTOFMEMORY.
    HRESULT RequestModelQSerialComConfigData(BSTR Id, BSTR ComPort,
                                             LONG_PTR* Handler) noexcept override;
    // Reads the Model Q device on port number ComPort and parses its data document.
    // E_OUTOFMEMORY when ComPort is no decimal number, E_ACCESSDENIED when the port cannot be
    // opened or conditioned.
    HRESULT RequestModelQSerialComData(BSTR Id, BSTR ComPort, LONG_PTR* Handler) noexcept override;
    // The same request as RequestModelNXMLData.
    HRESULT RequestModelNXMLConfigData(BSTR Id, BSTR Val, LONG_PTR* Handler) noexcept override;
    // Fetches ConfigPath and DataPath from IpAddress, converts both pages, then parses the
    // configuration and, when that succeeded, the data. E_OUTOFMEMORY when IpAddress is empty
    // or a page cannot be fetched (nothing is parsed then).
    HRESULT RequestModelNHTTPConfigAndData(BSTR Id, BSTR IpAddress, BSTR ConfigPath, BSTR DataPath,
                                           BSTR Model, LONG_PTR* ConfigHandler,
                                           LONG_PTR* DataHandler) noexcept override;
};

}  // namespace ambivox
