// The interactive controller: progress, cancel, and many workers at once.
#include "convert/conv_controller.hpp"
#include "convert/log.hpp"
#include "settings/app_settings.hpp"
#include "support/test_support.hpp"

#include <atomic>
#include <gtest/gtest.h>
#include <set>
#include <sys/stat.h>
#include <vector>

namespace varnolt {
namespace {

class CFileList : public ISourceFileList {
public:
    std::vector<std::string> paths;
    int GetCount() const override { return static_cast<int>(paths.size()); }
    std::string GetPath(int i) const override { return paths.at(static_cast<std::size_t>(i)); }
    std::string GetBaseFolder(int) const override { return {}; }
};

// Workers report from their own threads, as they would to a progress window.
class CCountingProgress : public IProgressSink {
public:
    std::atomic<int> begun{0};
    std::atomic<int> finished{0};
    int cancelAfter = -1;
    void FileBegun() override {
        if (++begun == cancelAfter) {
            CConvController::s_bCancelRequested.store(true);
        }
    }
    void RunFinished() override { ++finished; }
};

std::string SettingsWith(const test::TempDir& dir, bool disableMP) {
    const std::string path = dir / "settings.reg";
    test::WriteFile(path, std::string("Windows Registry Editor Version 5.00\n\n"
                                      "[HKEY_CURRENT_USER\\Software\\Brambleware\\Varnolt 5]\n"
                                      "\"DisableMP\"=dword:0000000") +
                              (disableMP ? "1" : "0") + "\n");
    return path;
}

TEST(ConvController, CancelLeavesExactlyTheFilesBegunAndStillFinishes) {
    test::TempDir dir;
    CAppSettings settings(SettingsWith(dir, true));
    CFileList list;
    for (int i = 0; i < 6; ++i) {
        list.paths.push_back(dir / ("f" + std::to_string(i) + ".txt"));
        test::WriteFile(list.paths.back(), "text");
    }
    CLog::Instance().Reset();
    CConvController controller(nullptr, &list, 1252, 1, "_c_", 2, true, false, false, settings,
                               nullptr);
    EXPECT_FALSE(controller.m_bUtf8Meta == false) << "meta kept for UTF-8";
    CCountingProgress progress;
    progress.cancelAfter = 2;
    controller.m_hProgressWnd = &progress;
    EXPECT_TRUE(controller.Run());
    EXPECT_EQ(progress.begun, 2);
    EXPECT_EQ(progress.finished, 1);
    EXPECT_EQ(CLog::Instance().GetCount(), 2);
    EXPECT_EQ(test::ReadFile(dir / "_c_f1.txt"), "text") << "a begun file finishes normally";

    // A new controller clears the flag.
    CConvController again(nullptr, &list, 1252, 1, "_d_", 0, true, false, false, settings, nullptr);
    EXPECT_FALSE(CConvController::s_bCancelRequested.load());
    EXPECT_FALSE(again.m_bUtf8Meta) << "the meta flag only with UTF-8";
    CLog::Instance().Reset();
}

TEST(ConvControllerConcurrency, ManyWorkersGiveEveryFileOneRecord) {
    test::TempDir dir;
    CAppSettings settings(SettingsWith(dir, false));
    CFileList list;
    for (int i = 0; i < 300; ++i) {
        list.paths.push_back(dir / ("f" + std::to_string(i) + ".htm"));
        test::WriteFile(list.paths.back(),
                        "<html><head><title>t</title></head><body>caf\xE9 " +
                            std::string(static_cast<std::size_t>(i * 997 % 9000), 'x') +
                            "</body></html>");
    }
    list.paths.push_back(dir / "missing.htm");
    CLog::Instance().Reset();
    CConvController controller(nullptr, &list, 1252, 2, dir.Path() + "/", 2, true, false, true,
                               settings, nullptr);
    ASSERT_EQ(::mkdir((dir / "out").c_str(), 0755), 0);
    controller.m_strOutputArg = dir / "out/";
    CCountingProgress progress;
    controller.m_hProgressWnd = &progress;
    EXPECT_TRUE(controller.Run());
    EXPECT_EQ(progress.begun, 301);
    ASSERT_EQ(CLog::Instance().GetCount(), 301);
    std::set<std::string> names;
    for (std::int64_t i = 0; i < 301; ++i) {
        const CLogRecord record = CLog::Instance().GetRecord(i);
        names.insert(record.strFileName);
        const bool missing = record.strFileName == dir / "missing.htm";
        EXPECT_EQ(record.nLevel, missing ? kLevelError : kLevelOk) << record.strFileName;
    }
    EXPECT_EQ(names.size(), 301u);
    const std::string out = test::ReadFile(dir / "out/f7.htm");
    EXPECT_NE(out.find("charset=UTF-8"), std::string::npos);
    EXPECT_NE(out.find("caf\xC3\xA9 "), std::string::npos);
    CLog::Instance().Reset();
}

} // namespace
} // namespace varnolt
