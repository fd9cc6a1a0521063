// Random trees of files converted with random options by the real program:
// every file ends with exactly one record saying what happened, what
// converted is byte-exact, and nothing that failed lost or changed a byte.
// Seeded: the seed is printed on failure; VARNOLT_TEST_SEED replays it and
// VARNOLT_PROPERTY_RUNS asks for more runs.
#include "platform/text_utf.hpp"
#include "support/run_space.hpp"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <iostream>
#include <random>

namespace varnolt {
namespace {

#if defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif

using Random = std::mt19937_64;

// One source encoding: what text it can carry, how to write it, and how to
// spoil it with bytes it cannot decode.
struct Encoding {
    int codePage;
    char32_t (*pick)(Random&);
    std::string (*encode)(const std::u16string&);
    std::string invalid; // empty: every byte sequence decodes
};

char32_t PickAscii(Random& r) {
    const unsigned n = static_cast<unsigned>(r() % 100);
    if (n < 3) {
        return n == 0 ? U'\r' : U'\n';
    }
    return static_cast<char32_t>(0x20 + r() % 95);
}

char32_t PickLatin1(Random& r) {
    return r() % 4 == 0 ? static_cast<char32_t>(0xA0 + r() % 96) : PickAscii(r);
}
char32_t PickCyrillic(Random& r) {
    return r() % 3 == 0 ? static_cast<char32_t>(0x410 + r() % 64) : PickAscii(r);
}
char32_t PickKatakana(Random& r) {
    return r() % 3 == 0 ? static_cast<char32_t>(0xFF61 + r() % 63) : PickAscii(r);
}
char32_t PickAny(Random& r) {
    switch (r() % 6) {
    case 0:
        return static_cast<char32_t>(0xA0 + r() % 0x760);
    case 1:
        return static_cast<char32_t>(0x4E00 + r() % 0x5200);
    case 2:
        return static_cast<char32_t>(0x1F600 + r() % 0x50);
    default:
        return PickAscii(r);
    }
}

std::string SingleBytes(const std::u16string& text, char16_t base, unsigned char first) {
    std::string out;
    for (const char16_t u : text) {
        out.push_back(u < 0x80 ? static_cast<char>(u) : static_cast<char>(first + (u - base)));
    }
    return out;
}

const Encoding kEncodings[] = {
    {1252, PickLatin1, [](const std::u16string& t) { return SingleBytes(t, 0xA0, 0xA0); }, ""},
    {1251, PickCyrillic, [](const std::u16string& t) { return SingleBytes(t, 0x410, 0xC0); }, ""},
    {932, PickKatakana, [](const std::u16string& t) { return SingleBytes(t, 0xFF61, 0xA1); },
     "\x81\x7F"},
    {65001, PickAny, [](const std::u16string& t) { return Utf16ToUtf8(t); }, "\xFF"},
    {1200, PickAny, [](const std::u16string& t) { return test::EncodeUnicode(t, 0, false); },
     std::string("\x00\xD8\x41\x00", 4)},
    {1201, PickAny, [](const std::u16string& t) { return test::EncodeUnicode(t, 1, false); },
     std::string("\xDB\xFF\x00\x41", 4)},
};

void Append(std::u16string& text, char32_t cp) {
    if (cp >= 0x10000) {
        cp -= 0x10000;
        text.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
        text.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
        text.push_back(static_cast<char16_t>(cp));
    }
}

// Character counts: mostly small files, some medium, a few up to ~1 MiB.
std::size_t PickLength(Random& r) {
    const unsigned n = static_cast<unsigned>(r() % 100);
    if (n < 8) {
        return 0;
    }
    if (n < 75) {
        return 1 + r() % 4000;
    }
    if (n < 96 || kSanitized) {
        return 1 + r() % 60000;
    }
    return 1 + r() % 700000;
}

struct Expected {
    test::SourceCase source;
    int messageId = 5012;
};

struct Totals {
    std::size_t files = 0;
    std::uint64_t bytes = 0;
    std::size_t converted = 0;
    std::size_t refused = 0;
};

void OneRun(Random& r, Totals& totals) {
    const Encoding& encoding = kEncodings[r() % std::size(kEncodings)];
    const int option = static_cast<int>(r() % 3);
    const int format = static_cast<int>(r() % 3);
    const bool bom = r() % 2 == 0;
    const bool overwrite = r() % 2 == 0;
    test::RunSpace space(r() % 2 == 0);
    SCOPED_TRACE("code page " + std::to_string(encoding.codePage) + ", option " +
                 std::to_string(option) + ", format " + std::to_string(format) +
                 (bom ? ", mark" : "") + (overwrite ? ", -y" : ", skip"));
    static const char* const kPrefix[] = {"_org_", "_u_", "out"};
    std::filesystem::create_directory(space / "out");

    std::vector<std::string> folders{""};
    std::vector<Expected> files;
    std::vector<std::string> args;
    if (overwrite) {
        args.push_back("-y");
    }
    const std::size_t count = 5 + r() % 20;
    for (std::size_t i = 0; i < count; ++i) {
        if (r() % 5 == 0) {
            const std::string folder =
                folders[r() % folders.size()] + "d" + std::to_string(i) + "/";
            std::filesystem::create_directories(space / folder);
            folders.push_back(folder);
        }
        // Names are unique over the tree: option 2 puts every file in one folder.
        const std::string relative =
            folders[r() % folders.size()] + "n" + std::to_string(i) + ".txt";
        Expected e;
        e.source.path = space / relative;
        std::u16string text;
        const std::size_t length = PickLength(r);
        for (std::size_t k = 0; k < length; ++k) {
            Append(text, encoding.pick(r));
        }
        e.source.original = encoding.encode(text);
        const bool spoil = !encoding.invalid.empty() && length > 0 && r() % 8 == 0;
        if (spoil) {
            // Keep UTF-16 units aligned: insert at an even offset of a whole unit.
            std::size_t at = r() % (e.source.original.size() + 1);
            if (encoding.codePage == 1200 || encoding.codePage == 1201) {
                at = std::min(at, e.source.original.size()) & ~std::size_t{1};
                while (at > 0 && at < e.source.original.size()) {
                    const auto hi = static_cast<unsigned char>(
                        e.source.original[encoding.codePage == 1200 ? at + 1 : at]);
                    if (hi < 0xD8 || hi > 0xDF) {
                        break; // not between the halves of a pair
                    }
                    at -= 2;
                }
            } else if (encoding.codePage == 65001) {
                // Anywhere: 0xFF is never part of UTF-8.
            } else {
                at = 0; // a lead byte must not pair with the text before it
            }
            e.source.original.insert(at, encoding.invalid);
        }
        e.source.converted = test::EncodeUnicode(text, format, bom);
        const std::string name = relative.substr(relative.rfind('/') + 1);
        const std::string folder = relative.substr(0, relative.size() - name.size());
        e.source.destination =
            option == 2 ? space / ("out/" + name) : space / (folder + kPrefix[option] + name);
        const bool exists = r() % 7 == 0;
        if (exists) {
            e.source.preexisting = "existing " + std::to_string(i) + "\n";
            test::WriteFile(*e.source.destination, *e.source.preexisting);
        }
        if (e.source.original.empty()) {
            e.messageId = 5013;
        } else if (spoil) {
            e.messageId = 5002;
        } else if (exists) {
            e.messageId = option == 0 ? 5004 : overwrite ? 5006 : 5005;
        }
        test::WriteFile(e.source.path, e.source.original);
        totals.bytes += e.source.original.size();
        args.push_back(relative);
        files.push_back(std::move(e));
    }
    const std::string arg = option == 2 ? space / "out" : kPrefix[option];
    space.WriteProfile(test::MakeOptions(encoding.codePage, option, arg, format, bom));

    const auto result = space.Run(args);

    int level = 0;
    std::vector<test::SourceCase> sources;
    for (const auto& e : files) {
        sources.push_back(e.source);
        level = std::max(level, e.messageId == 5012                          ? 0
                                : e.messageId == 5006 || e.messageId == 5013 ? 1
                                                                             : 2);
    }
    EXPECT_EQ(result.exitCode, level == 0 ? 0 : level == 1 ? 16 : 160) << result.err;
    for (const auto& problem : test::CheckNothingLost(space.Root(), option, sources, {})) {
        ADD_FAILURE() << problem;
    }
    EXPECT_EQ(test::CountEntries(space.TempFolder()), 0u);

    std::map<std::string, int> seen;
    std::map<std::string, std::string> status;
    for (const auto& record : test::ReadLogRecords(space.LogPath())) {
        ++seen[record.name];
        status[record.name] = record.status;
    }
    EXPECT_EQ(seen.size(), files.size());
    for (const auto& e : files) {
        const auto& s = e.source;
        EXPECT_EQ(seen[s.path], 1) << s.path;
        EXPECT_EQ(status[s.path], test::StatusText(e.messageId)) << s.path;
        EXPECT_NE(result.out.find(s.path + " ["), std::string::npos) << s.path;
        // What the record promises is what is on disk.
        const bool placed = e.messageId == 5012 || e.messageId == 5006;
        const std::string at = option == 0 ? s.path : *s.destination;
        if (placed) {
            ++totals.converted;
            EXPECT_TRUE(std::filesystem::exists(at) && test::ReadFile(at) == *s.converted)
                << at << " does not hold the converted text";
            if (option == 0) {
                EXPECT_EQ(test::ReadFile(*s.destination), s.original) << "backup of " << s.path;
            }
        } else {
            ++totals.refused;
            EXPECT_EQ(test::ReadFile(s.path), s.original) << s.path;
            if (option != 0 || !s.preexisting) {
                EXPECT_EQ(std::filesystem::exists(*s.destination), s.preexisting.has_value())
                    << *s.destination;
            }
        }
    }
    totals.files += files.size();
}

TEST(RandomTrees, ParallelRunsKeepEveryFileSafe) {
    std::uint64_t seed =
        static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    if (const char* text = std::getenv("VARNOLT_TEST_SEED")) {
        seed = std::strtoull(text, nullptr, 10);
    }
    int runs = kSanitized ? 16 : 30;
    if (const char* text = std::getenv("VARNOLT_PROPERTY_RUNS")) {
        runs = std::atoi(text);
    }
    Random random(seed);
    Totals totals;
    for (int run = 0; run < runs && !HasFailure(); ++run) {
        SCOPED_TRACE("VARNOLT_TEST_SEED=" + std::to_string(seed) + ", run " + std::to_string(run));
        OneRun(random, totals);
    }
    std::cout << "[ property ] " << runs << " runs, " << totals.files << " files (" << totals.bytes
              << " bytes): " << totals.converted << " converted, " << totals.refused
              << " refused or failed as expected, nothing lost\n";
}

} // namespace
} // namespace varnolt
