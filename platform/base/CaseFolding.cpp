#include "platform/base/CaseFolding.h"

namespace ambivox {

char16_t fold_name_unit(char16_t c) noexcept {
    if (c >= u'A' && c <= u'Z') return static_cast<char16_t>(c + 32);
    // Latin-1 capitals, except the multiplication sign.
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return static_cast<char16_t>(c + 32);
    return c;
}

std::u16string fold_name(std::u16string_view name) {
    std::u16string result(name);
    for (auto& c : result)
        c = fold_name_unit(c);
    return result;
}

bool equals_folded_name(std::u16string_view folded, char16_t const* name) noexcept {
    std::size_t i = 0;
    for (; name[i] != u'\0'; ++i) {
        if (i >= folded.size() || fold_name_unit(name[i]) != folded[i]) return false;
    }
    return i == folded.size();
}

// Simple upper-casing: enough for the names programs use.
char16_t fold_registry_unit(char16_t c) noexcept {
    if (c < 0x80) return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 0x20) : c;
    if (c < 0x100) {
        if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<char16_t>(c - 0x20);
        return c == 0xFF ? char16_t{0x178} : c;
    }
    if (c <= 0x17F) {
        if ((c <= 0x12F) || (c >= 0x132 && c <= 0x137) || (c >= 0x14A && c <= 0x177))
            return static_cast<char16_t>(c & ~1u);
        if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E))
            return (c & 1u) ? c : static_cast<char16_t>(c - 1);
        return c;
    }
    if (c >= 0x3AC && c <= 0x3CE) {
        if (c == 0x3AC) return 0x386;
        if (c <= 0x3AF) return static_cast<char16_t>(c - 0x25);  // έ ή ί
        if (c == 0x3C2) return 0x3A3;                            // final sigma
        if (c >= 0x3B1 && c <= 0x3CB) return static_cast<char16_t>(c - 0x20);
        if (c == 0x3CC) return 0x38C;
        if (c >= 0x3CD) return static_cast<char16_t>(c - 0x3F);  // ύ ώ
        return c;
    }
    if (c >= 0x430 && c <= 0x44F) return static_cast<char16_t>(c - 0x20);
    if (c >= 0x450 && c <= 0x45F) return static_cast<char16_t>(c - 0x50);
    return c;
}

}  // namespace ambivox
