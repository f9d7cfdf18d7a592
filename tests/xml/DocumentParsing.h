// Helpers shared by the reader tests: the records of a reader as text, and the two ways every
// test document is read - whole through Parse, and one byte at a time through the platform
// reader's incremental entry - which must agree.
#pragma once

#include <gtest/gtest.h>

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

namespace ambivox::testing {

inline std::string in_quotes(std::u16string_view text) {
    return "\"" + narrow(text, CP_UTF8) + "\"";
}

// One line per unit and one indented line per probe, in map order, every field shown.
inline std::string records(CXMLAmbivoxConfig const& reader) {
    std::string out;
    for (auto const& [key, unit] : reader.units()) {
        out += "unit " + in_quotes(key) + " id " + in_quotes(unit->id) + " name " +
               in_quotes(unit->name) + " model " + in_quotes(unit->model) + " firmware " +
               in_quotes(unit->firmware_version) + " released " +
               in_quotes(unit->firmware_release_date) + "\n";
        for (auto const& [probeKey, probe] : unit->probes)
            out += "  probe " + in_quotes(probeKey) + " id " + in_quotes(probe->id) + " hint " +
                   in_quotes(probe->hint) + " type " + in_quotes(probe->type) + " name " +
                   in_quotes(probe->name) + " units " + in_quotes(probe->units) + " group " +
                   in_quotes(probe->group) + "\n";
    }
    return out;
}

inline std::string records(CXMLAmbivoxData const& reader) {
    std::string out;
    for (auto const& [key, unit] : reader.units()) {
        out += "unit " + in_quotes(key) + " id " + in_quotes(unit->id) + " battery " +
               in_quotes(unit->battery_status) + "\n";
        for (auto const& [probeKey, probe] : unit->probes)
            out += "  probe " + in_quotes(probeKey) + " id " + in_quotes(probe->id) + " value " +
                   in_quotes(probe->value) + "\n";
    }
    return out;
}

// The document as the connector hands it over: wide text in a string variant.
inline HRESULT parse_whole(std::u16string_view document, IXMLElementHandler* handler) {
    unique_variant text = unique_variant::from(document);
    return Parse(text.get(), handler);
}

// The document in UTF-8, fed to the platform reader one byte at a time: every text node and
// tag crosses a buffer boundary somewhere.
inline HRESULT parse_bytewise(std::u16string_view document, IXMLElementHandler* handler) {
    std::string const bytes = narrow(document, CP_UTF8);
    EXPECT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    HRESULT hr = S_OK;
    {
        com_ptr<ISAXXMLReader> created;
        hr = CoCreateInstance(CLSID_SAXXMLReader, nullptr, CLSCTX_ALL, ISAXXMLReader::iid,
                              created.put_void());
        if (FAILED(hr)) {
            CoUninitialize();
            return hr;
        }
        auto* reader = static_cast<SaxXmlReader*>(created.get());
        SAXContentHandlerImpl content(handler);
        SAXErrorHandlerImpl errors;
        reader->putContentHandler(&content);
        reader->putErrorHandler(&errors);
        hr = reader->begin();
        for (std::size_t at = 0; SUCCEEDED(hr) && at < bytes.size(); ++at)
            hr = reader->feed(bytes.data() + at, 1);
        if (SUCCEEDED(hr)) hr = reader->end();
        // The handlers die before the reader would let go of them.
        reader->putContentHandler(nullptr);
        reader->putErrorHandler(nullptr);
    }
    CoUninitialize();
    return hr;
}

struct outcome {
    HRESULT result;
    std::string records;
};

// Reads document both ways into fresh readers of type Reader, checks that both ways give the
// same result and the same records, and answers them.
template <class Reader>
outcome read_both_ways(std::u16string_view document) {
    Reader whole;
    HRESULT const wholeResult = parse_whole(document, &whole);
    Reader bytewise;
    HRESULT const bytewiseResult = parse_bytewise(document, &bytewise);
    EXPECT_EQ(wholeResult, bytewiseResult) << "whole and byte-by-byte parses disagree";
    std::string const wholeRecords = records(whole);
    EXPECT_EQ(wholeRecords, records(bytewise)) << "whole and byte-by-byte parses disagree";
    return {wholeResult, wholeRecords};
}

// Records of a document that must parse without fault.
template <class Reader>
std::string read_records(std::u16string_view document) {
    outcome const result = read_both_ways<Reader>(document);
    EXPECT_EQ(result.result, S_OK);
    return result.records;
}

}  // namespace ambivox::testing
