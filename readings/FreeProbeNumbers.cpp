#include "readings/FreeProbeNumbers.h"

#include <iterator>
#include <limits>
#include <utility>

namespace ambivox {

namespace {
constexpr SHORT highest = std::numeric_limits<SHORT>::max();
}

FreeProbeNumbers::FreeProbeNumbers() {
    reset();
}

void FreeProbeNumbers::reset() {
    std::map<SHORT, SHORT> all{{SHORT{1}, highest}};
    m_runs.swap(all);
}

SHORT FreeProbeNumbers::lowest() const noexcept {
    return m_runs.empty() ? SHORT{0} : m_runs.begin()->first;
}

void FreeProbeNumbers::take(SHORT number) {
    if (number < 1) return;
    auto run = m_runs.upper_bound(number);
    if (run == m_runs.begin()) return;
    --run;
    SHORT const first = run->first;
    SHORT const last = run->second;
    if (number > last) return;
    if (number == first && number < last) {
        // The run's first number is the usual one to take: its node moves up one, no allocation.
        auto node = m_runs.extract(run);
        node.key() = static_cast<SHORT>(number + 1);
        m_runs.insert(std::move(node));
        return;
    }
    // The tail is inserted first, so a failure leaves the run whole.
    if (number < last) m_runs.emplace(static_cast<SHORT>(number + 1), last);
    if (number > first)
        run->second = static_cast<SHORT>(number - 1);
    else
        m_runs.erase(run);
}

void FreeProbeNumbers::give_back(SHORT number) {
    if (number < 1) return;
    auto next = m_runs.upper_bound(number);
    if (next != m_runs.begin()) {
        auto previous = std::prev(next);
        if (previous->second >= number) return;  // free already
        if (previous->second == number - 1) {
            previous->second = number;
            if (next != m_runs.end() && next->first == number + 1) {
                previous->second = next->second;
                m_runs.erase(next);
            }
            return;
        }
    }
    if (next != m_runs.end() && next->first == number + 1) {
        m_runs.emplace(number, next->second);
        m_runs.erase(next);
        return;
    }
    m_runs.emplace(number, number);
}

}  // namespace ambivox
