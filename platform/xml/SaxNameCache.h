// SaxNameCache: expat's names, split and in UTF-16, converted once per distinct name.
//
// Every start tag and attribute asks for its name, so a lookup is on the reader's hottest path:
// the table hashes a name from its length and its first and last bytes, in one open-addressed
// array, and compares the whole name only where those agree.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace ambivox {

namespace sax_detail {

// An element or attribute name as the content handler receives it.
struct split_name {
    std::u16string uri;
    std::u16string local;
    std::u16string qname;
};

// A name's length and its first and last bytes, read with loads of a fixed width (overlapping
// for short names), so that neither hashing nor comparing calls into the C library. Names of a
// document differ mostly at their ends ("Probe" and "Probes"); those up to 16 bytes long are
// wholly in the key, longer ones are compared in full once their keys agree.
struct name_key {
    std::size_t size = 0;
    std::uint64_t head = 0;
    std::uint64_t tail = 0;

    name_key() = default;
    explicit name_key(std::string_view name) noexcept : size(name.size()) {
        char const* const p = name.data();
        if (size >= 8) {
            head = load<std::uint64_t>(p);
            tail = load<std::uint64_t>(p + size - 8);
        } else if (size >= 4) {
            head = load<std::uint32_t>(p);
            tail = load<std::uint32_t>(p + size - 4);
        } else if (size > 0) {
            head = static_cast<unsigned char>(p[0]) | static_cast<unsigned char>(p[size / 2]) << 8 |
                   static_cast<unsigned char>(p[size - 1]) << 16;
        }
    }
    std::uint64_t hash() const noexcept {
        std::uint64_t h = (head ^ size * 0x9E3779B97F4A7C15ull) * 0xBF58476D1CE4E5B9ull;
        h = (h ^ (h >> 29) ^ tail) * 0x94D049BB133111EBull;
        return h ^ (h >> 32);
    }
    bool operator==(name_key const&) const noexcept = default;

private:
    template <class Word>
    static Word load(char const* bytes) noexcept {
        Word word;
        std::memcpy(&word, bytes, sizeof word);
        return word;
    }
};

}  // namespace sax_detail

class SaxNameCache {
public:
    // raw: expat's "uri\1local\1prefix", "uri\1local" or "local", zero-terminated. The answer
    // stays put until clear. Raises std::bad_alloc and then holds what it held before.
    sax_detail::split_name const& find_or_add(char const* raw);

    std::size_t size() const noexcept { return m_entries.size(); }
    // Forgets every name; answers given before are then dangling.
    void clear() noexcept;

private:
    struct entry {
        std::uint64_t hash;
        sax_detail::name_key key;
        std::string raw;
        sax_detail::split_name name;
    };

    void grow();

    std::vector<std::unique_ptr<entry>> m_entries;
    // Open addressing, linear probing; a power of two in size, never more than half full.
    std::vector<entry*> m_slots;
};

}  // namespace ambivox
