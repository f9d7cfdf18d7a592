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
        switch (c) {
            case u'&':
                result += u"&amp;";
                break;
            case u'<':
                result += u"&lt;";
                break;
            case u'>':
                result += u"&gt;";
                break;
            case u'"':
                result += u"&quot;";
                break;
            // Written raw, these would reach the reader changed: a parser turns them into spaces
            // in attribute values and CR LF or a lone CR into LF everywhere. References survive.
            case u'\t':
                result += u"&#9;";
                break;
            case u'\n':
                result += u"&#10;";
                break;
            case u'\r':
                result += u"&#13;";
                break;
            default:
                result.push_back(c);
        }
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
