// The reader's modes, chunking and failures, and the converter's rules, on real files.
#include "codecs/html_parser.hpp"
#include "codecs/html_processor.hpp"
#include "decode/armscii.hpp"
#include "decode/decode_exceptions.hpp"
#include "decode/decode_test_util.hpp"
#include "decode/pipeline_fixture.hpp"
#include "platform/text_utf.hpp"
#include "settings/app_settings.hpp"
#include "support/test_support.hpp"

#include <gtest/gtest.h>

using namespace std::string_literals;

namespace varnolt {
namespace {

using test::Utf16Be;
using test::Utf16Le;

using test::CPipeline;
using test::FailureMessage;

TEST(SourceFileReader, ReadModeFollowsTheCodePage) {
    EXPECT_EQ(CSourceFileReader::ReadModeOf(1200), CSourceFileReader::kUtf16Le);
    EXPECT_EQ(CSourceFileReader::ReadModeOf(1201), CSourceFileReader::kUtf16Be);
    EXPECT_EQ(CSourceFileReader::ReadModeOf(54936), CSourceFileReader::kGb18030);
    EXPECT_EQ(CSourceFileReader::ReadModeOf(65001), CSourceFileReader::kUtf8);
    EXPECT_EQ(CSourceFileReader::ReadModeOf(932), CSourceFileReader::kGeneric);
    EXPECT_EQ(CSourceFileReader::ReadModeOf(59999), CSourceFileReader::kGeneric);
}

TEST(SourceFileReader, ShiftJisLeadByteAtTheMarkExtendsTheChunkByItsTrail) {
    CPipeline pipeline(932);
    // Byte 8192 (1-based) is the lead byte of U+3042.
    const std::string bytes = std::string(8191, 'a') + "\x82\xA0" + "bc";
    const auto result = pipeline.Convert(bytes);
    ASSERT_TRUE(result.bOk);
    EXPECT_EQ(result.text, std::u16string(8191, u'a') + u"\u3042bc");
    // The first chunk held 8193 bytes (8192 units); the second starts with "b".
    EXPECT_EQ(pipeline.m_sink.m_pieces, (std::vector<std::size_t>{8192, 2}));
}

TEST(SourceFileReader, CutsChunksAtTheMarkAndDropsNulBytes) {
    CPipeline pipeline(1252);
    std::string bytes;
    std::u16string expected;
    for (int i = 0; i < 20000; ++i) {
        bytes += static_cast<char>('a' + i % 26);
        expected += static_cast<char16_t>('a' + i % 26);
        if (i % 7 == 0) {
            bytes += std::string(i % 3 + 1, '\0');
        }
    }
    const auto result = pipeline.Convert(bytes + "\xE9");
    ASSERT_TRUE(result.bOk);
    EXPECT_EQ(result.text, expected + u"\u00E9");
    // NUL bytes do not count: chunks hold 8192 bytes of text.
    EXPECT_EQ(pipeline.m_sink.m_pieces, (std::vector<std::size_t>{8192, 8192, 20001 - 16384}));
}

TEST(SourceFileReader, DoubleByteLeadFollowedByNulFails) {
    CPipeline pipeline(936);
    EXPECT_EQ(FailureMessage(pipeline.Convert("ab\xB0\0cd"s)), kMsgInvalidCharacter);
    // Between characters NUL bytes are dropped.
    const auto ok = pipeline.Convert("\0ab\xB0\xA1\0\0cd"s);
    ASSERT_TRUE(ok.bOk);
    EXPECT_EQ(ok.text, u"ab\u554Acd");
}

TEST(SourceFileReader, Big5FileEndingInALoneLeadByteFails) {
    CPipeline pipeline(950);
    const auto result = pipeline.Convert("abc\xA4\x40\xA4");
    EXPECT_EQ(FailureMessage(result), kMsgInvalidCharacter);
    EXPECT_EQ(pipeline.m_html.m_nFlushes, 0);
}

TEST(SourceFileReader, Utf8Validation) {
    struct Case {
        std::string bytes;
        bool bOk;
        std::u16string text;
    };
    const Case cases[] = {
        {"\xC0\x80", false, u""},
        {"\xC1\xBF", false, u""},
        {"\xE0\x9F\xBF", false, u""},
        {"\xED\xA0\x80", false, u""},
        {"\xF0\x8F\xBF\xBF", false, u""},
        {"ab\xE2\x82", false, u""}, // ends inside a sequence
        {"\x80", false, u""},
        {"\xF8\x88\x80\x80\x80", false, u""},
        {"\xF5\x80\x80\x80", false, u""}, // passes the reader, fails the decoder
        {"\xF4\x90\x80\x80", false, u""}, // above U+10FFFF
        {"\xE2\x82\xAC\0x"s, true, u"\u20ACx"},
        {"\xF0\x9F\x98\x80", true, u"\U0001F600"},
        {"\xEF\xBB\xBFhi", true, u"hi"},
        {"\xF4\x8F\xBF\xBF", true, u"\U0010FFFF"},
    };
    CPipeline pipeline(65001);
    for (const Case& c : cases) {
        const auto result = pipeline.Convert(c.bytes);
        if (c.bOk) {
            EXPECT_TRUE(result.bOk) << test::HexOf(c.bytes);
            EXPECT_EQ(result.text, c.text) << test::HexOf(c.bytes);
        } else {
            EXPECT_EQ(FailureMessage(result), kMsgInvalidCharacter) << test::HexOf(c.bytes);
        }
    }
}

TEST(SourceFileReader, Utf8SequenceAcrossTheMarkStaysWhole) {
    CPipeline pipeline(65001);
    const std::string bytes = std::string(8190, 'a') + "\xF0\x9F\x98\x80" + "\xEF\xBB\xBF" + "z";
    const auto result = pipeline.Convert(bytes);
    ASSERT_TRUE(result.bOk);
    // 8194 bytes in the first chunk; the mark in the second chunk is text.
    EXPECT_EQ(result.text, std::u16string(8190, u'a') + u"\U0001F600\uFEFFz");
    EXPECT_EQ(pipeline.m_sink.m_pieces, (std::vector<std::size_t>{8192, 2}));
}

TEST(SourceFileReader, Gb18030Validation) {
    CPipeline pipeline(54936);
    auto ok = pipeline.Convert("\x81\x30\x81\x30");
    ASSERT_TRUE(ok.bOk);
    EXPECT_EQ(ok.text, u"\u0080");
    EXPECT_EQ(FailureMessage(pipeline.Convert("\x81\x30")), kMsgInvalidCharacter);
    EXPECT_EQ(FailureMessage(pipeline.Convert("\x81\x20")), kMsgInvalidCharacter);
    EXPECT_EQ(FailureMessage(pipeline.Convert("\x81\x30\x20\x30")), kMsgInvalidCharacter);
    EXPECT_EQ(FailureMessage(pipeline.Convert("\x81\x30\x81\x7F")), kMsgInvalidCharacter);
    // Decoded without the strict flag: lone 0x80/0xFF and unassigned
    // four-byte sequences become U+FFFD.
    ok = pipeline.Convert("a\x80\xFF\x84\x31\xA5\x30\x90\x30\x81\x30");
    ASSERT_TRUE(ok.bOk);
    EXPECT_EQ(ok.text, u"a\uFFFD\uFFFD\uFFFD\U00010000");
    // A four-byte character across the mark stays whole (8195-byte chunk).
    ok = pipeline.Convert(std::string(8191, 'a') + "\x81\x30\x81\x30" + "b");
    ASSERT_TRUE(ok.bOk);
    EXPECT_EQ(ok.text, std::u16string(8191, u'a') + u"\u0080b");
    EXPECT_EQ(pipeline.m_sink.m_pieces, (std::vector<std::size_t>{8192, 1}));
}

TEST(SourceFileReader, Utf16Modes) {
    CPipeline le(1200);
    auto result = le.Convert(Utf16Le(u"\uFEFFhi\u0D0A!"));
    ASSERT_TRUE(result.bOk);
    EXPECT_EQ(result.text, u"hi\u0D0A!"); // U+0D0A is a letter, not CR LF

    // NUL units are removed, however many stand in a row.
    result = le.Convert(Utf16Le(std::u16string(u"a\0\0\0b\0", 6)));
    ASSERT_TRUE(result.bOk);
    EXPECT_EQ(result.text, u"ab");

    EXPECT_EQ(FailureMessage(le.Convert(Utf16Le(u"abc") + "x")), kMsgInvalidCharacter);
    EXPECT_TRUE(le.m_sink.m_text.empty()) << "odd length fails before anything is written";
    for (std::u16string bad : {u"a\uFFFF", u"a\uFFFE", u"a\xD800z", u"\xDC00", u"a\xD800"}) {
        EXPECT_EQ(FailureMessage(le.Convert(Utf16Le(bad))), kMsgInvalidCharacter);
    }

    CPipeline be(1201);
    result = be.Convert(Utf16Be(u"\uFEFFh\u00E9\U0001F600"));
    ASSERT_TRUE(result.bOk);
    EXPECT_EQ(result.text, u"h\u00E9\U0001F600");
    // A little-endian mark read as big-endian is U+FFFE: illegal.
    EXPECT_EQ(FailureMessage(be.Convert("\xFF\xFE" + Utf16Le(u"hi"))), kMsgInvalidCharacter);
}

TEST(SourceFileReader, Utf16SurrogatePairAcrossTheBlockBoundary) {
    for (bool bBigEndian : {false, true}) {
        CPipeline pipeline(bBigEndian ? 1201 : 1200);
        auto encode = [&](std::u16string_view t) { return bBigEndian ? Utf16Be(t) : Utf16Le(t); };
        // Unit 8192 (1-based) is a high surrogate: the pair stays in one block.
        std::u16string text = std::u16string(8191, u'x') + u"\U0001F600" + u"yz";
        auto result = pipeline.Convert(encode(text));
        ASSERT_TRUE(result.bOk);
        EXPECT_EQ(result.text, text);
        EXPECT_EQ(pipeline.m_sink.m_pieces, (std::vector<std::size_t>{8193, 2}));
        // Followed by anything else it fails.
        text = std::u16string(8191, u'x') + u"\xD83Dyz";
        EXPECT_EQ(FailureMessage(pipeline.Convert(encode(text))), kMsgInvalidCharacter);
        // A high surrogate that ends the file fails.
        text = std::u16string(8191, u'x') + u"\xD83D";
        EXPECT_EQ(FailureMessage(pipeline.Convert(encode(text))), kMsgInvalidCharacter);
    }
}

TEST(UnicodeConverter, ByteOrderMarkIsDroppedOnlyAtTheStartOfTheFile) {
    CPipeline pipeline(65001);
    auto result = pipeline.Convert("\xEF\xBB\xBF\xEF\xBB\xBFx");
    ASSERT_TRUE(result.bOk);
    EXPECT_EQ(result.text, u"\uFEFFx"); // only the first mark goes
    CPipeline le(1200);
    const std::u16string second = std::u16string(8192, u'a') + u"\uFEFFb";
    result = le.Convert(Utf16Le(u"\uFEFF" + second.substr(1)));
    ASSERT_TRUE(result.bOk);
    EXPECT_EQ(result.text, second.substr(1));
    result = le.Convert(Utf16Le(second));
    ASSERT_TRUE(result.bOk);
    EXPECT_EQ(result.text, second); // the mark at the start of the second block stays
}

TEST(UnicodeConverter, ArmsciiThroughTheWholePipeline) {
    CPipeline pipeline(59999);
    const auto result = pipeline.Convert("\xA8\xC0\xD1\x41\xB2\xB3\xFD\xFE\xFF\xA0\xB1");
    ASSERT_TRUE(result.bOk);
    EXPECT_EQ(result.text, u"\u2015\u0538\u0570A\u0531\u0561\u0586\u055A\u00FF\u00A0\u055E");
}

TEST(UnicodeConverter, ArmsciiToWideCharKeepsItsContract) {
    DecodeError error = DecodeError::kNone;
    char16_t out[8] = {};
    EXPECT_EQ(ArmsciiToWideChar(59999, nullptr, out, 8, error), 0u);
    EXPECT_EQ(error, DecodeError::kInvalidParameter);
    EXPECT_EQ(ArmsciiToWideChar(59999, "abc", nullptr, 0, error),
              4u); // the count, terminator included
    EXPECT_EQ(error, DecodeError::kNone);
    EXPECT_EQ(ArmsciiToWideChar(59999, "abc", out, 3, error), 0u);
    EXPECT_EQ(error, DecodeError::kInsufficientBuffer);
    EXPECT_EQ(ArmsciiToWideChar(59999, "abc", nullptr, 4, error), 0u);
    EXPECT_EQ(error, DecodeError::kInsufficientBuffer);
    EXPECT_EQ(ArmsciiToWideChar(1252, "abc", out, 4, error), 0u);
    EXPECT_EQ(error, DecodeError::kInvalidParameter);
    EXPECT_EQ(ArmsciiToWideChar(59999, "\xA8z", out, 8, error), 3u);
    EXPECT_EQ(std::u16string(out, 3), std::u16string(u"\u2015z\0", 3));
    for (unsigned b = 0; b < 0xA0; ++b) {
        EXPECT_EQ(ArmsciiUnit(static_cast<std::uint8_t>(b)), b);
    }
}

TEST(UnicodeConverter, StatefulDecodersKeepTheirStateAcrossChunks) {
    // HZ: "~{" split by the 8192-byte mark, and a GB pair split by it.
    CPipeline hz(52936);
    auto result = hz.Convert(std::string(8191, 'a') + "~{<V0!~}z");
    ASSERT_TRUE(result.bOk);
    EXPECT_EQ(result.text, std::u16string(8191, u'a') + u"\u8D3E\u554Az");
    result = hz.Convert(std::string(8189, 'a') + "~{<V0!~}z");
    ASSERT_TRUE(result.bOk);
    EXPECT_EQ(result.text, std::u16string(8189, u'a') + u"\u8D3E\u554Az");
    // A new file starts in ASCII mode again.
    result = hz.Convert("<V");
    EXPECT_EQ(result.text, u"<V");

    // ISCII: a script switch just before the mark holds in the next chunk.
    CPipeline iscii(57002);
    result = iscii.Convert(std::string(8190, 'a') + "\xEF\x4B\xA4\x0A\xA4");
    ASSERT_TRUE(result.bOk);
    EXPECT_EQ(result.text, std::u16string(8190, u'a') + u"\u0A05\n\u0905");
    // A rule split by the mark: nukta + consonant gives the precomposed letter.
    result = iscii.Convert(std::string(8191, 'a') + "\xB3\xE9");
    ASSERT_TRUE(result.bOk);
    EXPECT_EQ(result.text, std::u16string(8191, u'a') + u"\u0958");
    // A chunk may need more than the first buffer: the capacity grows and stays.
    EXPECT_GT(iscii.m_converter.Capacity(), CUnicodeConverter::kInitialCapacity);
}

TEST(UnicodeConverter, RetryLoopGivesUpAfterFourAttempts) {
    test::CCollectingSink sink;
    test::CRecordingStatus status;
    CUnicodeConverter converter(sink, nullptr, status);
    std::vector<std::string> reported;
    converter.SetInternalErrorReporter([&](std::string_view t) { reported.emplace_back(t); });
    converter.SetCodePage(57002);
    // ISCII may give two units per byte: 80000 bytes need 160008 units, more
    // than 8196 * 16.
    const std::string big(80000, 'a');
    EXPECT_THROW(
        converter.ConvertChunk(reinterpret_cast<const std::uint8_t*>(big.c_str()), big.size()),
        CMbcsToUnicodeException);
    EXPECT_EQ(reported, std::vector<std::string>{"Unexpected internal Error (101)"});
    EXPECT_EQ(converter.Capacity(), CUnicodeConverter::kInitialCapacity * 16);
}

TEST(UnicodeConverter, UndefinedByteFailsOnlyUnderTheStrictFlag) {
    CPipeline strict(1252);
    EXPECT_EQ(FailureMessage(strict.Convert("abc\x81\x8D")), -1); // defined in 1252 (C1 controls)
    CPipeline thai(874);
    EXPECT_EQ(FailureMessage(thai.Convert("abc\xDB")), kMsgInvalidCharacter);
    CPipeline mac(10000);
    EXPECT_EQ(FailureMessage(mac.Convert("abc\xF0")), kMsgInvalidCharacter);
    CPipeline iscii(57003);
    const auto result = iscii.Convert("\xA4\xFF\xA4");
    ASSERT_TRUE(result.bOk);
    EXPECT_EQ(result.text, u"\u0985\uFFFD\u0985");
}

TEST(SourceFileReader, FileErrorsAreTold) {
    CPipeline pipeline(1252);
    EXPECT_EQ(FailureMessage(pipeline.ConvertPath(pipeline.m_dir / "missing.txt")),
              kMsgSourceReadError);
    EXPECT_EQ(FailureMessage(pipeline.ConvertPath(pipeline.m_dir.Path())), kMsgSourceReadError);
    pipeline.m_sink.m_bFail = true;
    EXPECT_EQ(FailureMessage(pipeline.Convert("text")), kMsgTempAccessFailed);
    CPipeline le(1200);
    le.m_sink.m_bFail = true;
    EXPECT_EQ(FailureMessage(le.Convert(Utf16Le(u"text"))), kMsgTempAccessFailed);
    // The same reader converts the next file.
    pipeline.m_sink.m_bFail = false;
    EXPECT_TRUE(pipeline.Convert("next").bOk);
}

TEST(UnicodeConverter, HtmlFilesGoToTheHtmlStage) {
    CPipeline pipeline(1252);
    pipeline.m_converter.SetHtmlProcessing(true);
    pipeline.m_converter.SetMetaTagOption(true);
    pipeline.m_bHtmlFile = true;
    auto result = pipeline.Convert("<p>caf\xE9</p>", "page.html");
    ASSERT_TRUE(result.bOk);
    EXPECT_TRUE(result.text.empty());
    EXPECT_EQ(pipeline.m_html.m_text, u"<p>caf\u00E9</p>");
    EXPECT_EQ(pipeline.m_html.m_nFlushes, 1);
    ASSERT_EQ(result.status.size(), 1u);
    EXPECT_EQ(result.status[0].nIndex, 7); // the meta processor's log index
    EXPECT_EQ(result.status[0].nLevel, kLevelWarning);
    EXPECT_EQ(result.status[0].nMessage, kMsgNoMetaTag);

    pipeline.m_html.m_bMetaUpdated = true;
    result = pipeline.Convert("<p>x</p>", "page.html");
    EXPECT_TRUE(result.status.empty());

    // Not an HTML file, or HTML work off: straight to the writer.
    pipeline.m_bHtmlFile = false;
    result = pipeline.Convert("plain");
    EXPECT_EQ(result.text, u"plain");
    pipeline.m_bHtmlFile = true;
    pipeline.m_converter.SetHtmlProcessing(false);
    result = pipeline.Convert("plain");
    EXPECT_EQ(result.text, u"plain");
    EXPECT_EQ(pipeline.m_html.m_nFlushes, 2);
}

TEST(UnicodeConverter, IsHtmlFileFollowsTheExtensionList) {
    test::CCollectingSink sink;
    test::CRecordingStatus status;
    CUnicodeConverter converter(sink, nullptr, status);
    for (const char* ext : {"htm", "HTML", "php3", "Asp", "shtml", "phtml"}) {
        EXPECT_TRUE(converter.IsHtmlFile(ext)) << ext;
    }
    for (const char* ext : {"", "txt", "ht", "html5"}) {
        EXPECT_FALSE(converter.IsHtmlFile(ext)) << ext;
    }
    converter.SetHtmlFileExtensions(" .HTM:php ");
    EXPECT_TRUE(converter.IsHtmlFile("htm"));
    EXPECT_TRUE(converter.IsHtmlFile("HTM"));
    EXPECT_TRUE(converter.IsHtmlFile("php"));
    converter.SetHtmlFileExtensions("htm | php");
    EXPECT_FALSE(converter.IsHtmlFile("htm"));
    EXPECT_FALSE(converter.IsHtmlFile("php"));
}

} // namespace
} // namespace varnolt

namespace varnolt {
namespace {

// The real HTML stage behind the converter: text of an HTML file goes through
// the parser and processor, which write to the same writer.
TEST(UnicodeConverter, RoutesHtmlFilesThroughTheRealHtmlStage) {
    test::TempDir dir;
    CAppSettings settings(dir / "settings.reg");
    test::CCollectingSink sink;
    test::CRecordingStatus status;
    CHtmlProcessor processor(sink, settings, true, true);
    CHtmlParser parser(processor);
    CHtmlStage stage(parser, processor);
    CUnicodeConverter converter(sink, &stage, status);
    CSourceFileReader reader(converter, status);
    converter.SetCodePage(1252);
    converter.SetHtmlProcessing(true);
    converter.SetMetaTagOption(true);
    reader.SetCodePage(1252);

    auto convert = [&](const std::string& bytes, const std::string& ext) {
        const std::string path = dir / ("page." + ext);
        test::WriteFile(path, bytes);
        sink.m_text.clear();
        status.m_entries.clear();
        processor.Reset(4);
        parser.Reset(ext);
        converter.StartFile(converter.IsHtmlFile(ext));
        reader.SetLogIndex(4);
        EXPECT_TRUE(reader.Read(path));
        return Utf16ToUtf8(sink.m_text);
    };
    // A head gets the meta tag, entities become characters; a long body puts
    // the 8192-byte mark in the middle of the document.
    const std::string body(10000, 'x');
    std::string out = convert("<html><head><title>caf\xE9 &eacute;</title></head><body>" + body +
                                  "</body></html>",
                              "htm");
    EXPECT_NE(out.find("charset=UTF-8"), std::string::npos);
    EXPECT_NE(out.find("caf\xC3\xA9 \xC3\xA9"), std::string::npos);
    EXPECT_NE(out.find(body + "</body></html>"), std::string::npos);
    EXPECT_TRUE(status.m_entries.empty());
    // A fragment without head or body gets no tag: the warning, at the
    // processor's log index.
    out = convert("<p>caf\xE9</p>", "html");
    EXPECT_EQ(out, "<p>caf\xC3\xA9</p>");
    ASSERT_EQ(status.m_entries.size(), 1u);
    EXPECT_EQ(status.m_entries[0].nIndex, 4);
    EXPECT_EQ(status.m_entries[0].nLevel, kLevelWarning);
    EXPECT_EQ(status.m_entries[0].nMessage, kMsgNoMetaTag);
    // Not an HTML extension: the text goes to the writer as it is.
    out = convert("<p>&eacute;</p>", "txt");
    EXPECT_EQ(out, "<p>&eacute;</p>");
    EXPECT_TRUE(status.m_entries.empty());
}

} // namespace
} // namespace varnolt
