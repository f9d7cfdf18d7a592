// RecordMap: the records a reader completes (units, or the probes of a unit), keyed by their id.
//
// Records are read far more often than they are made, and made in bulk while one record of an
// enclosing level is open, so they are kept by value in one array and indexed once when that
// level closes, rather than as a tree node and a heap object per record. Between two calls of
// settle the records are only appended and cannot be looked up.
#pragma once

#include <algorithm>
#include <cstddef>
#include <stdexcept>
#include <string_view>
#include <utility>
#include <vector>

namespace ambivox {

template <class Record>
class RecordMap {
public:
    // The id as the key and the record, as a map of records would give them.
    using value_type = std::pair<std::u16string_view, Record const*>;
    using const_iterator = typename std::vector<value_type>::const_iterator;

    RecordMap() = default;
    // A moved map keeps its array, so its index stays valid.
    RecordMap(RecordMap&&) noexcept = default;
    RecordMap& operator=(RecordMap&&) noexcept = default;
    RecordMap(RecordMap const&) = delete;
    RecordMap& operator=(RecordMap const&) = delete;

    // Ordered by id, code unit by code unit ("10" before "2"); one entry per id.
    const_iterator begin() const noexcept { return m_index.begin(); }
    const_iterator end() const noexcept { return m_index.end(); }
    std::size_t size() const noexcept { return m_index.size(); }
    bool empty() const noexcept { return m_index.empty(); }

    const_iterator find(std::u16string_view id) const noexcept {
        auto const found = std::lower_bound(
            m_index.begin(), m_index.end(), id,
            [](value_type const& entry, std::u16string_view key) { return entry.first < key; });
        return found != m_index.end() && found->first == id ? found : m_index.end();
    }
    // Raises std::out_of_range when no record has the id.
    Record const& at(std::u16string_view id) const {
        auto const found = find(id);
        if (found == end()) throw std::out_of_range("no record has that id");
        return *found->second;
    }

    // Adds a record, not yet found by lookups. Raises std::bad_alloc.
    void append(Record&& record) { m_records.push_back(std::move(record)); }

    // Indexes every record appended so far. Of records with one id, the one appended last is
    // kept, as if each had replaced the one before. Raises std::bad_alloc.
    void settle() {
        m_index.clear();
        m_index.reserve(m_records.size());
        for (Record const& record : m_records)
            m_index.emplace_back(std::u16string_view(record.id), &record);
        std::stable_sort(
            m_index.begin(), m_index.end(),
            [](value_type const& a, value_type const& b) { return a.first < b.first; });
        // Keep the last entry of each run of equal ids.
        auto kept = m_index.begin();
        for (auto entry = m_index.begin(); entry != m_index.end(); ++entry) {
            auto const next = std::next(entry);
            if (next != m_index.end() && next->first == entry->first) continue;
            *kept++ = *entry;
        }
        m_index.erase(kept, m_index.end());
    }

private:
    std::vector<Record> m_records;
    std::vector<value_type> m_index;
};

}  // namespace ambivox
