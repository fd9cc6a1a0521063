// The update check's version file: which answers count, what is read from
// them, and which download addresses may be opened.
#include "app/version_file.hpp"

#include <gtest/gtest.h>
#include <string>

namespace varnolt {
namespace {

TEST(VersionFile, ParseTable) {
    using namespace std::string_literals;
    const struct {
        std::string bytes;
        std::optional<VersionFileInfo> expected;
    } cases[] = {
        {"VARNOLTUPDATECHECK|514|5.1.4|https://example.org/dl|",
         VersionFileInfo{514, "5.1.4", "https://example.org/dl"}},
        // blanks around the token are ignored; the other fields stay untrimmed
        {" \tVARNOLTUPDATECHECK  | 514 | 5.1.4 |https://e.org/ \r\n",
         VersionFileInfo{514, " 5.1.4 ", "https://e.org/ \r\n"}},
        {"\r\nVARNOLTUPDATECHECK\r\n|513", VersionFileInfo{513, "", ""}},
        // text after a fourth separator is ignored
        {"VARNOLTUPDATECHECK|600|6.0|https://e.org/|extra|more",
         VersionFileInfo{600, "6.0", "https://e.org/"}},
        // the number: a decimal prefix after blanks and a sign
        {"VARNOLTUPDATECHECK|+514abc|v|u", VersionFileInfo{514, "v", "u"}},
        {"VARNOLTUPDATECHECK|-7|v|u", VersionFileInfo{-7, "v", "u"}},
        {"VARNOLTUPDATECHECK|5.1.4|v|u", VersionFileInfo{5, "v", "u"}},
        {"VARNOLTUPDATECHECK|0x600|v|u", VersionFileInfo{0, "v", "u"}},
        {"VARNOLTUPDATECHECK|v514|v|u", VersionFileInfo{0, "v", "u"}},
        {"VARNOLTUPDATECHECK||v|u", VersionFileInfo{0, "v", "u"}},
        {"VARNOLTUPDATECHECK|- 5|v|u", VersionFileInfo{0, "v", "u"}},
        {"VARNOLTUPDATECHECK|99999999999999999999|v|u", VersionFileInfo{2147483647, "v", "u"}},
        {"VARNOLTUPDATECHECK|-99999999999|v|u", VersionFileInfo{-2147483647 - 1, "v", "u"}},
        {"VARNOLTUPDATECHECK", VersionFileInfo{0, "", ""}},
        // a NUL ends the text; bytes that are not UTF-8 become U+FFFD
        {"VARNOLTUPDATECHECK|514|5.1\0.4|https://e.org/|"s, VersionFileInfo{514, "5.1", ""}},
        {"VARNOLTUPDATECHECK|514|caf\xE9|u", VersionFileInfo{514, "caf\xEF\xBF\xBD", "u"}},
        {"VARNOLTUPDATECHECK|514|\xE6\x97\xA5|u", VersionFileInfo{514, "\xE6\x97\xA5", "u"}},
        // the token is exact and case-sensitive, with nothing before it
        {"varnoltupdatecheck|514|5.1.4|https://e.org/", std::nullopt},
        {"VarnoltUpdateCheck|514|5.1.4|https://e.org/", std::nullopt},
        {"version: VARNOLTUPDATECHECK|514|5.1.4|https://e.org/", std::nullopt},
        {"VARNOLTUPDATECHECKS|514|5.1.4|https://e.org/", std::nullopt},
        {"\xEF\xBB\xBFVARNOLTUPDATECHECK|514|5.1.4|https://e.org/", std::nullopt},
        {"\0VARNOLTUPDATECHECK|514"s, std::nullopt},
        {"<html><body>Not Found</body></html>", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.bytes);
        const std::optional<VersionFileInfo> info = ParseVersionFile(c.bytes);
        ASSERT_EQ(info.has_value(), c.expected.has_value());
        if (info) {
            EXPECT_EQ(info->nVersion, c.expected->nVersion);
            EXPECT_EQ(info->strVersion, c.expected->strVersion);
            EXPECT_EQ(info->strDownloadUrl, c.expected->strDownloadUrl);
        }
    }
}

TEST(VersionFile, OnlyWebAddressesMayBeOpened) {
    const struct {
        const char* url;
        bool web;
    } cases[] = {
        {"https://varnolt.example.org/en/download/", true},
        {"http://example.org", true},
        {"HTTPS://Example.org/a?b=c#d", true},
        {"https://user@example.org:8443/x", true},
        {"https://\xE6\x97\xA5.example/", true},
        {"file:///usr/bin/xterm", false},
        {"javascript:alert(1)", false},
        {"/usr/bin/varnolt", false},
        {"setup.exe", false},
        {"ftp://example.org/setup", false},
        {"mailto:a@example.org", false},
        {"https:example.org", false},
        {"https://", false},
        {"https:///etc/passwd", false},
        {"https://:80/", false},
        {" https://example.org/", false},
        {"https://example.org/ x", false},
        {"https://example.org/\r\n", false},
        {"https://example.org/\x7F", false},
        {"", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(IsWebAddress(c.url), c.web) << c.url;
    }
}

} // namespace
} // namespace varnolt
