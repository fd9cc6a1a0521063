// Desktop launchers of Type=Link: what counts as one and where it leads.
#include "app/cmd_line_info.hpp"
#include "app/desktop_link.hpp"
#include "platform/paths.hpp"
#include "support/test_support.hpp"

#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>

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

} // namespace
} // namespace varnolt
