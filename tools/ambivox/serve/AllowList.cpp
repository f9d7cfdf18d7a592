#include "tools/ambivox/serve/AllowList.h"

#include <arpa/inet.h>

#include <cctype>
#include <charconv>
#include <cstring>
#include <stdexcept>

#include "platform/base/CaseFolding.h"
#include "platform/base/CodePage.h"

namespace ambivox::cli {

namespace {

bool host_name(std::string_view text) {
    if (text.empty() || text.size() > 253) return false;
    for (char const c : text)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '.' && c != '-' && c != '_')
            return false;
    return true;
}

bool same_prefix(std::array<std::uint8_t, 16> const& a, std::array<std::uint8_t, 16> const& b,
                 unsigned bits) {
    for (unsigned i = 0; i < bits / 8; ++i)
        if (a[i] != b[i]) return false;
    unsigned const rest = bits % 8;
    if (rest == 0) return true;
    auto const mask = static_cast<std::uint8_t>(0xFF << (8 - rest));
    return (a[bits / 8] & mask) == (b[bits / 8] & mask);
}

}  // namespace

std::optional<AllowList::network> AllowList::address_of(std::string_view text) {
    std::string const copy(text);
    network result;
    if (::inet_pton(AF_INET, copy.c_str(), result.address.data()) == 1) {
        result.prefix = 32;
        return result;
    }
    if (::inet_pton(AF_INET6, copy.c_str(), result.address.data()) == 1) {
        result.v6 = true;
        result.prefix = 128;
        return result;
    }
    return std::nullopt;
}

std::string AllowList::folded(std::string_view name) {
    return narrow(fold_name(widen(std::string(name), CP_UTF8)), CP_UTF8);
}

void AllowList::add(std::string_view entry) {
    std::size_t const slash = entry.find('/');
    if (auto address = address_of(entry.substr(0, slash))) {
        if (slash != std::string_view::npos) {
            std::string_view const bits = entry.substr(slash + 1);
            unsigned prefix = 0;
            auto const [end, error] =
                std::from_chars(bits.data(), bits.data() + bits.size(), prefix);
            if (error != std::errc() || end != bits.data() + bits.size() ||
                prefix > address->prefix)
                throw std::invalid_argument("--allow " + std::string(entry) +
                                            ": the prefix length is not a number from 0 to " +
                                            std::to_string(address->prefix));
            address->prefix = prefix;
        }
        m_networks.push_back(*address);
        return;
    }
    if (slash != std::string_view::npos || !host_name(entry))
        throw std::invalid_argument("--allow " + std::string(entry) +
                                    ": give an address, a network as ADDRESS/BITS, or a host name");
    m_names.push_back(folded(entry));
}

bool AllowList::allows(std::string_view host) const {
    if (auto const address = address_of(host)) {
        for (network const& allowed : m_networks)
            if (allowed.v6 == address->v6 &&
                same_prefix(allowed.address, address->address, allowed.prefix))
                return true;
        return false;
    }
    std::string const name = folded(host);
    for (std::string const& allowed : m_names)
        if (allowed == name) return true;
    return false;
}

std::optional<std::string> AllowList::host_of(std::string_view target) {
    std::string_view host = target;
    std::optional<std::string_view> port;
    if (target.starts_with('[')) {
        std::size_t const close = target.find(']');
        if (close == std::string_view::npos) return std::nullopt;
        host = target.substr(1, close - 1);
        std::string_view const rest = target.substr(close + 1);
        if (!rest.empty() && rest[0] != ':') return std::nullopt;
        if (!rest.empty()) port = rest.substr(1);
        auto const address = address_of(host);
        if (!address || !address->v6) return std::nullopt;
    } else {
        std::size_t const colon = target.find(':');
        if (colon != std::string_view::npos) {
            host = target.substr(0, colon);
            port = target.substr(colon + 1);
        }
        if (!host_name(host)) return std::nullopt;
    }
    if (port) {
        unsigned number = 0;
        auto const [end, error] =
            std::from_chars(port->data(), port->data() + port->size(), number);
        if (error != std::errc() || end != port->data() + port->size() || number < 1 ||
            number > 65535)
            return std::nullopt;
    }
    return std::string(host);
}

}  // namespace ambivox::cli
