// Surrogate helpers, the well-formedness test and the Java escape codec.
#include "codecs/java_codec.hpp"

#include <gtest/gtest.h>

namespace varnolt {
namespace {

TEST(Surrogates, SplitAndJoinSupplementaryCodePoints) {
    for (const std::uint32_t c : {0x10000u, 0x1F600u, 0x10FFFFu}) {
        const char16_t high = HighSurrogate(c);
        const char16_t low = LowSurrogate(c);
        EXPECT_TRUE(IsHighSurrogate(high));
        EXPECT_TRUE(IsLowSurrogate(low));
        EXPECT_EQ(CodePointFromSurrogates(high, low), c);
    }
    EXPECT_EQ(HighSurrogate(0x1F600), 0xD83D);
    EXPECT_EQ(LowSurrogate(0x1F600), 0xDE00);
    for (const std::uint32_t c : {0x0u, 0xFFFFu, 0x110000u}) {
        EXPECT_THROW(HighSurrogate(c), CUtfException);
        EXPECT_THROW(LowSurrogate(c), CUtfException);
    }
}

TEST(Surrogates, WellFormedness) {
    struct Case {
        std::u16string text;
        bool wellFormed;
    };
    const Case cases[] = {
        {u"", true},
        {u"abc\u20ac", true},
        {u"\xD83D\xDE00", true},
        {u"\xD83D", false},        // high at the end
        {u"\xD83Dx\xDE00", false}, // high not followed by low
        {u"\xDE00\xD83D", false},  // low first
        {u"a\xDE00", false},       // lone low
        {u"\xD83D\xD83D\xDE00", false},
        {std::u16string(u"ok\0\xDE00", 4), false}, // a NUL does not end the text
    };
    for (const Case& c : cases) {
        EXPECT_EQ(IsWellFormedUtf16(c.text), c.wellFormed) << c.text.size();
    }
}

TEST(JavaCodec, Encode) {
    CJavaCodec codec;
    EXPECT_EQ(codec.Encode(u"\u00e9\u20ac"), u"\u00e9\\u20ac");
    EXPECT_EQ(codec.Encode(u"\U0001F600"), u"\\ud83d\\ude00");
    EXPECT_EQ(codec.Encode(u"a\\u0041\u00ff\u0100"), u"a\\u0041\u00ff\\u0100");
    EXPECT_THROW(codec.Encode(u"x\xDC00y"), CUtfException);
    EXPECT_THROW(codec.Encode(u"x\xD800"), CUtfException);
}

TEST(JavaCodec, Decode) {
    struct Case {
        std::u16string in;
        std::u16string out;
    };
    const Case cases[] = {
        {u"\\u00e9\\u20AC", u"\u00e9\u20ac"},
        {u"\\u12", u"\\u12"},         // too few digits at the end
        {u"\\u12G4", u"\\u12G4"},     // a non-digit ends the attempt
        {u"\\\\u0041", u"\\\\u0041"}, // the second backslash is copied
        {u"\\U0041", u"\\U0041"},     // only a lower-case u
        {u"\\uu0041", u"\\uu0041"},
        {u"\\u004142", u"A42"}, // exactly four digits
        {u"\\", u"\\"},
        {u"a\\u0041\\", u"aA\\"},
        {u"\\ud83d\\ude00", u"\U0001F600"},
        {u"\\u0000", std::u16string(1, u'\0')},
    };
    CJavaCodec codec;
    for (const Case& c : cases) {
        EXPECT_EQ(codec.Decode(c.in), c.out);
    }
    EXPECT_THROW(codec.Decode(u"\\ud83d"), CUtfException);
    EXPECT_THROW(codec.Decode(u"\\ude00\\ud83d"), CUtfException);
    EXPECT_THROW(codec.Decode(u"\xD800"), CUtfException);
}

TEST(JavaCodec, DecodeUndoesEncode) {
    CJavaCodec codec;
    const std::u16string text = u"plain \u00e9 \u4e2d\u6587 \U0001F600 \uFFFF end";
    EXPECT_EQ(codec.Decode(codec.Encode(text)), text);
}

} // namespace
} // namespace varnolt
