#include "connector/UnifiedDocuments.h"

#include "platform/WideFormat.h"

namespace ambivox {

std::u16string UnifiedDocuments::escaped(std::u16string_view text) {
    std::u16string result;
    result.reserve(text.size());
    for (char16_t c : text) {
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
