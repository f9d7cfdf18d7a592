// RecordMap: the probes a reader completes within one unit, keyed by their id.
//
// Probes come by the thousand while their unit is open and are only looked up once it has
// closed, so they are kept by value in blocks and indexed once at the unit's end, rather than
// as a tree node and a heap object each. Blocks, not one growing array: records never move,
// and a large document does not fault in fresh pages for every copy of an ever larger array.
// The blocks double up to a cap, so a unit of one probe costs one record, not a whole block.
// Between two calls of settle the records are only appended and cannot be looked up.
#pragma once

#include <algorithm>
#include <cstddef>
#include <memory>
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
    // A moved map keeps its blocks, so its index stays valid.
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
    void append(Record&& record) {
        if (m_blocks.empty() || m_lastUsed == block_size(m_blocks.size() - 1)) {
            // Each record is assigned before it is read: no need to clear the block first.
            m_blocks.push_back(
                std::make_unique_for_overwrite<Record[]>(block_size(m_blocks.size())));
            m_lastUsed = 0;
        }
        m_blocks.back()[m_lastUsed++] = std::move(record);
    }

    // Indexes every record appended so far. Of records with one id, the one appended last is
    // kept, as if each had replaced the one before. Raises std::bad_alloc.
    void settle() {
        m_index.clear();
        for (std::size_t block = 0; block < m_blocks.size(); ++block) {
            std::size_t const used = block + 1 == m_blocks.size() ? m_lastUsed : block_size(block);
            for (std::size_t n = 0; n < used; ++n) {
                Record const& record = m_blocks[block][n];
                m_index.emplace_back(std::u16string_view(record.id), &record);
            }
        }
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
    static constexpr std::size_t block_size(std::size_t block) noexcept {
        return block < 6 ? std::size_t{1} << block : 64;
    }

    std::vector<std::unique_ptr<Record[]>> m_blocks;
    std::size_t m_lastUsed = 0;  // records in the last block
    std::vector<value_type> m_index;
};

}  // namespace ambivox
