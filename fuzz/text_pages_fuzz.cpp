// Fuzzes the text page converter with arbitrary pages of both variants. The converter must
// never crash, and every document it produces that closes all its elements must be well-formed
// XML, whatever the device wrote into its fields.
//
// Input: one byte choosing the variant, then the configuration page, a zero byte, and the data
// page; the pages are decoded from code page 1252 as the HTTP client decodes them.
#include <expat.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "connector/TextPageConverter.h"
#include "platform/base/CodePage.h"
#include "platform/base/HResultBoundary.h"

namespace {

// Whether every start tag of the document is closed (device text is escaped, so every '<' in
// it begins a tag).
bool balanced(std::u16string const& document) {
    long depth = 0;
    for (std::size_t i = 0; i < document.size(); ++i) {
        if (document[i] != u'<') continue;
        if (i + 1 < document.size() && document[i + 1] == u'/') {
            if (--depth < 0) return false;
        } else {
            ++depth;
        }
    }
    return depth == 0;
}

void require_well_formed(std::u16string const& document) {
    XML_Parser parser = XML_ParserCreate("UTF-16LE");
    if (parser == nullptr) return;
    auto const status = XML_Parse(parser, reinterpret_cast<char const*>(document.data()),
                                  static_cast<int>(document.size() * sizeof(char16_t)), 1);
    XML_ParserFree(parser);
    if (status != XML_STATUS_OK) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(std::uint8_t const* data, std::size_t size) {
    if (size == 0) return 0;
    bool const grouped = (data[0] & 1) != 0;
    std::string const rest(reinterpret_cast<char const*>(data + 1), size - 1);
    std::size_t const split = rest.find('\0');
    std::string const configBytes = rest.substr(0, split);
    std::string const dataBytes =
        split == std::string::npos ? std::string() : rest.substr(split + 1);
    std::u16string const config = ambivox::widen(configBytes, CP_ACP);
    std::u16string const page = ambivox::widen(dataBytes, CP_ACP);
    try {
        auto const documents =
            ambivox::TextPageConverter::convert(grouped ? u"NX2" : u"N3", config, page);
        for (auto const* document : {&documents.configuration, &documents.data})
            if (balanced(*document)) require_well_formed(*document);
    } catch (ambivox::hresult_error const& e) {
        // A page read past its end is the one failure the converter reports.
        if (e.code() != E_INVALIDARG) std::abort();
    }
    return 0;
}
