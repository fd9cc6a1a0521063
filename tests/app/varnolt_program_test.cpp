// The real varnolt program: start-up outcomes and exit codes.
#include "support/test_support.hpp"

#include <gtest/gtest.h>

namespace varnolt {
namespace {

TEST(VarnoltProgram, StartUpExitCodes) {
    struct Case {
        std::vector<std::string> args;
        int exitCode;
        const char* err; // all of standard error; %DIR% stands for the run's folder
    };
    const Case cases[] = {
        {{"-u"}, 132, ""},
        {{"-u", "file.txt"}, 132, ""},
        {{"-u", "-c"}, 132, ""},
        {{"-u", "-l"}, 134, ""},
        {{"-u", "-q"}, 130, "varnolt: unknown switch \"-q\"\n"},
        {{"-u", "-c", "p.vnp", "-Zap", "f.txt"}, 130, "varnolt: unknown switch \"-Zap\"\n"},
        {{"-u", "-c", "missing.vnp", "f.txt"},
         140,
         "varnolt: cannot use the profile \"%DIR%/missing.vnp\": it does not exist\n"},
    // Interactive mode ignores parse errors; with no display it cannot
    // show its window and says so.
#ifdef VARNOLT_HAVE_GUI
        {{"-q"},
         1,
         "varnolt: no display to show the main window on (DISPLAY is not set); use -u for a "
         "non-interactive run\n"},
#else
        {{"-q"},
         0,
         "varnolt: the main window is not built yet; use -u for a non-interactive run\n"},
#endif
        {{"--version"}, 0, ""},
    };
    for (const auto& c : cases) {
        test::TempDir dir;
        const auto r = test::RunProgram(VARNOLT_EXE_PATH, c.args, dir.Path(),
                                        {"VARNOLT_SETTINGS=" + (dir / "settings.reg"),
                                         "DISPLAY=", "WAYLAND_DISPLAY=", "QT_QPA_PLATFORM="});
        EXPECT_EQ(r.exitCode, c.exitCode) << c.args.front();
        std::string expected = c.err;
        if (const auto at = expected.find("%DIR%"); at != std::string::npos) {
            expected.replace(at, 5, dir.Path());
        }
        EXPECT_EQ(r.err, expected);
    }
}

// Help and version only as the sole argument; anywhere else the grammar
// decides (an unknown switch).
TEST(VarnoltProgram, HelpAndVersionOnlyAlone) {
    const struct {
        std::vector<std::string> args;
        int exitCode;
        const char* stdoutHas;
    } cases[] = {
        {{"--help"}, 0, "-c cfg-profile"},
        {{"-h"}, 0, "-c cfg-profile"},
        {{"--version"}, 0, "varnolt 5.1.3\n"}, // the release's version, not a copy of the macro
        {{"-u", "-c", "p.vnp", "-h", "a.txt"}, 130, ""},
        {{"-u", "--help", "a.txt"}, 130, ""},
        {{"-u", "a.txt", "--version"}, 130, ""},
    };
    for (const auto& c : cases) {
        test::TempDir dir;
        const auto r = test::RunProgram(VARNOLT_EXE_PATH, c.args, dir.Path(),
                                        {"VARNOLT_SETTINGS=" + (dir / "settings.reg")});
        EXPECT_EQ(r.exitCode, c.exitCode) << c.args.back();
        EXPECT_NE(r.out.find(c.stdoutHas), std::string::npos) << r.out;
        if (c.exitCode != 0) {
            EXPECT_EQ(r.out.find("cfg-profile"), std::string::npos) << r.out;
        }
    }
}

// The settings' version stamp and the update check compare this number with
// the published one; it must be the release's, not a stale copy.
TEST(VarnoltProgram, VersionNumberBelongsToTheRelease) {
    EXPECT_STREQ(VARNOLT_VERSION, "5.1.3");
    EXPECT_EQ(VARNOLT_VERSION_NUMBER, 513);
}

} // namespace
} // namespace varnolt
