// Arbitrary bytes through the platform's SAX reader into both document readers at once, read
// whole and again in small chunks: neither reader may crash, leak or misbehave on any input,
// and the records must not depend on how the bytes were split. The same bytes, taken as
// UTF-8 text, also go through the string entry point the connector uses.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/automation/UniqueVariant.h"
#include "platform/base/CodePage.h"
#include "platform/com/ComPtr.h"
#include "platform/com/ComRuntime.h"
#include "platform/xml/SaxXmlReader.h"
#include "xml/CXMLAmbivoxConfig.h"
#include "xml/CXMLAmbivoxData.h"
#include "xml/CXMLParser.h"
#include "xml/SAXContentHandlerImpl.h"
#include "xml/SAXErrorHandlerImpl.h"

namespace {

using ambivox::CXMLAmbivoxConfig;
using ambivox::CXMLAmbivoxData;
using ambivox::XMLElement;

// Hands every event to both readers, as if two parses of the same document had run.
class BothReaders final : public ambivox::IXMLElementHandler {
public:
    void OnStartElement(XMLElement const& element) override {
        config.OnStartElement(element);
        data.OnStartElement(element);
    }
    void OnCharacters(char16_t const* text) override {
        config.OnCharacters(text);
        data.OnCharacters(text);
    }
    void OnEndElement(XMLElement const& element) override {
        config.OnEndElement(element);
        data.OnEndElement(element);
    }

    CXMLAmbivoxConfig config;
    CXMLAmbivoxData data;
};

bool same(ambivox::ConfigProbe const& a, ambivox::ConfigProbe const& b) {
    return a.id == b.id && a.hint == b.hint && a.type == b.type && a.name == b.name &&
           a.units == b.units && a.group == b.group;
}
bool same(ambivox::ConfigUnit const& a, ambivox::ConfigUnit const& b) {
    return a.id == b.id && a.name == b.name && a.model == b.model &&
           a.firmware_version == b.firmware_version &&
           a.firmware_release_date == b.firmware_release_date;
}
bool same(ambivox::DataProbe const& a, ambivox::DataProbe const& b) {
    return a.id == b.id && a.value == b.value;
}
bool same(ambivox::DataUnit const& a, ambivox::DataUnit const& b) {
    return a.id == b.id && a.battery_status == b.battery_status;
}

// Two maps of owned records, key by key and record by record, down to the probes.
template <class Map>
bool same_map(Map const& a, Map const& b) {
    if (a.size() != b.size()) return false;
    for (auto left = a.begin(), right = b.begin(); left != a.end(); ++left, ++right) {
        if (left->first != right->first || !same(*left->second, *right->second)) return false;
        if constexpr (requires { left->second->probes; }) {
            if (!same_map(left->second->probes, right->second->probes)) return false;
        }
    }
    return true;
}

HRESULT feed_in_chunks(ambivox::SaxXmlReader& reader, std::uint8_t const* data, std::size_t size,
                       std::size_t chunk) {
    HRESULT hr = reader.begin();
    for (std::size_t at = 0; SUCCEEDED(hr) && at < size; at += chunk)
        hr = reader.feed(data + at, std::min(chunk, size - at));
    return SUCCEEDED(hr) ? reader.end() : hr;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    CoInitialize(nullptr);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(std::uint8_t const* data, std::size_t size) {
    ambivox::com_ptr<ISAXXMLReader> created;
    if (FAILED(CoCreateInstance(CLSID_SAXXMLReader, nullptr, CLSCTX_ALL, ISAXXMLReader::iid,
                                created.put_void())))
        std::abort();
    auto& reader = *static_cast<ambivox::SaxXmlReader*>(created.get());
    ambivox::SAXErrorHandlerImpl errors;
    reader.putErrorHandler(&errors);

    // Whole, then in chunks of 1 to 16 bytes chosen by the input itself.
    std::size_t const chunk = size == 0 ? 1 : 1 + data[size - 1] % 16;
    BothReaders whole;
    BothReaders pieces;
    HRESULT wholeResult;
    HRESULT piecesResult;
    {
        ambivox::SAXContentHandlerImpl content(&whole);
        reader.putContentHandler(&content);
        wholeResult = feed_in_chunks(reader, data, size, size == 0 ? 1 : size);
        ambivox::SAXContentHandlerImpl chunked(&pieces);
        reader.putContentHandler(&chunked);
        piecesResult = feed_in_chunks(reader, data, size, chunk);
        reader.putContentHandler(nullptr);
    }
    reader.putErrorHandler(nullptr);
    if (wholeResult != piecesResult || !same_map(whole.config.units(), pieces.config.units()) ||
        !same_map(whole.data.units(), pieces.data.units()))
        __builtin_trap();

    // The connector's way in: wide text in a string variant.
    BothReaders fromText;
    auto const text = ambivox::unique_variant::from(
        ambivox::widen(std::string_view(reinterpret_cast<char const*>(data), size), CP_UTF8));
    ambivox::Parse(text.get(), &fromText);
    return 0;
}
