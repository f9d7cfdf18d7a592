// wide_format: fills a wide printf-style template. Only the two conversions the library's
// templates use exist: %s takes text, inserted as it is; %d takes an integer, written in
// decimal. %% is a percent sign. A template asking for more arguments than given, or for an
// argument of the other kind, raises std::invalid_argument: templates are the program's own.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <variant>

namespace ambivox {

using format_argument = std::variant<std::u16string_view, std::int64_t>;

// Appends the filled template to `out`.
void wide_format_to(std::u16string& out, std::u16string_view templ,
                    std::initializer_list<format_argument> args);

inline std::u16string wide_format(std::u16string_view templ,
                                  std::initializer_list<format_argument> args) {
    std::u16string out;
    wide_format_to(out, templ, args);
    return out;
}

}  // namespace ambivox
