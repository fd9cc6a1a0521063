// The HTML stage: lexer, head tracking, charset meta tag, entity conversion.
#include "codecs/html_parser.hpp"
#include "codecs/html_processor.hpp"
#include "output/text_sink.hpp"
#include "platform/text_utf.hpp"
#include "settings/app_settings.hpp"
#include "support/test_support.hpp"

#include <gtest/gtest.h>
#include <stdexcept>

namespace varnolt {
namespace {

class CCollectingSink : public CTextSink {
public:
    void WriteUnicode(std::u16string_view text) override { m_strText.append(text); }
    std::u16string m_strText;
};

struct StageOptions {
    std::string extension = "html";
    bool addMetaTag = true;
    bool convertEntities = false;
    bool noHtmlComment = false;
};

struct StageResult {
    std::string text; // UTF-8 for readable comparisons
    bool metaWritten = false;
    bool done = false;
};

// One worker's HTML stage with its own settings file.
class CStage {
public:
    explicit CStage(const StageOptions& options)
        : m_settings(m_dir / "settings.reg"),
          m_processor(m_sink, m_settings, options.addMetaTag, options.convertEntities),
          m_parser(m_processor), m_options(options) {
        m_settings.NoHtmlComment.Set(options.noHtmlComment);
    }

    // Feeds the document in pieces of `pieceSize` units (0: all at once).
    StageResult Run(const std::u16string& document, std::size_t pieceSize = 0) {
        m_sink.m_strText.clear();
        m_processor.Reset(7);
        m_parser.Reset(m_options.extension);
        if (pieceSize == 0) {
            pieceSize = document.size() + 1;
        }
        for (std::size_t i = 0; i < document.size(); i += pieceSize) {
            m_parser.Feed(std::u16string_view(document).substr(i, pieceSize));
        }
        m_parser.Flush();
        return {Utf16ToUtf8(m_sink.m_strText), m_processor.MetaWritten(), m_parser.IsDone()};
    }

    CAppSettings& Settings() { return m_settings; }
    CHtmlProcessor& Processor() { return m_processor; }

private:
    test::TempDir m_dir;
    CCollectingSink m_sink;
    CAppSettings m_settings;
    CHtmlProcessor m_processor;
    CHtmlParser m_parser;
    StageOptions m_options;
};

StageResult RunStage(const std::string& document, const StageOptions& options) {
    CStage stage(options);
    return stage.Run(Utf8ToUtf16(document));
}

const std::string kMeta =
    "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=UTF-8\" />";
const std::string kAdded = "\r\n<!-- * Begin * Added by Varnolt -->\r\n" + kMeta +
                           "\r\n<!-- *  End  * Added by Varnolt -->\r\n\r\n";
const std::string kAddedHead = "\r\n<!-- * Begin * Added by Varnolt -->\r\n<head>" + kMeta +
                               "</head>\r\n<!-- *  End  * Added by Varnolt -->\r\n\r\n";
std::string Removed(const std::string& tag) {
    return "\r\n<!-- * Begin * Removed by Varnolt -->\r\n<!-- " + tag +
           " -->\r\n<!-- *  End  * Removed by Varnolt -->\r\n\r\n";
}

// The example of a head with an old big5 meta tag, byte for byte.
TEST(HtmlStage, ReplacesTheCharsetMetaTagOfTheHead) {
    const std::string document = "<html>\r\n"
                                 "<head>\r\n"
                                 "<meta http-equiv=\"Content-Type\" content=\"text/html; "
                                 "charset=big5\">\r\n"
                                 "</head>\r\n"
                                 "<body>&copy;</body>\r\n"
                                 "</html>\r\n";
    const std::string expected =
        "<html>\r\n"
        "<head>"
        "\r\n<!-- * Begin * Added by Varnolt -->\r\n"
        "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=UTF-8\" />"
        "\r\n<!-- *  End  * Added by Varnolt -->\r\n\r\n"
        "\r\n"
        "\r\n<!-- * Begin * Removed by Varnolt -->\r\n<!-- "
        "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=big5\">"
        " -->\r\n<!-- *  End  * Removed by Varnolt -->\r\n\r\n"
        "\r\n"
        "</head>\r\n"
        "<body>&copy;</body>\r\n"
        "</html>\r\n";
    const StageResult result = RunStage(document, {});
    EXPECT_EQ(result.text, expected);
    EXPECT_TRUE(result.metaWritten);
    EXPECT_TRUE(result.done);
}

struct DocumentCase {
    const char* name;
    StageOptions options;
    std::string in;
    std::string out;
    bool metaWritten;
};

TEST(HtmlStage, Documents) {
    const std::string shiftJis =
        "<META HTTP-EQUIV=\"CONTENT-TYPE\" CONTENT=\"TEXT/HTML; CHARSET=Shift_JIS\">";
    const std::string entityDoc = "<html><head><title>A &copy; B</title>"
                                  "<script>var s = \"&copy;\";</script></head>"
                                  "<body title=\"&copy;\">&copy; &lt; &#60; &eacute;<!-- &copy; -->"
                                  "<b>&copy;</b><script>x = \"&copy;\"</script>&copy;"
                                  "<% if a > b then s = \"&copy;\" %></body></html>";
    const DocumentCase cases[] = {
        {"head with attributes is the head: its old charset meta goes",
         {},
         "<html><head profile=\"p\">" + shiftJis + "<title>t</title></head>\n<body>x</body>",
         "<html><head profile=\"p\">" + kAdded + Removed(shiftJis) +
             "<title>t</title></head>\n<body>x</body>",
         true},
        {"head with a language is the head too",
         {},
         "<head lang=\"en\"><meta charset=\"big5\"></head><body>",
         "<head lang=\"en\">" + kAdded + Removed("<meta charset=\"big5\">") + "</head><body>",
         true},
        {"header and headline are not heads: a head block goes before the body",
         {},
         "<header><meta charset=big5></header><HEADLINE>" + shiftJis + "</HEADLINE><body>",
         "<header><meta charset=big5></header><HEADLINE>" + shiftJis + "</HEADLINE>" + kAddedHead +
             "<body>",
         true},
        {"both charset forms in the head are taken out, each in place",
         {},
         "<head>\n" + shiftJis + "\n<meta charset=\"Shift_JIS\">\n</head>",
         "<head>" + kAdded + "\n" + Removed(shiftJis) + "\n" +
             Removed("<meta charset=\"Shift_JIS\">") + "\n</head>",
         true},
        {"a short charset tag is taken out whatever its spelling or value",
         {},
         "<head><meta charset=\"utf-8\"><META CHARSET = big5 ><meta\ncharset='koi8-r'/>"
         "<meta name=\"x\" charset=\"gbk\"></head><body><meta charset=\"big5\">",
         "<head>" + kAdded + Removed("<meta charset=\"utf-8\">") +
             Removed("<META CHARSET = big5 >") + Removed("<meta\ncharset='koi8-r'/>") +
             Removed("<meta name=\"x\" charset=\"gbk\">") + "</head><body><meta charset=\"big5\">",
         true},
        {"charset only as a word in another attribute, or in a longer name, stays",
         {},
         "<head><meta name=\"a\" content=\"charset=big5\"><meta content='x charset=big5'>"
         "<meta data-charset=\"big5\"><metadata charset=\"big5\"><meta charset></head>",
         "<head>" + kAdded +
             "<meta name=\"a\" content=\"charset=big5\"><meta content='x charset=big5'>"
             "<meta data-charset=\"big5\"><metadata charset=\"big5\"><meta charset></head>",
         true},
        {"NoHtmlComment drops both charset forms",
         {.noHtmlComment = true},
         "<head>" + shiftJis + "<meta charset=\"big5\"></head>",
         "<head>" + kMeta + "</head>",
         true},
        {"no head: a head block before the body tag",
         {},
         "<html>\n<BODY class=\"a\">x</BODY>",
         "<html>\n" + kAddedHead + "<BODY class=\"a\">x</BODY>",
         true},
        {"neither head nor body",
         {},
         "<p>fragment <i>only</i></p>",
         "<p>fragment <i>only</i></p>",
         false},
        {"head in lower case with a blank and a line break before the bracket",
         {},
         "<head \n>\n</head >x",
         "<head \n>" + kAdded + "\n</head >x",
         true},
        {"upper-case double-quoted Shift_JIS meta",
         {},
         "<HEAD>\r\n" + shiftJis + "\r\n</HEAD><BODY>",
         "<HEAD>" + kAdded + "\r\n" + Removed(shiftJis) + "\r\n</HEAD><BODY>",
         true},
        {"NoHtmlComment drops the old tag and adds the bare new one",
         {.noHtmlComment = true},
         "<HEAD>\r\n" + shiftJis + "\r\n</HEAD><BODY>",
         "<HEAD>" + kMeta + "\r\n\r\n</HEAD><BODY>",
         true},
        {"NoHtmlComment with no head",
         {.noHtmlComment = true},
         "<body>x",
         "<head>" + kMeta + "</head><body>x",
         true},
        {"meta tag forms",
         {.noHtmlComment = true},
         "<head>"
         "<meta http-equiv='content-type' content='text/html;charset=big5'>"
         "<meta\thttp-equiv=Content-Type\ncontent=\"text/html; charset=UTF-8\" />"
         "<meta content=\"text/html; charset=koi8-r\" http-equiv=Content-Type>"
         "<meta content=\"text/html;charset=x\" http-equiv=content-type >"
         "<meta content=\"text/html; charset=big5\" http-equiv=\"Content-Type\">"
         "<meta name=\"keywords\" content=\"text/html; charset=big5\">"
         "<script>d.write(\"<meta http-equiv='Content-Type' content='text/html; charset=x'>\")"
         "</script></head>"
         "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=big5\">",
         "<head>" + kMeta +
             "<meta content=\"text/html; charset=big5\" http-equiv=\"Content-Type\">"
             "<meta name=\"keywords\" content=\"text/html; charset=big5\">"
             "<script>d.write(\"<meta http-equiv='Content-Type' content='text/html; "
             "charset=x'>\")"
             "</script></head>"
             "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=big5\">",
         true},
        {"without the meta option old tags stay",
         {.addMetaTag = false},
         "<head>" + shiftJis + "<meta charset=\"big5\"></head><body>",
         "<head>" + shiftJis + "<meta charset=\"big5\"></head><body>",
         false},
        {"entity conversion in title and body text only",
         {.addMetaTag = false, .convertEntities = true},
         entityDoc,
         "<html><head><title>A \u00a9 B</title>"
         "<script>var s = \"&copy;\";</script></head>"
         "<body title=\"&copy;\">\u00a9 &lt; &#60; \u00e9<!-- &copy; -->"
         "<b>\u00a9</b><script>x = \"&copy;\"</script>\u00a9"
         "<% if a > b then s = \"\u00a9\" %></body></html>",
         false},
        {"entity conversion in an ASP file leaves script blocks alone",
         {.extension = "ASP", .addMetaTag = false, .convertEntities = true},
         entityDoc,
         "<html><head><title>A \u00a9 B</title>"
         "<script>var s = \"&copy;\";</script></head>"
         "<body title=\"&copy;\">\u00a9 &lt; &#60; \u00e9<!-- &copy; -->"
         "<b>\u00a9</b><script>x = \"&copy;\"</script>\u00a9"
         "<% if a > b then s = \"&copy;\" %></body></html>",
         false},
        {"entity conversion with the meta tag",
         {.convertEntities = true},
         "<head><title>&euro;</title></head><body>&euro;</body>",
         "<head>" + kAdded + "<title>\u20ac</title></head><body>\u20ac</body>",
         true},
        {"a PHP block holding '>' is one markup piece",
         {.extension = "php", .addMetaTag = false, .convertEntities = true},
         "<p><?php if ($a > 1) echo \"&copy;\"; ?>&copy;<% if (b > 2) \"&reg;\" %></p>",
         "<p><?php if ($a > 1) echo \"&copy;\"; ?>\u00a9<% if (b > 2) \"&reg;\" %></p>",
         false},
        {"in a plain HTML file the first '>' ends the piece",
         {.addMetaTag = false, .convertEntities = true},
         "<p><?php if ($a > 1) echo \"&copy;\"; ?>&copy;</p>",
         "<p><?php if ($a > 1) echo \"\u00a9\"; ?>\u00a9</p>",
         false},
        {"after the head without entity conversion everything passes",
         {},
         "<head></head><title>x</title>&copy;"
         "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=big5\">",
         "<head>" + kAdded +
             "</head><title>x</title>&copy;"
             "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=big5\">",
         true},
        {"unclosed markup at the end of the file is written as it is",
         {.addMetaTag = false, .convertEntities = true},
         "a &copy; <!-- b &copy; --",
         "a \u00a9 <!-- b \u00a9 --", // not a markup piece: it never ended
         false},
        {"a second head after the first gets no second tag",
         {.convertEntities = true},
         "<head></head><HEAD><meta http-equiv=\"content-type\" content=\"text/html; "
         "charset=x\"></HEAD>",
         "<head>" + kAdded + "</head><HEAD>" +
             Removed("<meta http-equiv=\"content-type\" content=\"text/html; charset=x\">") +
             "</HEAD>",
         true},
    };
    for (const DocumentCase& c : cases) {
        const StageResult result = RunStage(c.in, c.options);
        EXPECT_EQ(result.text, c.out) << c.name;
        EXPECT_EQ(result.metaWritten, c.metaWritten) << c.name;
    }
}

TEST(HtmlStage, StopsCuttingOnceTheHeadIsDone) {
    CStage stage({});
    EXPECT_TRUE(stage.Run(u"<head></head>rest").done);
    EXPECT_EQ(stage.Processor().Stage(), CHtmlProcessor::kPassThrough);
    // With entity conversion the lexer runs to the end of the file.
    CStage converting({.convertEntities = true});
    EXPECT_FALSE(converting.Run(u"<head></head>rest").done);
    EXPECT_EQ(converting.Processor().Stage(), CHtmlProcessor::kOutsideHead);
    EXPECT_FALSE(converting.Processor().MetaTagMissing());
    EXPECT_EQ(converting.Processor().LogIndex(), 7);
}

TEST(HtmlStage, NoHtmlCommentIsReadWhenTheTagIsWritten) {
    CStage stage({});
    EXPECT_EQ(stage.Run(u"<body>").text, kAddedHead + "<body>");
    stage.Settings().NoHtmlComment.Set(true);
    EXPECT_EQ(stage.Run(u"<body>").text, "<head>" + kMeta + "</head><body>");
}

TEST(HtmlStage, NothingCarriesOverToTheNextFile) {
    const std::u16string next = u"<head>\n</head>&copy;";
    for (const bool convert : {false, true}) {
        CStage fresh({.convertEntities = convert});
        const StageResult expected = fresh.Run(next);
        CStage reused({.convertEntities = convert});
        // Files that end in the middle of a comment, a quoted value, a script
        // element, or after the head.
        for (const std::u16string first :
             {u"<head><!-- open", u"<head><a href=\"x", u"<script>x", u"<head></head>x"}) {
            reused.Run(first);
            const StageResult result = reused.Run(next);
            EXPECT_EQ(result.text, expected.text);
            EXPECT_EQ(result.metaWritten, expected.metaWritten);
        }
    }
}

class CFailingSink : public CTextSink {
public:
    void WriteUnicode(std::u16string_view text) override {
        if (m_bFail) {
            throw std::runtime_error("disk full");
        }
        m_strText.append(text);
    }
    bool m_bFail = true;
    std::u16string m_strText;
};

TEST(HtmlStage, AWriterFailurePassesUpAndTheNextFileStartsClean) {
    test::TempDir dir;
    CAppSettings settings(dir / "settings.reg");
    CFailingSink sink;
    CHtmlProcessor processor(sink, settings, true, true);
    CHtmlParser parser(processor);
    processor.Reset(1);
    parser.Reset("htm");
    EXPECT_THROW(
        {
            parser.Feed(u"<html><head><title>&copy;</title>");
            parser.Feed(u"</head>");
            parser.Flush();
        },
        std::runtime_error);
    sink.m_bFail = false;
    processor.Reset(2);
    parser.Reset("htm");
    parser.Feed(u"<body>&copy;");
    parser.Flush();
    EXPECT_EQ(Utf16ToUtf8(sink.m_strText), kAddedHead + "<body>\u00a9");
    EXPECT_EQ(processor.LogIndex(), 2);
}

// The output must not depend on how the converter cuts the text.
TEST(HtmlStage, EveryPieceSizeGivesTheSameOutput) {
    const std::string documents[] = {
        "<html>\r\n<HEAD>\r\n<title>&copy; 2026 &amp co</title>\r\n"
        "<META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; charset=big5\">\r\n"
        "<script>if (a<b && c>d) x = '&lt;';</script>\r\n</HEAD >\r\n"
        "<body bgcolor='#fff'>&euro;&#8364;&#x20AC;<!-- -- &copy; --->"
        "<b>x</b><a href=\"?a=1&amp;b='2'\">&hearts;</a>"
        "<% a = \"%>\" %><? echo 1 ?></body></html>\r\n",
        "text &copy; <p>no head <body class=x>&reg;</body>",
        "<<>><!--><!---><!----><''><\"'><a '>'>&#1114112;&#55296;<b>",
    };
    for (const std::string& document : documents) {
        const std::u16string text = Utf8ToUtf16(document);
        for (const char* extension : {"htm", "asp", "php"}) {
            for (const bool addMeta : {false, true}) {
                for (const bool convert : {false, true}) {
                    StageOptions options{extension, addMeta, convert, false};
                    CStage stage(options);
                    const StageResult whole = stage.Run(text);
                    if (!addMeta && !convert) {
                        EXPECT_EQ(whole.text, document);
                    }
                    for (std::size_t size = 1; size <= text.size(); ++size) {
                        const StageResult pieces = stage.Run(text, size);
                        ASSERT_EQ(pieces.text, whole.text) << extension << " size " << size;
                        ASSERT_EQ(pieces.metaWritten, whole.metaWritten);
                    }
                }
            }
        }
    }
}

} // namespace
} // namespace varnolt
