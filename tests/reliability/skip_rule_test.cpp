// Two sources of one name from different folders meeting in one output folder
// while workers convert them at the same moment: under the Skip rule the first
// to arrive keeps the name and the other is refused, never silently replaced.
#include "platform/text_utf.hpp"
#include "support/run_space.hpp"

#include <filesystem>
#include <gtest/gtest.h>

namespace varnolt {
namespace {

TEST(SkipRule, SameNamedSourcesInParallelGiveOneResultAndOneRefusal) {
    constexpr int kPairs = 400;
    test::RunSpace space(/*singleThread=*/false);
    for (const char* folder : {"a", "b", "out"}) {
        std::filesystem::create_directory(space / folder);
    }
    auto name = [](int i) {
        std::string digits = std::to_string(i);
        return "f" + std::string(3 - digits.size(), '0') + digits + ".txt";
    };
    auto latin = [](const std::string& text) {
        std::u16string units;
        for (const char c : text) {
            units.push_back(static_cast<char16_t>(static_cast<unsigned char>(c)));
        }
        return test::EncodeUnicode(units, 2, false);
    };
    // Pairs next to each other in the list, so two workers take them together;
    // equal sizes, so they reach the output folder together.
    std::vector<std::string> args;
    std::map<std::string, test::SourceCase> sources; // by absolute path
    for (int i = 0; i < kPairs; ++i) {
        for (const char* folder : {"a", "b"}) {
            const std::string relative = std::string(folder) + "/" + name(i);
            test::SourceCase s;
            s.path = space / relative;
            s.original = std::string(folder) + " \xE9t\xE9 " + std::string(1500, 'x') + name(i);
            s.converted = latin(s.original);
            test::WriteFile(s.path, s.original);
            sources[s.path] = s;
            args.push_back(relative);
        }
    }
    space.WriteProfile(test::MakeOptions(1252, 2, space / "out", 2, false));

    const auto r = space.Run(args);
    EXPECT_EQ(r.exitCode, 160) << r.err;
    std::map<std::string, std::string> statuses;
    for (const auto& record : test::ReadLogRecords(space.LogPath())) {
        EXPECT_TRUE(statuses.emplace(record.name, record.status).second) << record.name;
    }
    EXPECT_EQ(statuses.size(), 2u * kPairs);
    int ok = 0;
    int refused = 0;
    std::vector<test::SourceCase> expected;
    for (int i = 0; i < kPairs; ++i) {
        SCOPED_TRACE(name(i));
        const std::string output = space / ("out/" + name(i));
        std::vector<std::string> winners;
        for (const char* folder : {"a", "b"}) {
            test::SourceCase s = sources.at(space / (std::string(folder) + "/" + name(i)));
            const std::string status = statuses.count(s.path) ? statuses.at(s.path) : "(none)";
            if (status == "OK") {
                ++ok;
                winners.push_back(folder);
                s.destination = output;
            } else {
                EXPECT_EQ(status, test::StatusText(5005)) << s.path;
                refused += status == test::StatusText(5005);
            }
            expected.push_back(s);
        }
        ASSERT_EQ(winners.size(), 1u) << "both or neither reported OK";
    }
    EXPECT_EQ(ok, kPairs);
    EXPECT_EQ(refused, kPairs);
    // Each output is exactly its OK source's conversion; no source changed.
    for (const auto& problem : test::CheckNothingLost(space.Root(), 2, expected, {})) {
        ADD_FAILURE() << problem;
    }
    EXPECT_EQ(test::CountEntries(space.TempFolder()), 0u) << "temporary files left";
}

} // namespace
} // namespace varnolt
