#include "connector/CDataConnector.h"

#include <boost/lexical_cast/try_lexical_convert.hpp>

#include "connector/TextPageConverter.h"
#include "connector/UnifiedDocuments.h"
#include "devices/CModelQHelper.h"
#include "platform/automation/UniqueBstr.h"
#include "platform/automation/UniqueVariant.h"
#include "platform/base/CodePage.h"
#include "transport/CHttpClient.h"
#include "xml/CXMLParser.h"
#include "xml/ElementHandlerRegistry.h"

namespace ambivox {

namespace {

// The element handler a handler parameter names: null for a null parameter, else a live
// handler; raises E_INVALIDARG for any other address.
IXMLElementHandler* handler_of(LONG_PTR* parameter) {
    if (parameter == nullptr) return nullptr;
    IXMLElementHandler* handler = ElementHandlerRegistry::find(parameter);
    if (handler == nullptr) throw_hresult(E_INVALIDARG);
    return handler;
}

HRESULT parse_text(std::u16string_view document, IXMLElementHandler* handler) {
    unique_variant text = unique_variant::from(document);
    return Parse(text.get(), handler);
}

HRESULT parse_bstr(BSTR document, IXMLElementHandler* handler) {
    unique_variant text = unique_variant::from(bstr_view(document));
    return Parse(text.get(), handler);
}

}  // namespace

HRESULT CDataConnector::RequestModelNXMLData(BSTR, BSTR Val, LONG_PTR* Handler) noexcept {
    return hresult_boundary([&] {
        IXMLElementHandler* handler = handler_of(Handler);
        // The reader needs a terminated URL; a null one is the empty URL.
        return ParseURL(Val != nullptr ? Val : u"", handler);
    });
}

HRESULT CDataConnector::RequestModelNXMLConfigData(BSTR Id, BSTR Val, LONG_PTR* Handler) noexcept {
    return RequestModelNXMLData(Id, Val, Handler);
}

HRESULT CDataConnector::RequestModelQSerialComConfigData(BSTR, BSTR, LONG_PTR* Handler) noexcept {
    if (Handler == nullptr) return E_OUTOFMEMORY;
    return hresult_boundary([&] {
        IXMLElementHandler* handler = handler_of(Handler);
        return parse_text(UnifiedDocuments::model_q_configuration, handler);
    });
}

HRESULT CDataConnector::RequestModelQSerialComData(BSTR, BSTR ComPort, LONG_PTR* Handler) noexcept {
    return hresult_boundary([&]() -> HRESULT {
        IXMLElementHandler* handler = handler_of(Handler);
        // A port text that is not one decimal number alone, and a device that fails in the
        // middle of its reply, answer E_OUTOFMEMORY rather than the code underneath: the answer
        // callers of this request have always had.
        LONG port = 0;
        if (!boost::conversion::try_lexical_convert(narrow(bstr_view(ComPort), CP_UTF8), port))
            return E_OUTOFMEMORY;
        CModelQHelper device;
        if (!device.Open(port)) return E_ACCESSDENIED;
        std::u16string scratch;
        if (FAILED(hresult_boundary([&] { device.Read(scratch); }))) return E_OUTOFMEMORY;
        std::u16string const document = UnifiedDocuments::model_q_data(
            device.BatteryStatus(), device.Probe1Value(), device.Probe2Value());
        // The port is closed before the document is parsed.
        device.Close();
        return parse_text(document, handler);
    });
}

HRESULT CDataConnector::RequestModelNHTTPConfigAndData(BSTR, BSTR IpAddress, BSTR ConfigPath,
                                                       BSTR DataPath, BSTR Model,
                                                       LONG_PTR* ConfigHandler,
                                                       LONG_PTR* DataHandler) noexcept {
    return hresult_boundary([&]() -> HRESULT {
        IXMLElementHandler* configHandler = handler_of(ConfigHandler);
        IXMLElementHandler* dataHandler = handler_of(DataHandler);
        if (SysStringLen(IpAddress) == 0) return E_OUTOFMEMORY;
        unique_bstr const address = unique_bstr::copy_of(IpAddress);
        // Both pages are fetched and converted before either is parsed.
        unique_bstr configText, dataText;
        HRESULT hr = FetchDocument(address.get(), ConfigPath != nullptr ? ConfigPath : u"",
                                   configText.put());
        if (FAILED(hr)) return hr;
        hr = FetchDocument(address.get(), DataPath != nullptr ? DataPath : u"", dataText.put());
        if (FAILED(hr)) return hr;
        unique_bstr configDocument, dataDocument;
        hr = TextPageConverter::ConvertTextPages(Model, configText.get(), configDocument.put(),
                                                 dataText.get(), dataDocument.put());
        if (FAILED(hr)) return hr;
        hr = parse_bstr(configDocument.get(), configHandler);
        if (FAILED(hr)) return hr;
        return parse_bstr(dataDocument.get(), dataHandler);
    });
}

}  // namespace ambivox
