// Source file list: the compact store behaves as a plain list of paths.
#include "app/source_file_list_doc.hpp"

#include <algorithm>
#include <gtest/gtest.h>
#include <random>
#include <stdexcept>
#include <utility>
#include <vector>

namespace varnolt {
namespace {

// Random adds (many of them repeats), removals and truncations, checked after
// every step against a plain vector: indices, paths, base folders and the
// duplicate rule must match exactly.
TEST(SourceFileListDoc, MatchesAPlainListUnderRandomChanges) {
    const std::vector<std::string> folders = {"", "/", "/data/", "/data/sub/", "rel/", "/Data/"};
    const std::vector<std::string> names = {
        "a.txt", "A.txt", "b", "", "x y.htm", "a.txt.bak", std::string(100, 'n')};
    std::vector<std::pair<std::string, std::string>> model;
    CSourceFileListDoc doc(64); // small name chunks: names often start a new one
    std::size_t largest = 0;
    std::mt19937 random(7);
    const auto pick = [&](const std::vector<std::string>& from) {
        return from[random() % from.size()];
    };
    for (int step = 0; step < 4000; ++step) {
        const unsigned what = random() % 20;
        if (what < 16) {
            // Deep folders make many distinct paths so the index grows.
            const std::string path =
                pick(folders) + std::to_string(random() % 40) + "/" + pick(names);
            const std::string base = pick(folders);
            const bool listed = std::any_of(model.begin(), model.end(),
                                            [&](const auto& e) { return e.first == path; });
            const int index = doc.AddFile(path, base);
            if (listed) {
                ASSERT_EQ(index, -1) << path;
            } else {
                ASSERT_EQ(index, static_cast<int>(model.size())) << path;
                model.emplace_back(path, base);
            }
        } else if (what < 19 && !model.empty()) {
            const int at = static_cast<int>(random() % model.size());
            doc.RemoveAt(at);
            model.erase(model.begin() + at);
        } else if (what == 19 && random() % 10 == 0) {
            const int from = static_cast<int>(random() % (model.size() + 1));
            doc.RemoveFrom(from);
            model.resize(static_cast<std::size_t>(from));
        }
        ASSERT_EQ(doc.GetCount(), static_cast<int>(model.size()));
        largest = std::max(largest, model.size());
        if (step % 50 == 0 || step > 3950) {
            for (std::size_t i = 0; i < model.size(); ++i) {
                ASSERT_EQ(doc.GetPath(static_cast<int>(i)), model[i].first);
                ASSERT_EQ(doc.GetBaseFolder(static_cast<int>(i)), model[i].second);
            }
        }
    }
    EXPECT_GT(largest, 200u); // the index grew and was rebuilt several times
    EXPECT_THROW(doc.GetPath(doc.GetCount()), std::out_of_range);
    EXPECT_THROW(doc.RemoveAt(-1), std::out_of_range);
    doc.RemoveAll();
    EXPECT_EQ(doc.GetCount(), 0);
    EXPECT_EQ(doc.AddFile("/data/a.txt"), 0);
    EXPECT_EQ(doc.AddFile("/data/a.txt"), -1);
}

} // namespace
} // namespace varnolt
