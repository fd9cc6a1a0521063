// Encoding catalogue look-ups.
#include "settings/encoding_catalogue.hpp"

#include <algorithm>
#include <gtest/gtest.h>
#include <set>

namespace varnolt {
namespace {

TEST(EncodingCatalogue, EntriesAndLookups) {
    EXPECT_EQ(EncodingCatalogue::Count(), 51);
    EXPECT_EQ(EncodingCatalogue::Entry(0).nCodePage, 1252);
    EXPECT_EQ(EncodingCatalogue::Entry(0).strName, "Western (Windows Char. Set)");
    EXPECT_EQ(EncodingCatalogue::Entry(41).nCodePage, 57003);
    EXPECT_EQ(EncodingCatalogue::Entry(41).strName, "ISCII Bengali");
    EXPECT_EQ(EncodingCatalogue::Entry(50).strName, "ArmSCII-8");

    struct Case {
        int codePage;
        int index;
    };
    for (const Case c : {Case{65001, 4}, Case{1200, 5}, Case{1201, 6}, Case{59999, 50},
                         Case{1254, 39}, Case{1259, -1}, Case{0, -1}}) {
        EXPECT_EQ(EncodingCatalogue::IndexOf(c.codePage), c.index) << c.codePage;
    }

    std::set<int> seen;
    for (int i = 0; i < EncodingCatalogue::Count(); ++i) {
        const auto& e = EncodingCatalogue::Entry(i);
        EXPECT_TRUE(seen.insert(e.nCodePage).second) << "duplicate " << e.nCodePage;
        EXPECT_EQ(EncodingCatalogue::IndexOf(e.nCodePage), i);
        EXPECT_TRUE(EncodingCatalogue::IsUsable(e.nCodePage)) << e.nCodePage;
        EXPECT_FALSE(e.strName.empty());
    }
}

TEST(EncodingCatalogue, UsabilityOutsideTheCatalogue) {
    EXPECT_TRUE(EncodingCatalogue::IsUsable(59999));
    EXPECT_FALSE(EncodingCatalogue::IsValidCodePage(59999)) << "no platform code page";
    EXPECT_FALSE(EncodingCatalogue::IsUsable(1259));
    EXPECT_FALSE(EncodingCatalogue::IsUsable(-1));
}

TEST(EncodingCatalogue, UnicodeFormats) {
    ASSERT_EQ(EncodingCatalogue::FormatCount(), 3);
    EXPECT_EQ(EncodingCatalogue::Format(0).strName, "Unicode (UTF-16)");
    EXPECT_EQ(EncodingCatalogue::Format(1).strTooltip, "Plain Text File on MacOS");
    EXPECT_EQ(EncodingCatalogue::Format(2).strName, "UTF-8");
    EXPECT_EQ(EncodingCatalogue::Format(2).strTooltip, "HTML based files (e.g. .html, .asp, .php)");
}

// Every entry can be named, every name leads back to its entry, and a name
// shared by two entries is shared on purpose (it then lists both).
TEST(EncodingCatalogue, LabelsNameTheirCodePage) {
    std::set<std::string_view> all;
    for (int i = 0; i < EncodingCatalogue::Count(); ++i) {
        const std::int32_t codePage = EncodingCatalogue::Entry(i).nCodePage;
        const auto labels = EncodingCatalogue::Labels(codePage);
        EXPECT_FALSE(labels.empty()) << codePage;
        for (const std::string_view label : labels) {
            all.insert(label);
            const auto found = EncodingCatalogue::CodePagesForLabel(label);
            EXPECT_NE(std::find(found.begin(), found.end(), codePage), found.end()) << label;
            EXPECT_EQ(label.find_first_of("ABCDEFGHIJKLMNOPQRSTUVWXYZ \t"), std::string_view::npos)
                << label;
            // A label that is all digits would shadow a code page number.
            EXPECT_NE(label.find_first_not_of("0123456789"), std::string_view::npos) << label;
        }
    }
    std::set<std::string_view> shared;
    for (const std::string_view label : all) {
        if (EncodingCatalogue::CodePagesForLabel(label).size() > 1) {
            shared.insert(label);
        }
    }
    EXPECT_EQ(shared.count("latin1"), 1u);
    EXPECT_EQ(shared.count("utf-16"), 1u);
    EXPECT_EQ(shared.count("windows-1252"), 0u);
    EXPECT_TRUE(EncodingCatalogue::Labels(1259).empty());
    EXPECT_TRUE(EncodingCatalogue::CodePagesForLabel("").empty());
}

} // namespace
} // namespace varnolt
