// Saving a profile with "Create Shortcut on Desktop": the launcher that
// lands in the desktop folder, and that running it as a desktop would opens
// the main window with the profile.
#include "app/source_file_list_doc.hpp"
#include "app/varnolt_app.hpp"
#include "platform/paths.hpp"
#include "settings/app_settings.hpp"
#include "settings/profile.hpp"
#include "support/desktop_exec.hpp"
#include "support/test_support.hpp"
#include "ui/file_dialog_ex.hpp"
#include "ui/interactive_start.hpp"
#include "ui/support/modal_answers.hpp"
#include "ui/varnolt_dlg.hpp"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <filesystem>
#include <gtest/gtest.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace varnolt::ui {
namespace {

namespace fs = std::filesystem;

// Sets an environment variable for the life of the object.
class CScopedEnv {
public:
    CScopedEnv(const char* name, const std::string& value) : m_name(name) {
        if (const char* old = std::getenv(name)) {
            m_old = old;
        }
        ::setenv(name, value.c_str(), 1);
    }
    ~CScopedEnv() {
        if (m_old) {
            ::setenv(m_name, m_old->c_str(), 1);
        } else {
            ::unsetenv(m_name);
        }
    }
    CScopedEnv(const CScopedEnv&) = delete;
    CScopedEnv& operator=(const CScopedEnv&) = delete;

private:
    const char* m_name;
    std::optional<std::string> m_old;
};

// A home and a configuration folder of their own; `desktopLine` is written
// as the user-dirs.dirs line when not empty.
struct Home {
    explicit Home(const test::TempDir& dir, const std::string& desktopLine = {})
        : home(dir / "home"), config(dir / "config"), envHome("HOME", home),
          envConfig("XDG_CONFIG_HOME", config) {
        fs::create_directories(home);
        fs::create_directories(config);
        if (!desktopLine.empty()) {
            test::WriteFile(config + "/user-dirs.dirs",
                            "# written by a test\n" + desktopLine + "\n");
        }
    }
    std::string home;
    std::string config;
    CScopedEnv envHome;
    CScopedEnv envConfig;
};

// Saves the window's options as `path` with the box ticked or not. Any
// message shown on the way is recorded and dismissed.
void Save(CVarnoltDlg& dlg, const std::string& path, bool tick, int* messages = nullptr) {
    QObject owner;
    test::AnswerModals(&owner, [&](QWidget* w) {
        auto* dialog = qobject_cast<CFileDialogEx*>(w);
        if (dialog == nullptr) {
            if (messages != nullptr) {
                ++*messages;
            }
            w->findChildren<QPushButton*>().front()->click();
            return true;
        }
        dialog->CheckBox()->setChecked(tick);
        if (QWidget* focus = dialog->focusWidget()) {
            focus->clearFocus();
        }
        dialog->selectFile(QString::fromStdString(path));
        QMetaObject::invokeMethod(dialog, "accept", Qt::QueuedConnection);
        return true;
    });
    dlg.OnSaveConfiguration();
}

std::vector<std::string> ExecArguments(const std::string& launcher) {
    const std::optional<std::string> exec = test::DesktopEntryValue(launcher, "Exec");
    EXPECT_TRUE(exec) << launcher;
    const auto argv = exec ? test::SplitDesktopExec(*exec) : std::nullopt;
    EXPECT_TRUE(argv) << *exec;
    return argv.value_or(std::vector<std::string>{});
}

std::size_t Entries(const std::string& folder) {
    return static_cast<std::size_t>(
        std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
}

TEST(ProfileShortcut, LauncherOnTheDesktopOpensTheWindowWithTheProfile) {
    test::TempDir dir;
    const std::string desktop = dir / "My Desk";
    fs::create_directories(desktop);
    Home home(dir, "XDG_DESKTOP_DIR=\"" + desktop + "\"");
    fs::create_directories(dir / "Pro files");
    // (The file dialog reads double quotes as a list of names; the launcher
    // writer's own tests cover them.)
    const std::string profile = dir / "Pro files/It's $x 100% `id` back\\slash.vnp";

    CAppSettings settings(dir / "settings.reg");
    CSourceFileListDoc files;
    CVarnoltDlg dlg(settings, files, {});
    dlg.findChild<QLineEdit*>(QStringLiteral("destPrefixEdit"))
        ->setText(QStringLiteral("from_launcher_"));
    int messages = 0;
    Save(dlg, profile, true, &messages);
    EXPECT_EQ(messages, 0);

    const std::string launcher = desktop + "/Varnolt (It's $x 100% `id` back\\slash).desktop";
    struct stat st {};
    ASSERT_EQ(::stat(launcher.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0755u);
    const std::vector<std::string> argv = ExecArguments(test::ReadFile(launcher));
    ASSERT_EQ(argv, (std::vector<std::string>{platform::ExecutablePath(), "-c", profile}));

    // Saved again over a launcher that someone spoiled: replaced, and the
    // folder holds that one launcher only.
    test::WriteFile(launcher, "spoiled");
    Save(dlg, profile, true);
    EXPECT_EQ(ExecArguments(test::ReadFile(launcher)), argv);
    EXPECT_EQ(Entries(desktop), 1u);

    // Started with the launcher's arguments, the program opens the window
    // with the profile's options.
    const std::string startSettings = dir / "start.reg";
    CAppSettings(startSettings).NoWarning.Set(true);
    std::vector<const char*> args;
    for (const std::string& argument : argv) {
        args.push_back(argument.c_str());
    }
    CVarnoltApp app(static_cast<int>(args.size()), args.data(), startSettings);
    app.m_pfnRunInteractive = [](CVarnoltApp& self) {
        RunMainWindow(self);
        return 0;
    };
    QString title;
    QString prefix;
    QObject owner;
    test::AnswerModals(&owner, [&](QWidget* w) {
        if (w->objectName() != QStringLiteral("varnoltDlg")) {
            w->findChildren<QPushButton*>().front()->click();
            return true;
        }
        title = w->windowTitle();
        prefix = w->findChild<QLineEdit*>(QStringLiteral("destPrefixEdit"))->text();
        w->close();
        return false;
    });
    app.InitInstance();
    EXPECT_EQ(app.ExitInstance(), 0);
    EXPECT_EQ(title, QStringLiteral("It's $x 100% `id` back\\slash - Varnolt"));
    EXPECT_EQ(prefix, QStringLiteral("from_launcher_"));
}

TEST(ProfileShortcut, WithoutUserDirsTheDesktopIsInTheHomeFolder) {
    test::TempDir dir;
    Home home(dir);
    fs::create_directories(home.home + "/Desktop");
    CAppSettings settings(dir / "settings.reg");
    CSourceFileListDoc files;
    CVarnoltDlg dlg(settings, files, {});
    // Unticked: no launcher.
    Save(dlg, dir / "plain.vnp", false);
    EXPECT_EQ(Entries(home.home + "/Desktop"), 0u);
    Save(dlg, dir / "plain.vnp", true);
    EXPECT_TRUE(fs::exists(home.home + "/Desktop/Varnolt (plain).desktop"));
}

TEST(ProfileShortcut, AnUnwritableDesktopLeavesTheProfileSavedAndSaysNothing) {
    test::TempDir dir;
    test::WriteFile(dir / "a file", "");
    fs::create_directories(dir / "read-only");
    ::chmod((dir / "read-only").c_str(), 0500);
    std::vector<std::string> desktops = {dir / "missing", dir / "a file"};
    if (::geteuid() != 0) {
        desktops.push_back(dir / "read-only"); // root writes there anyway
    }
    for (const std::string& desktop : desktops) {
        SCOPED_TRACE(desktop);
        Home home(dir, "XDG_DESKTOP_DIR=\"" + desktop + "\"");
        CAppSettings settings(dir / "settings.reg");
        CSourceFileListDoc files;
        CVarnoltDlg dlg(settings, files, {});
        const std::string profile = dir / "kept.vnp";
        fs::remove(profile);
        int messages = 0;
        Save(dlg, profile, true, &messages);
        EXPECT_EQ(messages, 0);
        ProfileContent content;
        EXPECT_EQ(ReadProfile(profile, content), ProfileStatus::Ok);
        EXPECT_TRUE(dlg.IsShortcutRequested());
        EXPECT_FALSE(fs::exists(fs::path(desktop) / "Varnolt (kept).desktop"));
    }
    ::chmod((dir / "read-only").c_str(), 0700);
    EXPECT_EQ(Entries(dir / "read-only"), 0u);
}

} // namespace
} // namespace varnolt::ui
