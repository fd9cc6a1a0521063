// The HTML entity table, its map and the entity codec.
#include "codecs/html_entity_codec.hpp"
#include "codecs/html_entity_table.hpp"
#include "support/test_support.hpp"

#include <gtest/gtest.h>
#include <map>
#include <sstream>

namespace varnolt {
namespace {

TEST(HtmlEntityTable, RecordFormatAndOrder) {
    ASSERT_EQ(kHtmlEntityTableSize, 4125u);
    std::vector<SEntityRecord> records;
    ASSERT_TRUE(ParseEntityTable(kHtmlEntityTable, kHtmlEntityTableSize, records));
    ASSERT_EQ(records.size(), 247u);
    // Ends with a record of twelve zero bytes.
    for (std::size_t i = kHtmlEntityTableSize - 12; i < kHtmlEntityTableSize; ++i) {
        EXPECT_EQ(kHtmlEntityTable[i], 0) << i;
    }
    // Latin-1 in code point order, then symbols and Greek, then specials.
    for (std::size_t i = 0; i < 95; ++i) {
        EXPECT_EQ(records[i].nCode, 161 + i);
    }
    EXPECT_EQ(records[0].strName, "iexcl");
    EXPECT_EQ(records[94].strName, "yuml");
    EXPECT_EQ(records[95].strName, "fnof");
    EXPECT_EQ(records[218].strName, "diams");
    EXPECT_EQ(records[219].strName, "OElig");
    EXPECT_EQ(records[246].strName, "euro");
    EXPECT_EQ(records[246].nCode, 8364u);
    for (const SEntityRecord& r : records) {
        EXPECT_LE(r.strName.size(), 23u);
        EXPECT_NE(r.strName, "nbsp");
        EXPECT_NE(r.strName, "amp");
    }
}

TEST(HtmlEntityTable, DamagedTablesAreRefused) {
    std::vector<SEntityRecord> records;
    // Without its end record.
    EXPECT_FALSE(ParseEntityTable(kHtmlEntityTable, kHtmlEntityTableSize - 12, records));
    // A name that runs past the end.
    const unsigned char tooLong[] = {9, 0, 0, 0, 169, 0, 0, 0, 0, 0, 0, 0, 'c', 'o', 'p', 'y'};
    records.clear();
    EXPECT_FALSE(ParseEntityTable(tooLong, sizeof tooLong, records));
    EXPECT_TRUE(records.empty());
}

// Python's own list of the HTML 4.01 names is the reference.
TEST(HtmlEntityMap, MatchesPythonsHtml401Names) {
    const auto result = test::RunProgram(
        "/usr/bin/env",
        {"python3", "-c",
         "import html.entities as h\nfor n, c in h.name2codepoint.items(): print(n, c)"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    std::map<std::string, std::uint32_t> reference;
    std::istringstream lines(result.out);
    std::string name;
    std::uint32_t code = 0;
    while (lines >> name >> code) {
        reference[name] = code;
    }
    ASSERT_EQ(reference.size(), 252u);

    CHtmlEntityMap map;
    EXPECT_FALSE(map.IsLoaded());
    for (const auto& [refName, refCode] : reference) {
        std::uint32_t found = 0;
        ASSERT_TRUE(map.FindCode(std::u16string(refName.begin(), refName.end()), found)) << refName;
        EXPECT_EQ(found, refCode) << refName;
        const std::u16string* back = map.FindName(refCode);
        ASSERT_NE(back, nullptr);
        EXPECT_EQ(*back, std::u16string(refName.begin(), refName.end()));
    }
    EXPECT_TRUE(map.IsLoaded());
    EXPECT_EQ(map.Size(), 252u);
}

struct DecodeCase {
    std::u16string in;
    std::u16string conversion; // pipeline settings: ASCII references kept
    std::u16string dialog;     // codec dialog: ASCII references decoded
};

TEST(HtmlEntityCodec, Decode) {
    const DecodeCase cases[] = {
        {u"&copy; &#0165;", u"\u00a9 \u00a5", u"\u00a9 \u00a5"},
        {u"&#60;", u"&#60;", u"<"},
        // Escaped markup must not turn into markup in a converted file.
        {u"&lt;b&gt; &amp; &quot;", u"&lt;b&gt; &amp; &quot;", u"<b> & \""},
        {u"&nbsp;&euro;&Omega;&hearts;&perp;", u"\u00a0\u20ac\u03a9\u2665\u22a5",
         u"\u00a0\u20ac\u03a9\u2665\u22a5"},
        {u"&Copy; &COPY;", u"&Copy; &COPY;", u"&Copy; &COPY;"}, // names are case-sensitive
        {u"&copy &copy", u"&copy &copy", u"&copy &copy"},       // no ";"
        {u"&amp&lt;", u"&amp&lt;", u"&amp&lt;"},                // "&" while pending
        {u"&&copy;", u"&&copy;", u"&&copy;"},
        {u"&#x1F600;", u"\U0001F600", u"\U0001F600"},
        {u"&#X20AC;&#x20ac;", u"\u20ac\u20ac", u"\u20ac\u20ac"},
        {u"&#1114111;", u"\U0010FFFF", u"\U0010FFFF"},
        {u"&#1114112;", u"&#1114112;", u"&#1114112;"},
        {u"&#99999999999999999999;", u"&#99999999999999999999;", u"&#99999999999999999999;"},
        {u"&#xFFFFFFFFFF;", u"&#xFFFFFFFFFF;", u"&#xFFFFFFFFFF;"},
        // References to surrogates would make the text ill-formed.
        {u"&#55357;&#xDE00;&#xd800;", u"&#55357;&#xDE00;&#xd800;", u"&#55357;&#xDE00;&#xd800;"},
        {u"&#0;&#x0;&#x;", u"&#0;&#x0;&#x;", u""}, // no digits count as 0
        {u"&#;&#x;", u"&#;&#x;", u"&#;"},
        {u"&#12a;&#xG;", u"&#12a;&#xG;", u"&#12a;&#xG;"},
        {u"&#65;&#x41;", u"&#65;&#x41;", u"AA"},
        {u"&#128;&#xFFFF;", u"\u0080\uFFFF", u"\u0080\uFFFF"},
        {u"&unknown; &;", u"&unknown; &;", u"&unknown; &;"},
        {u"&e\u00e9;", u"&e\u00e9;", u"&e\u00e9;"}, // letters are ASCII only
        {u"tail &", u"tail &", u"tail &"},
        {u"tail &#", u"tail &#", u"tail &#"},
        {u"tail &#x1", u"tail &#x1", u"tail &#x1"},
        {u"tail &copy", u"tail &copy", u"tail &copy"},
        {u"\xD800 &copy;", u"\xD800 \u00a9", u"\xD800 \u00a9"}, // never fails
    };
    CHtmlEntityCodec conversion;
    CHtmlEntityCodec dialog(CHtmlEntityCodec::kDecimal, true, true);
    for (const DecodeCase& c : cases) {
        EXPECT_EQ(conversion.Decode(c.in), c.conversion);
        EXPECT_EQ(dialog.Decode(c.in), c.dialog);
    }
}

TEST(HtmlEntityCodec, EncodeSamplesOfTheOptionsDialog) {
    struct Case {
        std::int32_t form;
        bool names;
        std::u16string out;
    };
    const Case cases[] = {
        {CHtmlEntityCodec::kDecimal, true, u"&euro;&#8486;"},
        {CHtmlEntityCodec::kDecimal, false, u"&#8364;&#8486;"},
        {CHtmlEntityCodec::kHexadecimal, true, u"&euro;&#x2126;"},
        {CHtmlEntityCodec::kHexadecimal, false, u"&#x20ac;&#x2126;"},
    };
    for (const Case& c : cases) {
        CHtmlEntityCodec codec(c.form, c.names, true);
        EXPECT_EQ(codec.Encode(u"\u20ac\u2126"), c.out);
    }
}

TEST(HtmlEntityCodec, Encode) {
    CHtmlEntityCodec names(CHtmlEntityCodec::kDecimal, true, true);
    CHtmlEntityCodec hex(CHtmlEntityCodec::kHexadecimal, false, true);
    EXPECT_EQ(names.Encode(u"<a & b>"), u"&lt;a &amp; b&gt;");
    EXPECT_EQ(names.Encode(u"say \"hi\"'"), u"say &quot;hi&quot;'");
    EXPECT_EQ(names.Encode(u"\u22a5\u00a0\u00e9"), u"&perp;&nbsp;&eacute;");
    EXPECT_EQ(names.Encode(u"\U0001F600"), u"&#128512;");
    EXPECT_EQ(hex.Encode(u"<\U0001F600\u0080"), u"&#x3c;&#x1f600;&#x80;");
    EXPECT_THROW(names.Encode(u"a\xDC00"), CUtfException);
    EXPECT_THROW(hex.Encode(u"\xD800"), CUtfException);
    // A NUL unit does not hide a lone surrogate after it.
    EXPECT_THROW(hex.Encode(std::u16string(u"\0\xD800", 2)), CUtfException);
    EXPECT_EQ(names.Decode(u"&perp;"), u"\u22a5");
}

TEST(HtmlEntityCodec, DialogDecodeUndoesEveryEncoding) {
    std::u16string text = u"x <&> \"q\" \u00a0\u0100\u2126\uFFFD\U0001F600\U0010FFFF ";
    for (char16_t u = 0x80; u < 0x3000; u += 7) {
        text.push_back(u);
    }
    for (const std::int32_t form : {CHtmlEntityCodec::kDecimal, CHtmlEntityCodec::kHexadecimal}) {
        for (const bool names : {false, true}) {
            CHtmlEntityCodec codec(form, names, true);
            EXPECT_EQ(codec.Decode(codec.Encode(text)), text);
        }
    }
}

TEST(HtmlEntityCodec, MapLoadsOnlyWhenANameIsNeeded) {
    CHtmlEntityCodec codec;
    EXPECT_EQ(codec.Decode(u"&#169; plain"), u"\u00a9 plain");
    EXPECT_FALSE(codec.EntityMap().IsLoaded());
    EXPECT_EQ(codec.Decode(u"&reg;"), u"\u00ae");
    EXPECT_TRUE(codec.EntityMap().IsLoaded());
}

} // namespace
} // namespace varnolt
