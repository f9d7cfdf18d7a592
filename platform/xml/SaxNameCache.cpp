#include "platform/xml/SaxNameCache.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "platform/base/CodePage.h"

namespace ambivox {

namespace {

using sax_detail::split_name;

// Joins namespace URI, local name and prefix in the names expat reports. No XML name or
// namespace name can hold U+0001, so the split is unambiguous.
constexpr char16_t ns_separator16 = u'\x01';

split_name split(std::string_view raw) {
    std::u16string text = widen(raw, CP_UTF8);
    auto const first = text.find(ns_separator16);
    if (first == std::u16string::npos) return {{}, text, std::move(text)};
    split_name out;
    out.uri = text.substr(0, first);
    auto const second = text.find(ns_separator16, first + 1);
    if (second == std::u16string::npos) {
        out.local = text.substr(first + 1);
        out.qname = out.local;
    } else {
        out.local = text.substr(first + 1, second - first - 1);
        out.qname = text.substr(second + 1) + u':' + out.local;
    }
    return out;
}

}  // namespace

split_name const& SaxNameCache::find_or_add(char const* raw) {
    std::string_view const name(raw);
    sax_detail::name_key const key(name);
    std::uint64_t const hash = key.hash();
    if (m_slots.empty()) m_slots.assign(64, nullptr);
    std::size_t const mask = m_slots.size() - 1;
    std::size_t slot = static_cast<std::size_t>(hash) & mask;
    for (; m_slots[slot] != nullptr; slot = (slot + 1) & mask) {
        entry const& e = *m_slots[slot];
        if (e.hash == hash && e.key == key &&
            (key.size <= 16 || std::memcmp(e.raw.data(), raw, key.size) == 0))
            return e.name;
    }
    auto added = std::make_unique<entry>(entry{hash, key, std::string(name), split(name)});
    // Room first, so nothing can fail once the table has changed.
    if (m_entries.size() == m_entries.capacity())
        m_entries.reserve(std::max<std::size_t>(16, m_entries.capacity() * 2));
    if ((m_entries.size() + 1) * 2 > m_slots.size()) {
        grow();
        slot = static_cast<std::size_t>(hash) & (m_slots.size() - 1);
        while (m_slots[slot] != nullptr)
            slot = (slot + 1) & (m_slots.size() - 1);
    }
    m_slots[slot] = added.get();
    m_entries.push_back(std::move(added));
    return m_entries.back()->name;
}

void SaxNameCache::grow() {
    std::vector<entry*> slots(m_slots.size() * 2, nullptr);
    std::size_t const mask = slots.size() - 1;
    for (auto const& e : m_entries) {
        std::size_t slot = static_cast<std::size_t>(e->hash) & mask;
        while (slots[slot] != nullptr)
            slot = (slot + 1) & mask;
        slots[slot] = e.get();
    }
    m_slots.swap(slots);
}

void SaxNameCache::clear() noexcept {
    m_entries.clear();
    std::fill(m_slots.begin(), m_slots.end(), nullptr);
}

}  // namespace ambivox
