// The HTML stage that passes long pieces on in parts against the stage that
// held every piece whole: the same output, byte for byte, for every option,
// however the text is cut and however soon a piece counts as long; and the
// shapes that used to fill memory are written before the file ends.
#include "../../fuzz/html_reference_stage.hpp"
#include "codecs/html_parser.hpp"
#include "codecs/html_processor.hpp"
#include "output/text_sink.hpp"
#include "platform/text_utf.hpp"
#include "settings/app_settings.hpp"
#include "support/test_support.hpp"

#include <gtest/gtest.h>
#include <random>
#include <string>
#include <vector>

namespace varnolt {
namespace {

class CCollectingSink : public CTextSink {
public:
    void WriteUnicode(std::u16string_view text) override { m_strText.append(text); }
    std::u16string m_strText;
};

struct SOptions {
    const char* extension;
    bool addMeta;
    bool convert;
    bool noComment;
};

std::string Describe(const SOptions& o) {
    return std::string(o.extension) + (o.addMeta ? " meta" : "") + (o.convert ? " entities" : "") +
           (o.noComment ? " no-comment" : "");
}

std::vector<SOptions> AllOptions() {
    std::vector<SOptions> all;
    for (const char* extension : {"html", "php", "asp"}) {
        for (int bits = 0; bits < 8; ++bits) {
            all.push_back({extension, (bits & 1) != 0, (bits & 2) != 0, (bits & 4) != 0});
        }
    }
    return all;
}

std::u16string Repeat(std::string_view unit, std::size_t units) {
    const std::u16string wide = Utf8ToUtf16(std::string(unit));
    std::u16string text;
    while (text.size() < units) {
        text += wide;
    }
    return text;
}

std::u16string U(std::string_view text) {
    return Utf8ToUtf16(std::string(text));
}

class CDifferential {
public:
    CDifferential() : m_settings(m_dir / "settings.reg") {}

    std::u16string Expected(std::u16string_view document, const SOptions& o, bool& metaWritten) {
        m_sink.m_strText.clear();
        m_settings.NoHtmlComment.Set(o.noComment);
        reference_html::CReferenceHtmlProcessor processor(m_sink, m_settings, o.addMeta, o.convert);
        reference_html::CReferenceHtmlParser parser(processor);
        processor.Reset(0);
        parser.Reset(o.extension);
        parser.Feed(document);
        parser.Flush();
        metaWritten = processor.MetaWritten();
        return m_sink.m_strText;
    }

    // `writtenBeforeEnd` receives how much was written before the end of file.
    std::u16string Actual(std::u16string_view document, const SOptions& o, std::size_t longPiece,
                          std::size_t pieceSize, bool& metaWritten,
                          std::size_t* writtenBeforeEnd = nullptr) {
        m_sink.m_strText.clear();
        m_settings.NoHtmlComment.Set(o.noComment);
        CHtmlProcessor processor(m_sink, m_settings, o.addMeta, o.convert);
        CHtmlParser parser(processor);
        parser.SetLongPieceLength(longPiece);
        processor.Reset(0);
        parser.Reset(o.extension);
        for (std::size_t i = 0; i < document.size(); i += pieceSize) {
            parser.Feed(document.substr(i, pieceSize));
        }
        if (writtenBeforeEnd != nullptr) {
            *writtenBeforeEnd = m_sink.m_strText.size();
        }
        parser.Flush();
        metaWritten = processor.MetaWritten();
        return m_sink.m_strText;
    }

    // Every option, every long-piece length and piece size given, against the
    // reference fed in one piece.
    void Check(std::u16string_view document, const std::vector<std::size_t>& longPieces,
               const std::vector<std::size_t>& pieceSizes, const std::string& label) {
        for (const SOptions& o : AllOptions()) {
            bool expectedMeta = false;
            const std::u16string expected = Expected(document, o, expectedMeta);
            for (const std::size_t longPiece : longPieces) {
                for (const std::size_t pieceSize : pieceSizes) {
                    bool meta = false;
                    const std::u16string actual = Actual(document, o, longPiece, pieceSize, meta);
                    if (actual != expected || meta != expectedMeta) {
                        ADD_FAILURE()
                            << label << " [" << Describe(o) << "] long piece " << longPiece
                            << ", pieces of " << pieceSize << ": output differs (" << actual.size()
                            << " against " << expected.size() << " units)";
                        return; // one report per document is enough
                    }
                }
            }
        }
    }

private:
    test::TempDir m_dir;
    CAppSettings m_settings;
    CCollectingSink m_sink;
};

const std::string kHead = "<html><head><title>t</title>";
const std::string kEntities = "caf&eacute; &amp; &#233;&#x10FFFF; &#0000000000065; &#xD800; "
                              "&bogus; &a&eacute; &#&eacute; &;&#x;&#;x&#12a; ";

// Documents in which one piece (comment, tag, script block, text run) is far
// longer than the long-piece lengths the test uses.
std::vector<std::pair<std::string, std::u16string>> LongPieceDocuments(std::size_t n) {
    const std::u16string head = U(kHead);
    const std::u16string entities = Repeat(kEntities, n);
    const std::u16string filler = Repeat("xxxxxxx ", n);
    const std::u16string blanks = Repeat(" \t\r\n", n);
    return {
        {"unclosed comment in the head", head + U("<!-- ") + filler},
        {"unclosed comment ending in >", head + U("<!-- ") + filler + U(">")},
        {"unclosed comment with references", head + U("<!-- ") + filler + entities},
        {"comment with references, closed", head + U("<!-- ") + entities + U(" --></head>x")},
        {"reference cut by the end of a comment", head + U("<!-- ") + filler + U("&eacute")},
        {"huge tag then huge text run",
         head + U("</head><body><p title=\"") + filler + U("\">") + entities + U("</p>")},
        {"huge tag cut off by the end", head + U("</head><body><p title='") + filler + entities},
        {"huge tag cut off inside quotes ending in >",
         head + U("</head><body><p title='") + filler + U(">")},
        {"huge text run before the head", entities + U("<head></head>")},
        {"text run ending in a long numeric reference",
         U("<body>") + filler + U("&#") + Repeat("0", n) + U("233;x")},
        {"text run ending in a long name", U("<body>a&") + Repeat("eacute", n)},
        {"blank-padded head and end of head", U("<html><head") + blanks + U(">") + U("<title") +
                                                  blanks + U(">t</title") + blanks + U("></head") +
                                                  blanks + U("><body>&eacute;")},
        {"long head tag with attributes",
         U("<head profile='") + filler + U("'><meta charset=big5></head>&eacute;")},
        {"long script in the head", head + U("<script") + blanks + U(">") + entities +
                                        U("</script") + blanks +
                                        U("><meta charset=big5></head>&eacute;")},
        {"long script tag outside the head",
         U("<script type='") + filler + U("'>") + entities + U("</script>&eacute;")},
        {"long charset meta in the head",
         head + U("<meta ") + blanks + U("charset=big5 data='") + filler + U("'></head>")},
        {"long content-type meta in the head",
         head + U("<meta content=\"text/html; charset=big5\" x='") + filler +
             U("' http-equiv=Content-Type></head>")},
        {"long meta cut off by the end", head + U("<meta charset=big5 x='") + filler},
        {"long body tag before any head", U("<html><body class='") + filler + U("'>&eacute;")},
        {"long body tag cut off", U("<html><body class='") + filler + entities},
        {"long style and CDATA",
         head + U("<style>") + entities + U("</style><![CDATA[") + entities + U("]]></head>")},
        {"server script blocks",
         U("<head><% ") + entities + U(" %><? ") + entities + U(" ?></head><body>&eacute;")},
        {"unclosed server script block", U("<head><?php ") + entities},
        {"long run of dashes in a comment",
         head + U("<!--") + Repeat("- -- --- ", n) + U("-- ></head>&eacute;")},
    };
}

TEST(HtmlStageDifferential, LongPiecesGiveTheOutputOfWholePieces) {
    CDifferential differential;
    // Short long-piece lengths reach every path with small documents; the
    // documents of the second round are longer than the real length.
    for (const auto& [label, document] : LongPieceDocuments(600)) {
        differential.Check(document, {8, 9, 13, 40, 257}, {1, 7, 100, document.size() + 1}, label);
    }
    for (const auto& [label, document] : LongPieceDocuments(3 * CHtmlParser::kLongPiece)) {
        differential.Check(document, {CHtmlParser::kLongPiece}, {8192, document.size() + 1},
                           label + " (large)");
    }
}

TEST(HtmlStageDifferential, ReferencesAndMetaTagsAtEveryCut) {
    CDifferential differential;
    // Every long-piece length from the smallest up cuts these short texts at
    // every position, inside and around each reference and tag.
    std::vector<std::size_t> everyLength;
    for (std::size_t length = 8; length <= 90; ++length) {
        everyLength.push_back(length);
    }
    differential.Check(U("<body>") + U(kEntities) + U(kEntities), everyLength, {1, 1000},
                       "text run");
    differential.Check(U(kHead + "<!-- ") + U(kEntities), everyLength, {1, 1000},
                       "unclosed comment");
    differential.Check(U("<body><p title='") + U(kEntities), everyLength, {1, 1000},
                       "unclosed tag");

    // The charset meta tag at every position of a small document.
    const std::string base = "<html><head><title>x</title></head><body>caf&eacute;</body></html>";
    for (const std::string meta :
         {"<meta charset=\"big5\">", "<meta http-equiv=\"Content-Type\" "
                                     "content=\"text/html; charset=big5\">"}) {
        for (std::size_t at = 0; at <= base.size(); ++at) {
            const std::string document = base.substr(0, at) + meta + base.substr(at);
            differential.Check(U(document), {8, 16, 33}, {1, 5, document.size() + 1},
                               "meta at " + std::to_string(at));
        }
    }
}

TEST(HtmlStageDifferential, RandomDocuments) {
    static const char* const kTokens[] = {
        "<",
        ">",
        "<!--",
        "-->",
        "-",
        "--",
        "&",
        ";",
        "#",
        "x",
        "&eacute;",
        "&#233;",
        "&#x",
        "&amp;",
        "\"",
        "'",
        " ",
        "\n",
        "\t",
        "<head>",
        "</head>",
        "<HEAD >",
        "<body>",
        "<BODY",
        "<title>",
        "</title>",
        "<script>",
        "</script>",
        "</SCRIPT >",
        "<meta charset=big5>",
        "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=big5\">",
        "<meta ",
        "charset=",
        "<%",
        "%>",
        "<?",
        "?>",
        "é",
        "text ",
        "<p class='a'>",
        "<![CDATA[",
        "]]>",
        "<style>",
        "0",
        "9",
        "a"};
    std::mt19937 random(19);
    CDifferential differential;
    for (int round = 0; round < 300; ++round) {
        std::string document;
        const int count = 1 + static_cast<int>(random() % 120);
        for (int i = 0; i < count; ++i) {
            if (random() % 16 == 0) {
                const std::size_t length = random() % 200;
                document.append(length, "xa- &"[random() % 5]);
            } else {
                document += kTokens[random() % std::size(kTokens)];
            }
        }
        differential.Check(U(document), {8, 11, 30}, {1, 3, document.size() + 1},
                           "random document " + std::to_string(round) + ": " + document);
        if (::testing::Test::HasFailure()) {
            return;
        }
    }
}

// Long pieces whose output does not wait for their end are written while the
// file is read, so the stage holds no more than about one long piece of text.
TEST(HtmlStageDifferential, LongPiecesAreWrittenBeforeTheEnd) {
    const std::size_t n = 8 * CHtmlParser::kLongPiece;
    const std::u16string filler = Repeat("xxxxxxx ", n);
    const std::u16string entities = Repeat(kEntities, n);
    const struct {
        const char* label;
        std::u16string document;
    } cases[] = {
        {"unclosed comment in the head", U(kHead + "<!-- ") + filler},
        {"huge tag", U(kHead + "</head><body><p title=\"") + filler},
        {"huge text run with references", U(kHead + "</head><body>") + entities},
        {"huge server script block", U("<head><% ") + filler},
    };
    CDifferential differential;
    const SOptions options{"asp", true, true, false};
    for (const auto& c : cases) {
        bool expectedMeta = false;
        bool meta = false;
        std::size_t before = 0;
        const std::u16string expected = differential.Expected(c.document, options, expectedMeta);
        const std::u16string actual =
            differential.Actual(c.document, options, CHtmlParser::kLongPiece, 8192, meta, &before);
        EXPECT_EQ(actual, expected) << c.label;
        EXPECT_GE(before + 2 * CHtmlParser::kLongPiece, expected.size())
            << c.label << ": " << before << " of " << expected.size()
            << " units written before the end";
    }
}

} // namespace
} // namespace varnolt
