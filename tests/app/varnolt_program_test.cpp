// The real varnolt program: start-up outcomes and exit codes.
#include "support/test_support.hpp"

#include <gtest/gtest.h>

namespace varnolt {
namespace {

TEST(VarnoltProgram, StartUpExitCodes) {
    struct Case {
        std::vector<std::string> args;
        int exitCode;
        const char* err; // all of standard error
    };
    const Case cases[] = {
        {{"-u"}, 132, ""},
        {{"-u", "file.txt"}, 132, ""},
        {{"-u", "-c"}, 132, ""},
        {{"-u", "-l"}, 134, ""},
        {{"-u", "-q"}, 130, ""},
        {{"-u", "-c", "missing.vnp", "f.txt"}, 140, ""},
        // Interactive mode ignores parse errors.
        {{"-q"},
         0,
         "varnolt: the main window is not built yet; use -u for a non-interactive run\n"},
        {{"--version"}, 0, ""},
    };
    for (const auto& c : cases) {
        test::TempDir dir;
        const auto r = test::RunProgram(VARNOLT_EXE_PATH, c.args, dir.Path(),
                                        {"VARNOLT_SETTINGS=" + (dir / "settings.reg")});
        EXPECT_EQ(r.exitCode, c.exitCode) << c.args.front();
        EXPECT_EQ(r.err, c.err);
    }
}

TEST(VarnoltProgram, HelpPrintsUsage) {
    test::TempDir dir;
    const auto r = test::RunProgram(VARNOLT_EXE_PATH, {"--help"}, dir.Path(),
                                    {"VARNOLT_SETTINGS=" + (dir / "settings.reg")});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_NE(r.out.find("-c cfg-profile"), std::string::npos);
}

} // namespace
} // namespace varnolt
