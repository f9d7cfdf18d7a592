#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/base/CodePage.h"
#include "platform/xml/SaxNameCache.h"

namespace {

TEST(SaxNameCache, SplitsEachNameOnceAndTellsNearNamesApart) {
    struct row {
        std::string raw;
        std::u16string uri, local, qname;
    } const rows[] = {
        {"Probe", u"", u"Probe", u"Probe"},
        {"Probes", u"", u"Probes", u"Probes"},
        {"urn:a\x01Probe", u"urn:a", u"Probe", u"Probe"},
        {"urn:a\x01Probe\x01p", u"urn:a", u"Probe", u"p:Probe"},
        {"a", u"", u"a", u"a"},
        {"ab", u"", u"ab", u"ab"},
        {"ba", u"", u"ba", u"ba"},
        {"aba", u"", u"aba", u"aba"},
        {"\xC3\xA9t\xC3\xA9", u"", u"\u00E9t\u00E9", u"\u00E9t\u00E9"},
        // Longer than 16 bytes, alike in length and in their first and last eight bytes.
        {"Firmware_Release_Date", u"", u"Firmware_Release_Date", u"Firmware_Release_Date"},
        {"Firmware_XXXXXXX_Date", u"", u"Firmware_XXXXXXX_Date", u"Firmware_XXXXXXX_Date"},
    };
    ambivox::SaxNameCache cache;
    std::vector<ambivox::sax_detail::split_name const*> first;
    for (auto const& r : rows) {
        auto const& name = cache.find_or_add(r.raw.c_str());
        EXPECT_EQ(name.uri, r.uri) << r.raw;
        EXPECT_EQ(name.local, r.local) << r.raw;
        EXPECT_EQ(name.qname, r.qname) << r.raw;
        first.push_back(&name);
    }
    // Many more names make the table grow; the earlier answers stay where they were.
    for (int k = 0; k < 3000; ++k)
        cache.find_or_add(("n" + std::to_string(k)).c_str());
    for (std::size_t i = 0; i < std::size(rows); ++i)
        EXPECT_EQ(&cache.find_or_add(rows[i].raw.c_str()), first[i]) << rows[i].raw;
    EXPECT_EQ(cache.size(), std::size(rows) + 3000);
    cache.clear();
    EXPECT_EQ(cache.size(), 0u);
    EXPECT_EQ(cache.find_or_add("Probe").local, u"Probe");
}

}  // namespace
