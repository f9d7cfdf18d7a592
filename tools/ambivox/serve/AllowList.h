// AllowList: the hosts /probe may poll. An entry is an IPv4 or IPv6 address, a network in CIDR
// notation ("10.0.0.0/8", "fd00::/8") or a host name, which matches that name alone, without
// case and without being looked up (a name that resolves elsewhere tomorrow must not widen the
// list). Without it, an exporter polls any address it is sent and becomes a way into the network.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ambivox::cli {

class AllowList {
public:
    // Raises std::invalid_argument saying what is wrong with the entry.
    void add(std::string_view entry);
    bool allows(std::string_view host) const;
    bool empty() const noexcept { return m_networks.empty() && m_names.empty(); }

    // The host part of "HOST", "HOST:PORT" or "[IPV6]:PORT"; nullopt when the text is not one
    // of those (a port outside 1 to 65535, characters no host name has).
    static std::optional<std::string> host_of(std::string_view target);

private:
    struct network {
        std::array<std::uint8_t, 16> address{};
        bool v6 = false;
        unsigned prefix = 0;
    };

    static std::optional<network> address_of(std::string_view text);
    static std::string folded(std::string_view name);

    std::vector<network> m_networks;
    std::vector<std::string> m_names;
};

}  // namespace ambivox::cli
