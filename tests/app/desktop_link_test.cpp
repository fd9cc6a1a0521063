// Desktop launchers: which Type=Link ones count and where they lead, and the
// launcher written for a saved profile.
#include "app/cmd_line_info.hpp"
#include "app/desktop_link.hpp"
#include "platform/paths.hpp"
#include "support/desktop_exec.hpp"
#include "support/test_support.hpp"

#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace varnolt {
namespace {

TEST(DesktopLink, ParseTable) {
    const std::string head = "[Desktop Entry]\nType=Link\n";
    const struct {
        std::string text;
        std::optional<std::string> path;
    } cases[] = {
        {head + "URL=file:///home/u/a.txt\n", "/home/u/a.txt"},
        {head + "URL=file://localhost/a.txt", "/a.txt"},
        {head + "URL=file:/a.txt\n", "/a.txt"},
        {"# comment\n\n[Desktop Entry]\r\nName=x\r\nURL = FILE:///a%20b%E9.txt \r\nType=Link\r\n",
         "/a b\xE9.txt"},
        {head + "URL[de]=file:///de.txt\nURL=file:///a\\sb.txt\n", "/a b.txt"},
        // not a link to a local file
        {"[Desktop Entry]\nType=Application\nURL=file:///a.txt\n", std::nullopt},
        {head + "URL=https://example.org/a.txt\n", std::nullopt},
        {head + "URL=file://server/share/a.txt\n", std::nullopt},
        {head + "URL=file:relative.txt\n", std::nullopt},
        {head, std::nullopt},
        {"Type=Link\nURL=file:///a.txt\n", std::nullopt}, // outside any group
        {"[Other]\n[Desktop Entry]\nType=Link\nURL=file:///a.txt\n", std::nullopt},
        {"[Desktop Entry]\nName=x\n[Desktop Action x]\nType=Link\nURL=file:///a.txt\n",
         std::nullopt},
        // malformed: never guess which file was meant
        {head + "URL=file:///a.txt\nURL=file:///b.txt\n", std::nullopt},
        {head + "URL=file:///a%00b.txt\n", std::nullopt},
        {head + "URL=file:///a%2\n", std::nullopt},
        {head + "URL=file:///a%zz\n", std::nullopt},
        {head + "URL=file:///a.txt?x=1\n", std::nullopt},
        {head + "URL=file:///a\\q.txt\n", std::nullopt},
        {head + "garbage line\nURL=file:///a.txt\n", std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ParseDesktopLink(c.text), c.path) << c.text;
    }
}

TEST(DesktopLink, ResolveShortcutFollowsALauncherOnce) {
    namespace fs = std::filesystem;
    test::TempDir dir;
    const std::string root = fs::canonical(dir.Path());
    test::WriteFile(dir / "real.txt", "r");
    const std::string link = "[Desktop Entry]\nType=Link\nURL=file://" + root;
    test::WriteFile(dir / "to-real.desktop", link + "/real.txt\n");
    test::WriteFile(dir / "TO-REAL.DESKTOP", link + "/real.txt\n");
    test::WriteFile(dir / "to-launcher.desktop", link + "/to-real.desktop\n");
    test::WriteFile(dir / "app.desktop", "[Desktop Entry]\nType=Application\nExec=true\n");
    test::WriteFile(dir / "named.txt", link + "/real.txt\n"); // not a launcher by its name
    fs::create_symlink("to-real.desktop", dir / "via-symlink");
    test::WriteFile(dir / "huge.desktop", link + "/real.txt\n" + std::string(100 * 1024, '#'));
    ASSERT_EQ(::mkfifo((dir / "fifo.desktop").c_str(), 0600), 0);

    const struct {
        std::string argument;
        std::string resolved;
    } cases[] = {
        {dir / "to-real.desktop", root + "/real.txt"},
        {dir / "TO-REAL.DESKTOP", root + "/real.txt"},
        {dir / "via-symlink", root + "/real.txt"},
        {dir / "to-launcher.desktop", root + "/to-real.desktop"},
        {dir / "app.desktop", root + "/app.desktop"},
        {dir / "named.txt", root + "/named.txt"},
        {dir / "huge.desktop", root + "/huge.desktop"},
        // read without blocking, and taken as itself
        {dir / "fifo.desktop", root + "/fifo.desktop"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ResolveShortcut(c.argument), c.resolved) << c.argument;
    }
}

// What a desktop reads back from the launcher's Exec line.
std::optional<std::vector<std::string>> ExecArguments(const std::string& launcher) {
    const std::optional<std::string> exec = test::DesktopEntryValue(launcher, "Exec");
    return exec ? test::SplitDesktopExec(*exec) : std::nullopt;
}

TEST(DesktopLauncher, ExecLineGivesBackEveryArgumentExactly) {
    const std::string awkward[] = {
        "/home/u/My Profiles/big5.vnp",
        "/p/say \"hi\" it's.vnp",
        "/p/$HOME and ${x} $(id).vnp",
        "/p/`id`.vnp",
        "/p/back\\slash\\\\two\\.vnp",
        "/p/100% %f %U %%.vnp",
        "/p/tab\there\nnewline\rcr.vnp",
        "/p/; rm -rf ~ | cat > x & #.vnp",
        "/p/\xE6\x97\xA5\xE6\x9C\xAC \xC3\xA9.vnp",
        " leading and trailing blank ",
        "",
    };
    for (const std::string& argument : awkward) {
        SCOPED_TRACE(argument);
        const std::vector<std::string> argv = {"/opt/var nolt/bin/varnolt", "-c", argument};
        const std::optional<std::string> launcher = FormatDesktopLauncher("Varnolt (x)", argv);
        ASSERT_TRUE(launcher);
        EXPECT_EQ(ExecArguments(*launcher), argv) << *launcher;
        // One line per key: no argument may start a line of its own.
        EXPECT_EQ(std::count(launcher->begin(), launcher->end(), '\n'), 5) << *launcher;
    }
    // A launcher must be UTF-8: a path that is not is refused, not mangled.
    EXPECT_FALSE(FormatDesktopLauncher("Varnolt (x)", {"/bin/varnolt", "-c", "/p/\xE9.vnp"}));
    EXPECT_FALSE(FormatDesktopLauncher("Varnolt (\xE9)", {"/bin/varnolt"}));
}

TEST(DesktopLauncher, ProfileShortcutNameExecAndMode) {
    test::TempDir dir;
    const std::string desktop = dir / "Desktop";
    ASSERT_EQ(::mkdir(desktop.c_str(), 0700), 0);
    const std::string profile = dir / "My \"Big5\" $set.vnp";
    const ::mode_t oldMask = ::umask(077); // the launcher's mode does not follow the umask
    const bool written = WriteProfileShortcut(desktop, "/usr/bin/varnolt", profile);
    ::umask(oldMask);
    ASSERT_TRUE(written);

    const std::string path = desktop + "/Varnolt (My \"Big5\" $set).desktop";
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0755u);
    const std::string text = test::ReadFile(path);
    EXPECT_NE(text.find("\nExec=\"/usr/bin/varnolt\" \"-c\" \"" + dir.Path() +
                        "/My \\\\\"Big5\\\\\" \\\\$set.vnp\"\n"),
              std::string::npos)
        << text;
    EXPECT_EQ(test::DesktopEntryValue(text, "Type"), "Application");
    EXPECT_EQ(test::DesktopEntryValue(text, "Name"), "Varnolt (My \"Big5\" $set)");
    EXPECT_EQ(ExecArguments(text), (std::vector<std::string>{"/usr/bin/varnolt", "-c", profile}));
    // Nothing else is left in the folder (no temporary file).
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(desktop),
                            std::filesystem::directory_iterator()),
              1);

    // The desktop's own checker, where it is installed, accepts it.
    if (::access("/usr/bin/desktop-file-validate", X_OK) == 0) {
        const test::ProgramResult check =
            test::RunProgram("/usr/bin/desktop-file-validate", {path});
        EXPECT_EQ(check.exitCode, 0) << check.out << check.err;
    }
}

TEST(DesktopLauncher, ProfileShortcutReplacesTheOldOneAndTakesAnAbsolutePath) {
    test::TempDir dir;
    const std::string desktop = dir / "Desktop";
    ASSERT_EQ(::mkdir(desktop.c_str(), 0700), 0);
    const std::string path = desktop + "/Varnolt (team.north).desktop";
    test::WriteFile(path, "old launcher, mode 0600");
    ASSERT_EQ(::chmod(path.c_str(), 0600), 0);
    ASSERT_EQ(::chdir(dir.Path().c_str()), 0);
    const bool written =
        WriteProfileShortcut(desktop + "/", "/usr/bin/varnolt", "sub/../team.north.vnp");
    ASSERT_EQ(::chdir("/"), 0);
    ASSERT_TRUE(written);
    const std::string text = test::ReadFile(path);
    EXPECT_EQ(ExecArguments(text),
              (std::vector<std::string>{"/usr/bin/varnolt", "-c", dir / "team.north.vnp"}));
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0755u);
}

TEST(DesktopLauncher, NoShortcutWithoutAWritableDesktopFolder) {
    test::TempDir dir;
    const std::string profile = dir / "p.vnp";
    EXPECT_FALSE(WriteProfileShortcut(dir / "missing", "/usr/bin/varnolt", profile));
    EXPECT_FALSE(WriteProfileShortcut("", "/usr/bin/varnolt", profile));
    EXPECT_FALSE(WriteProfileShortcut(dir.Path(), "", profile));
    test::WriteFile(dir / "file", "");
    EXPECT_FALSE(WriteProfileShortcut(dir / "file", "/usr/bin/varnolt", profile));
    // A folder in the way of the launcher's name.
    ASSERT_EQ(::mkdir((dir / "Varnolt (p).desktop").c_str(), 0700), 0);
    EXPECT_FALSE(WriteProfileShortcut(dir.Path(), "/usr/bin/varnolt", profile));
    EXPECT_TRUE(std::filesystem::is_empty(dir / "Varnolt (p).desktop"));
}

} // namespace
} // namespace varnolt
