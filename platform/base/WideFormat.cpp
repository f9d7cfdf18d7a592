#include "platform/base/WideFormat.h"

#include <stdexcept>

namespace ambivox {

void wide_format_to(std::u16string& out, std::u16string_view templ,
                    std::initializer_list<format_argument> args) {
    auto next = args.begin();
    for (std::size_t i = 0; i < templ.size(); ++i) {
        char16_t const c = templ[i];
        if (c != u'%' || i + 1 == templ.size()) {
            out.push_back(c);
            continue;
        }
        char16_t const conversion = templ[++i];
        if (conversion == u'%') {
            out.push_back(u'%');
            continue;
        }
        if (next == args.end()) throw std::invalid_argument("too few format arguments");
        if (conversion == u's') {
            auto const* text = std::get_if<std::u16string_view>(&*next);
            if (text == nullptr) throw std::invalid_argument("%s needs text");
            out.append(*text);
        } else if (conversion == u'd') {
            auto const* number = std::get_if<std::int64_t>(&*next);
            if (number == nullptr) throw std::invalid_argument("%d needs a number");
            std::string const digits = std::to_string(*number);
            out.append(digits.begin(), digits.end());
        } else {
            throw std::invalid_argument("unknown conversion");
        }
        ++next;
    }
}

}  // namespace ambivox
