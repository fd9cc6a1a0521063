// File names that try to break the program or its reports: line breaks,
// leading dashes, bytes outside UTF-8, 255-byte names, paths beyond PATH_MAX.
// Each converts or fails with a clear status, and the console line and the
// log show the name escaped (EscapeForDisplay) without breaking their lines.
#include "platform/text_utf.hpp"
#include "support/run_space.hpp"

#include <algorithm>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace varnolt {
namespace {

const std::string kText = "caf\xE9 na\xEFve\r\n"; // Windows-1252
const std::string kConverted = "caf\xC3\xA9 na\xC3\xAFve\r\n";

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t at = 0;
    for (std::size_t end; (end = text.find('\n', at)) != std::string::npos; at = end + 1) {
        lines.push_back(text.substr(at, end - at));
    }
    return lines;
}

// The number of "File: " lines in the log: one per record, none split.
std::size_t FileLines(const std::string& logPath) {
    const std::string bytes = test::ReadFile(logPath);
    std::u16string text;
    for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) {
        text.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                             (static_cast<unsigned char>(bytes[i + 1]) << 8)));
    }
    // Every line of the log ends in CR LF: a bare LF or CR would be a
    // name breaking the format.
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == u'\n' && (i == 0 || text[i - 1] != u'\r')) {
            ADD_FAILURE() << "bare line feed in the log at unit " << i;
        }
        if (text[i] == u'\r' && (i + 1 == text.size() || text[i + 1] != u'\n')) {
            ADD_FAILURE() << "bare carriage return in the log at unit " << i;
        }
    }
    const std::string utf8 = Utf16ToUtf8(text);
    std::size_t count = 0;
    for (std::size_t at = utf8.find("\r\nFile: "); at != std::string::npos;
         at = utf8.find("\r\nFile: ", at + 1)) {
        ++count;
    }
    return count;
}

TEST(HostileNames, EscapingShowsEveryNameOnOneLineAndIsReversible) {
    const struct {
        std::string raw;
        std::string shown;
    } cases[] = {
        {"plain name.txt", "plain name.txt"},
        {"new\nline.txt", "new\\nline.txt"},
        {"cr\rtab\t.txt", "cr\\rtab\\t.txt"},
        {"back\\slash", "back\\\\slash"},
        {"bad\xFF\xC3(.txt", "bad\\xFF\\xC3(.txt"},
        {"bell\x07\x7F", "bell\\x07\\x7F"},
        {"nel\xC2\x85 ls\xE2\x80\xA8", "nel\\u0085 ls\\u2028"},
        {"\xE6\x97\xA5\xE6\x9C\xAC caf\xC3\xA9", "\xE6\x97\xA5\xE6\x9C\xAC caf\xC3\xA9"},
        {"overlong\xC0\xAF", "overlong\\xC0\\xAF"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(EscapeForDisplay(c.raw), c.shown);
        EXPECT_TRUE(IsWellFormedUtf8(EscapeForDisplay(c.raw)));
    }
}

TEST(HostileNames, EachNameConvertsOrFailsClearlyUnderEveryOption) {
    const std::string longName = std::string(251, 'L') + ".txt"; // 255 bytes
    const std::vector<std::string> names{
        "new\nline.txt",   "-dash.txt", "bad\xFF\xFE name.txt", "cr\r.txt", "back\\slash.txt",
        "\xC2\x85nel.txt", longName,
    };
    for (int option = 0; option <= 2; ++option) {
        SCOPED_TRACE("option " + std::to_string(option));
        test::RunSpace space(false);
        std::filesystem::create_directory(space / "out");
        std::vector<std::string> args;
        for (const auto& name : names) {
            test::WriteFile(space / name, kText);
            args.push_back("./" + name); // "./" keeps a leading dash from being a switch
        }
        static const char* const kPrefix[] = {"_org_", "_u_", "out"};
        space.WriteProfile(test::MakeOptions(
            1252, option, option == 2 ? space / "out" : kPrefix[option], 2, false));
        const auto r = space.Run(args);

        // A prefix makes the 255-byte name too long for the file system: the
        // backup (option 0) or the destination (option 1) cannot be made.
        const std::string longStatus = option == 0   ? test::StatusText(5004)
                                       : option == 1 ? test::StatusText(5007)
                                                     : "OK";
        EXPECT_EQ(r.exitCode, option == 2 ? 0 : 160) << r.err;
        const auto records = test::ReadLogRecords(space.LogPath());
        EXPECT_EQ(records.size(), names.size());
        EXPECT_EQ(FileLines(space.LogPath()), names.size());
        const auto lines = Lines(r.out);
        for (const auto& name : names) {
            const std::string path = space / name;
            const std::string shown = EscapeForDisplay(path);
            const bool isLong = name == longName;
            const std::string expected = isLong ? longStatus : "OK";
            const auto record = std::find_if(records.begin(), records.end(),
                                             [&](const auto& x) { return x.name == shown; });
            ASSERT_NE(record, records.end()) << shown;
            EXPECT_EQ(record->status, expected) << shown;
            // A failed backup names the system's reason after the line.
            const std::string line = shown + (expected == "OK" ? " [ok]" : " [failed]") +
                                     (isLong && option == 0 ? " (File name too long)" : "");
            EXPECT_EQ(std::count(lines.begin(), lines.end(), line), 1) << line << "\n" << r.out;

            const std::string destination = option == 0   ? space / name
                                            : option == 1 ? space / ("_u_" + name)
                                                          : space / ("out/" + name);
            if (expected == "OK") {
                EXPECT_EQ(test::ReadFile(destination), kConverted) << shown;
                if (option == 0) {
                    EXPECT_EQ(test::ReadFile(space / ("_org_" + name)), kText);
                }
            } else {
                EXPECT_EQ(test::ReadFile(path), kText) << shown;
            }
        }
        EXPECT_EQ(test::CountEntries(space.TempFolder()), 0u);
    }
}

TEST(HostileNames, LeadingDashWithoutPathIsASwitchErrorAndTouchesNothing) {
    test::RunSpace space;
    test::WriteFile(space / "-x.txt", kText);
    space.WriteProfile(test::MakeOptions(1252, 0, "_org_", 2, false));
    const auto r = space.Run({"-x.txt"});
    EXPECT_EQ(r.exitCode, 130); // unknown switch
    EXPECT_EQ(test::Snapshot(space.Root()).size(), 1u);
    EXPECT_EQ(test::ReadFile(space / "-x.txt"), kText);
}

TEST(HostileNames, PathLongerThanPathMaxFailsWithAClearStatus) {
    test::RunSpace space;
    // 20 folders of 250 bytes: the file's path is over 5000 bytes, beyond
    // what one system call accepts, though every component is legal.
    const std::string component(250, 'D');
    int dir = ::open(space.Root().c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(dir, 0);
    std::string relative;
    for (int i = 0; i < 20; ++i) {
        ASSERT_EQ(::mkdirat(dir, component.c_str(), 0755), 0);
        const int next = ::openat(dir, component.c_str(), O_RDONLY | O_DIRECTORY);
        ::close(dir);
        ASSERT_GE(next, 0);
        dir = next;
        relative += component + "/";
    }
    const int file = ::openat(dir, "deep.txt", O_WRONLY | O_CREAT, 0644);
    ASSERT_GE(file, 0);
    ASSERT_EQ(::write(file, kText.data(), kText.size()), static_cast<ssize_t>(kText.size()));
    ::close(file);
    relative += "deep.txt";
    const std::string path = space / relative;
    ASSERT_GT(path.size(), 4096u);

    for (int option = 0; option <= 2; ++option) {
        SCOPED_TRACE("option " + std::to_string(option));
        std::filesystem::create_directories(space / "out");
        static const char* const kPrefix[] = {"_org_", "_u_", "out"};
        space.WriteProfile(test::MakeOptions(
            1252, option, option == 2 ? space / "out" : kPrefix[option], 2, false));
        for (const std::string& arg : {path, relative}) {
            const auto r = space.Run({arg});
            EXPECT_EQ(r.exitCode, 160) << r.err;
            const auto records = test::ReadLogRecords(space.LogPath());
            ASSERT_FALSE(records.empty());
            EXPECT_EQ(records.back().name, path);
            EXPECT_EQ(records.back().status, test::StatusText(5000));
            EXPECT_NE(r.out.find(path + " [failed] (File name too long)\n"), std::string::npos)
                << r.out;
        }
        // Nothing was made or changed below the folder.
        const int check = ::open(space.Root().c_str(), O_RDONLY | O_DIRECTORY);
        ASSERT_GE(check, 0);
        ::close(check);
        EXPECT_EQ(test::CountEntries(space / "out"), 0u);
        EXPECT_EQ(test::CountEntries(space.TempFolder()), 0u);
    }
}

} // namespace
} // namespace varnolt
