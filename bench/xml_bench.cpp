// What reading a device document costs: the SAX bridge and a document reader over a large
// generated document, against expat alone with handlers that do nothing on the same bytes, and
// the whole parse of one ordinary device document, reader creation included.
#include <benchmark/benchmark.h>
#include <expat.h>
#include <sys/resource.h>

#include <algorithm>
#include <string>
#include <vector>

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

std::u16string number(int value) {
    std::string const digits = std::to_string(value);
    return std::u16string(digits.begin(), digits.end());
}

std::u16string const website = u"<Website>http://www.ambivox.example/</Website>";

// A grouped configuration document as a device with `probes` probes would serve it.
std::u16string configuration_document(int probes) {
    std::u16string doc =
        u"<Ambivox id=\"S00412\"><Unit><Name>Server room</Name><Model>NX2</Model>"
        u"<Serial_Number>S00412</Serial_Number><Firmware_Release_Date>2021-03-09"
        u"</Firmware_Release_Date><Firmware_Version>2.1.7</Firmware_Version>" +
        website + u"<Manufacturer>Ambivox</Manufacturer></Unit>";
    static char16_t const* const types[] = {u"Temperature", u"Humidity", u"Wetness"};
    static char16_t const* const units[] = {u"F", u"H", u"W"};
    for (int probe = 1; probe <= probes; ++probe) {
        int const position = (probe - 1) % 3;
        if (position == 0)
            doc += u"<Group id=\"" + number((probe + 2) / 3) + u"\"><Name>Rack " +
                   number((probe + 2) / 3) + u"</Name>";
        doc += u"<Probe id=\"" + number(probe) + u"\" type=\"" + types[position] +
               u"\"><Name>Probe " + number(probe) + u"</Name><Units>" + units[position] +
               u"</Units></Probe>";
        if (position == 2 || probe == probes) doc += u"</Group>";
    }
    return doc + u"</Ambivox>";
}

std::u16string data_document(int probes) {
    std::u16string doc = u"<Ambivox id=\"S00412\">";
    for (int probe = 1; probe <= probes; ++probe)
        doc += u"<Probe id=\"" + number(probe) + u"\"><Value>" + number(600 + probe % 400) +
               u".4</Value></Probe>";
    return doc + u"</Ambivox>";
}

// Model N xmlconfig of 8 temperature probes, as such a device serves it.
std::u16string model_n_configuration() {
    std::u16string doc =
        u"<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Ambivox id=\"N7-000317\">\n <Unit>\n"
        u"  <Name>Lab bench</Name>\n  <Model>N7</Model>\n  <Serial_Number>N7-000317"
        u"</Serial_Number>\n  <Firmware_Release_Date>2020-11-02</Firmware_Release_Date>\n"
        u"  <Firmware_Version>1.9.3</Firmware_Version>\n  " +
        website + u"\n  <Manufacturer>Ambivox</Manufacturer>\n </Unit>\n";
    for (int probe = 1; probe <= 8; ++probe)
        doc += u" <Probe id=\"" + number(probe) + u"\" type=\"Temperature\">\n  <Name>Probe " +
               number(probe) + u"</Name>\n  <Units>F</Units>\n </Probe>\n";
    return doc + u"</Ambivox>\n";
}

constexpr int large_probe_count = 10000;

struct runtime_scope {
    runtime_scope() { CoInitialize(nullptr); }
    ~runtime_scope() { CoUninitialize(); }
};

// The bridge and a reader, from the string variant the connector hands over.
template <class Reader>
void bridge_from_text(benchmark::State& state, std::u16string const& document) {
    runtime_scope runtime;  // keeps the parses from paying for the first initialisation
    ambivox::unique_variant text = ambivox::unique_variant::from(document);
    for (auto _ : state) {
        Reader reader;
        if (ambivox::Parse(text.get(), &reader) != S_OK) state.SkipWithError("parse failed");
        benchmark::DoNotOptimize(reader.units().size());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(document.size() * sizeof(char16_t)));
}

// The bridge and a reader, from the UTF-8 bytes a device serves, fed in one piece.
template <class Reader>
void bridge_from_bytes(benchmark::State& state, std::string const& bytes) {
    runtime_scope runtime;
    ambivox::com_ptr<ISAXXMLReader> created;
    CoCreateInstance(CLSID_SAXXMLReader, nullptr, CLSCTX_ALL, ISAXXMLReader::iid,
                     created.put_void());
    auto* sax = static_cast<ambivox::SaxXmlReader*>(created.get());
    ambivox::SAXErrorHandlerImpl errors;
    sax->putErrorHandler(&errors);
    for (auto _ : state) {
        Reader reader;
        ambivox::SAXContentHandlerImpl content(&reader);
        sax->putContentHandler(&content);
        HRESULT hr = sax->begin("UTF-8");
        if (SUCCEEDED(hr)) hr = sax->feed(bytes.data(), bytes.size());
        if (SUCCEEDED(hr)) hr = sax->end();
        if (hr != S_OK) state.SkipWithError("parse failed");
        sax->putContentHandler(nullptr);
        benchmark::DoNotOptimize(reader.units().size());
    }
    sax->putErrorHandler(nullptr);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(bytes.size()));
}

// The layers one by one: the platform reader alone, with a content handler that ignores every
// event, and the bridge over an element handler that ignores every call.
class IgnoringContentHandler final : public ambivox::SAXContentHandlerImpl {
public:
    HRESULT startElement(const OLECHAR*, int, const OLECHAR*, int, const OLECHAR*, int,
                         ISAXAttributes*) noexcept override {
        return S_OK;
    }
    HRESULT endElement(const OLECHAR*, int, const OLECHAR*, int, const OLECHAR*,
                       int) noexcept override {
        return S_OK;
    }
    HRESULT characters(const OLECHAR*, int) noexcept override { return S_OK; }
};

class IgnoringElementHandler final : public ambivox::IXMLElementHandler {
public:
    void OnStartElement(ambivox::XMLElement const&) override {}
    void OnCharacters(char16_t const*) override {}
    void OnEndElement(ambivox::XMLElement const&) override {}
};

template <class Content>
void layer_from_text(benchmark::State& state, std::u16string const& document,
                     ambivox::IXMLElementHandler* handler) {
    runtime_scope runtime;
    ambivox::com_ptr<ISAXXMLReader> sax;
    CoCreateInstance(CLSID_SAXXMLReader, nullptr, CLSCTX_ALL, ISAXXMLReader::iid, sax.put_void());
    Content content;
    content.set_element_handler(handler);
    sax->putContentHandler(&content);
    ambivox::unique_variant text = ambivox::unique_variant::from(document);
    for (auto _ : state)
        if (sax->parse(text.get()) != S_OK) state.SkipWithError("parse failed");
    sax->putContentHandler(nullptr);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(document.size() * sizeof(char16_t)));
}

void XMLCALL ignore_start(void*, XML_Char const*, XML_Char const**) {}
void XMLCALL ignore_end(void*, XML_Char const*) {}
void XMLCALL ignore_text(void*, XML_Char const*, int) {}

// Expat alone, with namespace processing as the platform reader does it.
void expat_alone(benchmark::State& state, char const* encoding, void const* bytes,
                 std::size_t size) {
    for (auto _ : state) {
        XML_Parser parser = XML_ParserCreateNS(encoding, '\x01');
        XML_SetElementHandler(parser, ignore_start, ignore_end);
        XML_SetCharacterDataHandler(parser, ignore_text);
        if (XML_Parse(parser, static_cast<char const*>(bytes), static_cast<int>(size), XML_TRUE) !=
            XML_STATUS_OK)
            state.SkipWithError("parse failed");
        XML_ParserFree(parser);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(size));
}

std::u16string const& large_configuration() {
    static std::u16string const doc = configuration_document(large_probe_count);
    return doc;
}
std::u16string const& large_data() {
    static std::u16string const doc = data_document(large_probe_count);
    return doc;
}

void LargeConfiguration_ExpatAloneOnUtf16(benchmark::State& state) {
    auto const& doc = large_configuration();
    expat_alone(state, "UTF-16LE", doc.data(), doc.size() * sizeof(char16_t));
}
BENCHMARK(LargeConfiguration_ExpatAloneOnUtf16)->Unit(benchmark::kMillisecond);

void LargeConfiguration_BridgeAndReaderFromText(benchmark::State& state) {
    bridge_from_text<ambivox::CXMLAmbivoxConfig>(state, large_configuration());
}
BENCHMARK(LargeConfiguration_BridgeAndReaderFromText)->Unit(benchmark::kMillisecond);

void LargeConfiguration_PlatformReaderAlone(benchmark::State& state) {
    layer_from_text<IgnoringContentHandler>(state, large_configuration(), nullptr);
}
BENCHMARK(LargeConfiguration_PlatformReaderAlone)->Unit(benchmark::kMillisecond);

void LargeConfiguration_BridgeAlone(benchmark::State& state) {
    IgnoringElementHandler ignoring;
    layer_from_text<ambivox::SAXContentHandlerImpl>(state, large_configuration(), &ignoring);
}
BENCHMARK(LargeConfiguration_BridgeAlone)->Unit(benchmark::kMillisecond);

void LargeConfiguration_ExpatAloneOnUtf8(benchmark::State& state) {
    static std::string const bytes = ambivox::narrow(large_configuration(), CP_UTF8);
    expat_alone(state, "UTF-8", bytes.data(), bytes.size());
}
BENCHMARK(LargeConfiguration_ExpatAloneOnUtf8)->Unit(benchmark::kMillisecond);

void LargeConfiguration_BridgeAndReaderFromBytes(benchmark::State& state) {
    static std::string const bytes = ambivox::narrow(large_configuration(), CP_UTF8);
    bridge_from_bytes<ambivox::CXMLAmbivoxConfig>(state, bytes);
}
BENCHMARK(LargeConfiguration_BridgeAndReaderFromBytes)->Unit(benchmark::kMillisecond);

// The records the reader keeps from the large configuration, built with no parse at all: what
// its output costs whatever the parse path does. Expat's time plus this is the floor of the
// bridge's ratio.
void LargeConfiguration_RecordsAlone(benchmark::State& state) {
    std::vector<std::u16string> ids;
    for (int probe = 1; probe <= large_probe_count; ++probe)
        ids.push_back(number(probe));
    static char16_t const* const types[] = {u"Temperature", u"Humidity", u"Wetness"};
    static char16_t const* const units[] = {u"F", u"H", u"W"};
    for (auto _ : state) {
        ambivox::ConfigUnitMap map;
        auto unit = std::make_unique<ambivox::ConfigUnit>();
        unit->id = u"S00412";
        unit->name = u"Server room";
        unit->model = u"NX2";
        for (int probe = 1; probe <= large_probe_count; ++probe) {
            ambivox::ConfigProbe record;
            record.id = ids[probe - 1];
            record.type = types[(probe - 1) % 3];
            record.name = u"Probe ";
            record.name += ids[probe - 1];
            record.units = units[(probe - 1) % 3];
            record.group = ids[(probe + 2) / 3 - 1];
            unit->probes.append(std::move(record));
        }
        unit->probes.settle();
        map.emplace(unit->id, std::move(unit));
        benchmark::DoNotOptimize(map.size());
    }
}
BENCHMARK(LargeConfiguration_RecordsAlone)->Unit(benchmark::kMillisecond);

void LargeData_ExpatAloneOnUtf16(benchmark::State& state) {
    auto const& doc = large_data();
    expat_alone(state, "UTF-16LE", doc.data(), doc.size() * sizeof(char16_t));
}
BENCHMARK(LargeData_ExpatAloneOnUtf16)->Unit(benchmark::kMillisecond);

void LargeData_BridgeAndReaderFromText(benchmark::State& state) {
    bridge_from_text<ambivox::CXMLAmbivoxData>(state, large_data());
}
BENCHMARK(LargeData_BridgeAndReaderFromText)->Unit(benchmark::kMillisecond);

// One ordinary document, end to end: runtime initialisation, reader creation, parse, records.
void ModelNConfiguration_Latency(benchmark::State& state) {
    ambivox::unique_variant text = ambivox::unique_variant::from(model_n_configuration());
    for (auto _ : state) {
        ambivox::CXMLAmbivoxConfig reader;
        if (ambivox::Parse(text.get(), &reader) != S_OK) state.SkipWithError("parse failed");
        benchmark::DoNotOptimize(reader.units().size());
    }
}
BENCHMARK(ModelNConfiguration_Latency)->Unit(benchmark::kMicrosecond);

// Hostile documents as a broken or malicious device could serve them, fed in the 16 KiB pieces
// libcurl delivers: a huge attribute value (one token that expat cannot report until it ends)
// and nesting as deep as 16 MiB allows. Time must stay linear in the size; peak_rss_mb is the
// process's peak resident memory after the run.
void fed_in_pieces(benchmark::State& state, std::string const& bytes, HRESULT expected) {
    runtime_scope runtime;
    ambivox::com_ptr<ISAXXMLReader> created;
    CoCreateInstance(CLSID_SAXXMLReader, nullptr, CLSCTX_ALL, ISAXXMLReader::iid,
                     created.put_void());
    auto* sax = static_cast<ambivox::SaxXmlReader*>(created.get());
    constexpr std::size_t piece = 16 * 1024;
    for (auto _ : state) {
        ambivox::CXMLAmbivoxData reader;
        ambivox::SAXContentHandlerImpl content(&reader);
        sax->putContentHandler(&content);
        HRESULT hr = sax->begin("UTF-8");
        for (std::size_t at = 0; SUCCEEDED(hr) && at < bytes.size(); at += piece)
            hr = sax->feed(bytes.data() + at, std::min(piece, bytes.size() - at));
        HRESULT const ended = sax->end();
        if ((FAILED(hr) ? hr : ended) != expected) state.SkipWithError("unexpected result");
        sax->putContentHandler(nullptr);
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    state.counters["peak_rss_mb"] = static_cast<double>(usage.ru_maxrss) / 1024.0;
    state.SetComplexityN(static_cast<int64_t>(bytes.size()));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(bytes.size()));
}

void Hostile_HugeAttributeValue(benchmark::State& state) {
    std::string const document =
        "<Ambivox id=\"S\"><BatteryStatus note=\"" +
        std::string(static_cast<std::size_t>(state.range(0)), 'v') +
        "\">Bat Ok</BatteryStatus><Probe id=\"1\"><Value>5</Value></Probe></Ambivox>";
    fed_in_pieces(state, document, S_OK);
}
BENCHMARK(Hostile_HugeAttributeValue)
    ->Arg(1 << 20)
    ->Arg(4 << 20)
    ->Arg(15 << 20)
    ->Complexity(benchmark::oN)
    ->Unit(benchmark::kMillisecond);

void Hostile_DeepNesting(benchmark::State& state) {
    std::string document;
    for (std::size_t i = 0; i < static_cast<std::size_t>(state.range(0)) / 3; ++i)
        document += "<e>";
    fed_in_pieces(state, document, XML_E_MALFORMED);
}
BENCHMARK(Hostile_DeepNesting)->Arg(16 << 20)->Unit(benchmark::kMillisecond);

}  // namespace
