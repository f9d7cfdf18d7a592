// Case folding, the one place that says which names compare without regard to case and how.
//
// Two rules, each kept stable because callers store or compare what they produce:
//   - automation names (members, parameters, registrar keywords) fold ASCII and Latin-1 capitals
//     to lower case, as late-bound callers expect of names they type;
//   - registry key and value names fold ASCII, Latin-1, Latin Extended-A, Greek and Cyrillic to
//     upper case; the registry stores these folds, so their meaning must never change.
#pragma once

#include <string>
#include <string_view>

namespace ambivox {

char16_t fold_name_unit(char16_t c) noexcept;

// The automation-name fold of name; raises std::bad_alloc.
std::u16string fold_name(std::u16string_view name);

// Whether name, null-terminated, equals an already folded name under the automation-name rule.
bool equals_folded_name(std::u16string_view folded, char16_t const* name) noexcept;

char16_t fold_registry_unit(char16_t c) noexcept;

}  // namespace ambivox
