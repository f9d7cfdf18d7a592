// store_closed_record: what the configuration and data readers do at an end tag that may close a
// record. Both documents nest Probe records inside an Ambivox unit record alike; only the record
// types differ.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace ambivox {

// At </Ambivox> the open unit goes into units under its id; at </Probe> the open probe goes into
// the open unit, found by its id once the unit closes. Either replaces a record stored under the
// same id; any other name changes nothing.
template <class Unit, class Probe>
void store_closed_record(std::u16string_view name,
                         std::map<std::u16string, std::unique_ptr<Unit>>& units,
                         std::unique_ptr<Unit>& unit, std::optional<Probe>& probe) {
    using namespace std::string_view_literals;
    if (name == u"Ambivox"sv) {
        if (unit) {
            // The unit's probes are complete: from here on they are looked up, not added to.
            unit->probes.settle();
            std::u16string id = unit->id;
            units.insert_or_assign(std::move(id), std::move(unit));
        }
    } else if (name == u"Probe"sv) {
        // A probe outside any unit belongs nowhere; it goes with the release of the pointer.
        if (probe && unit) unit->probes.append(std::move(*probe));
        probe.reset();
    }
}

}  // namespace ambivox
