#include "connector/UnifiedDocuments.h"

#include "platform/base/WideFormat.h"

namespace ambivox {

namespace {

// Characters no XML document may hold, not even as references: most controls, the two
// non-characters U+FFFE and U+FFFF, and halves of surrogate pairs standing alone.
bool forbidden_in_xml(std::u16string_view text, std::size_t i) noexcept {
    char16_t const c = text[i];
    if (c < 0x20) return c != u'\t' && c != u'\n' && c != u'\r';
    if (c == 0xFFFE || c == 0xFFFF) return true;
    if (c >= 0xD800 && c <= 0xDBFF)
        return i + 1 >= text.size() || text[i + 1] < 0xDC00 || text[i + 1] > 0xDFFF;
    if (c >= 0xDC00 && c <= 0xDFFF) return i == 0 || text[i - 1] < 0xD800 || text[i - 1] > 0xDBFF;
    return false;
}

// The reference a character is written as, or nothing when it is written as itself. Besides
// the markup characters, TAB, LF and CR: written raw, they would reach the reader changed, as a
// parser turns them into spaces in attribute values and CR LF or a lone CR into LF everywhere.
std::u16string_view reference_for(char16_t c) noexcept {
    struct reference {
        char16_t c;
        std::u16string_view text;
    };
    static constexpr reference references[] = {
        {u'&', u"&amp;"}, {u'<', u"&lt;"},   {u'>', u"&gt;"},   {u'"', u"&quot;"},
        {u'\t', u"&#9;"}, {u'\n', u"&#10;"}, {u'\r', u"&#13;"},
    };
    for (reference const& r : references)
        if (r.c == c) return r.text;
    return {};
}

}  // namespace

std::u16string UnifiedDocuments::escaped(std::u16string_view text) {
    std::u16string result;
    result.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        char16_t const c = text[i];
        if (forbidden_in_xml(text, i)) {
            // Kept visible as the replacement character rather than breaking the document.
            result.push_back(u'\uFFFD');
            continue;
        }
        std::u16string_view const reference = reference_for(c);
        if (reference.empty())
            result.push_back(c);
        else
            result += reference;
    }
    return result;
}

std::u16string UnifiedDocuments::model_q_data(std::u16string_view batteryStatus,
                                              std::u16string_view probe1,
                                              std::u16string_view probe2) {
    return wide_format(model_q_data_template,
                       {escaped(batteryStatus), escaped(probe1), escaped(probe2)});
}

}  // namespace ambivox
