#include "connector/CDataConnector.h"

#include <boost/lexical_cast/try_lexical_convert.hpp>

#include "connector/TextPageConverter.h"
#include "connector/UnifiedDocuments.h"
#include "devices/CModelQHelper.h"
#include "platform/automation/ErrorInfo.h"
#include "platform/automation/UniqueBstr.h"
#include "platform/automation/UniqueVariant.h"
#include "platform/base/CodePage.h"
#include "transport/CHttpClient.h"
#include "xml/CXMLParser.h"
#include "xml/ElementHandlerRegistry.h"

namespace ambivox {

namespace {

constexpr std::u16string_view progid = u"AmbivoxSDK.DataConnector";

// A failed request's code, with its cause left for the caller in words.
HRESULT failed(HRESULT hr, std::u16string_view cause) noexcept {
    return set_error(hr, progid, cause);
}

// The element handler a handler parameter names: null for a null parameter, else a live
// handler; raises E_INVALIDARG for any other address.
IXMLElementHandler* handler_of(LONG_PTR* parameter) {
    if (parameter == nullptr) return nullptr;
    IXMLElementHandler* handler = ElementHandlerRegistry::find(parameter);
    if (handler == nullptr) throw_hresult(E_INVALIDARG);
    return handler;
}

// `what` names the document for a failure's description.
HRESULT parse_text(std::u16string_view document, IXMLElementHandler* handler,
                   std::u16string_view what) {
    unique_variant text = unique_variant::from(document);
    std::u16string cause;
    HRESULT const hr = Parse(text.get(), handler, &cause);
    if (FAILED(hr)) return failed(hr, std::u16string(what) + u": " + cause);
    return hr;
}

HRESULT parse_bstr(BSTR document, IXMLElementHandler* handler, std::u16string_view what) {
    return parse_text(bstr_view(document), handler, what);
}

}  // namespace

HRESULT CDataConnector::RequestModelNXMLData(BSTR, BSTR Val, LONG_PTR* Handler) noexcept {
    clear_error();
    return hresult_boundary([&] {
        IXMLElementHandler* handler = handler_of(Handler);
        std::u16string cause;
        // The reader needs a terminated URL; a null one is the empty URL.
        HRESULT const hr = ParseURL(Val != nullptr ? Val : u"", handler, &cause);
        return FAILED(hr) ? failed(hr, cause) : hr;
    });
}

HRESULT CDataConnector::RequestModelNXMLConfigData(BSTR Id, BSTR Val, LONG_PTR* Handler) noexcept {
    return RequestModelNXMLData(Id, Val, Handler);
}

HRESULT CDataConnector::RequestModelQSerialComConfigData(BSTR, BSTR, LONG_PTR* Handler) noexcept {
    clear_error();
    if (Handler == nullptr) return E_OUTOFMEMORY;
    return hresult_boundary([&] {
        IXMLElementHandler* handler = handler_of(Handler);
        return parse_text(UnifiedDocuments::model_q_configuration, handler,
                          u"the Model Q configuration");
    });
}

HRESULT CDataConnector::RequestModelQSerialComData(BSTR, BSTR ComPort, LONG_PTR* Handler) noexcept {
    clear_error();
    return hresult_boundary([&]() -> HRESULT {
        IXMLElementHandler* handler = handler_of(Handler);
        // A port text that is not one decimal number alone, and a device that fails in the
        // middle of its reply, answer E_OUTOFMEMORY rather than the code underneath: the answer
        // callers of this request have always had.
        LONG port = 0;
        if (!boost::conversion::try_lexical_convert(narrow(bstr_view(ComPort), CP_UTF8), port))
            return failed(E_OUTOFMEMORY, SysStringLen(ComPort) == 0
                                             ? std::u16string(u"no COM port set")
                                             : u"\"" + std::u16string(bstr_view(ComPort)) +
                                                   u"\" is no COM port number");
        CModelQHelper device;
        if (!device.Open(port)) return failed(E_ACCESSDENIED, device.FailureText());
        std::u16string scratch;
        HRESULT const read = hresult_boundary([&] { device.Read(scratch); });
        if (FAILED(read)) return failed(E_OUTOFMEMORY, device.FailureText(read));
        std::u16string const document = UnifiedDocuments::model_q_data(
            device.BatteryStatus(), device.Probe1Value(), device.Probe2Value());
        // The port is closed before the document is parsed.
        device.Close();
        return parse_text(document, handler, device.PortText() + u": the reply");
    });
}

HRESULT CDataConnector::RequestModelNHTTPConfigAndData(BSTR, BSTR IpAddress, BSTR ConfigPath,
                                                       BSTR DataPath, BSTR Model,
                                                       LONG_PTR* ConfigHandler,
                                                       LONG_PTR* DataHandler) noexcept {
    clear_error();
    return hresult_boundary([&]() -> HRESULT {
        IXMLElementHandler* configHandler = handler_of(ConfigHandler);
        IXMLElementHandler* dataHandler = handler_of(DataHandler);
        if (SysStringLen(IpAddress) == 0)
            return failed(E_OUTOFMEMORY, u"no device address to ask for its text pages");
        unique_bstr const address = unique_bstr::copy_of(IpAddress);
        LPCWSTR const configPath = ConfigPath != nullptr ? ConfigPath : u"";
        LPCWSTR const dataPath = DataPath != nullptr ? DataPath : u"";
        std::u16string const configUrl = u"http://" + std::u16string(address.view()) + configPath;
        std::u16string const dataUrl = u"http://" + std::u16string(address.view()) + dataPath;
        // Both pages are fetched and converted before either is parsed.
        unique_bstr configText, dataText;
        std::u16string cause;
        HRESULT hr = FetchDocument(address.get(), configPath, configText.put(), &cause);
        if (FAILED(hr)) return failed(hr, cause);
        hr = FetchDocument(address.get(), dataPath, dataText.put(), &cause);
        if (FAILED(hr)) return failed(hr, cause);
        unique_bstr configDocument, dataDocument;
        hr = TextPageConverter::ConvertTextPages(Model, configText.get(), configDocument.put(),
                                                 dataText.get(), dataDocument.put());
        if (FAILED(hr))
            return failed(hr, configUrl + u" and " + dataPath +
                                  u": the pages are not the text pages of model " +
                                  std::u16string(bstr_view(Model)));
        hr = parse_bstr(configDocument.get(), configHandler, configUrl);
        if (FAILED(hr)) return hr;
        return parse_bstr(dataDocument.get(), dataHandler, dataUrl);
    });
}

}  // namespace ambivox
