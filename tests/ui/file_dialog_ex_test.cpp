// The two save dialogs: their check box reports its state however the
// dialog ended, and each remembers its own last folder in the settings.
#include "settings/app_settings.hpp"
#include "support/test_support.hpp"
#include "ui/file_dialog_ex.hpp"
#include "ui/file_dialog_ex_cfg_profile.hpp"
#include "ui/file_dialog_ex_log.hpp"
#include "ui/support/modal_answers.hpp"

#include <QCheckBox>
#include <QDir>
#include <QMessageBox>
#include <QPushButton>
#include <filesystem>
#include <gtest/gtest.h>

namespace varnolt::ui {
namespace {

// Picks `path` (or cancels when empty) after setting the check box.
void Answer(QObject* owner, const QString& path, bool check) {
    test::AnswerModals(owner, [=](QWidget* w) {
        auto* dialog = qobject_cast<CFileDialogEx*>(w);
        if (dialog == nullptr) {
            return true;
        }
        dialog->CheckBox()->setChecked(check);
        if (path.isEmpty()) {
            QMetaObject::invokeMethod(dialog, "reject", Qt::QueuedConnection);
        } else {
            // The dialog leaves a focused name field as the user typed it.
            if (QWidget* focus = dialog->focusWidget()) {
                focus->clearFocus();
            }
            dialog->selectFile(path);
            QMetaObject::invokeMethod(dialog, "accept", Qt::QueuedConnection);
        }
        return false;
    });
}

TEST(FileDialogEx, ProfileDialogReportsTheBoxAlsoOnCancel) {
    test::TempDir dir;
    CAppSettings settings(dir / "settings.reg");
    CFileDialogExCfgProfile dialog(settings);
    EXPECT_EQ(dialog.CheckBox()->text(), QStringLiteral("Create Shoruct on Desktop"));
    EXPECT_FALSE(dialog.GetCheck());
    EXPECT_EQ(dialog.defaultSuffix(), QStringLiteral("vnp"));
    EXPECT_EQ(dialog.nameFilters(), QStringList({QStringLiteral("Varnolt Config. Profile (*.vnp)"),
                                                 QStringLiteral("All Files (*)")}));
    QObject owner;
    Answer(&owner, QString(), true);
    EXPECT_FALSE(dialog.DoModal());
    EXPECT_TRUE(dialog.GetCheck());
    EXPECT_TRUE(dialog.GetPathName().isEmpty());
}

// A save in one folder: the next log dialog (also after the settings were
// stored and read again) opens there, the profile dialog does not; a name
// without extension gets the default one. A dialog never used opens in
// the home folder, not where another dialog was last.
TEST(FileDialogEx, EachDialogRemembersItsOwnLastFolder) {
    test::TempDir dir;
    const std::string logs = dir / "logs";
    std::filesystem::create_directory(logs);
    const std::string settingsPath = dir / "settings.reg";
    {
        CAppSettings settings(settingsPath);
        CFileDialogExLog dialog(settings, QString(), false);
        EXPECT_EQ(dialog.CheckBox()->text(), QStringLiteral("Append to the file"));
        QObject owner;
        Answer(&owner, QString::fromStdString(logs + "/run"), true);
        ASSERT_TRUE(dialog.DoModal());
        EXPECT_EQ(dialog.GetPathName(), QString::fromStdString(logs + "/run.txt"));
        EXPECT_TRUE(dialog.GetCheck());
    }
    CAppSettings settings(settingsPath);
    CFileDialogExLog log(settings, QString(), false);
    EXPECT_EQ(QDir(log.directory()).canonicalPath(),
              QDir(QString::fromStdString(logs)).canonicalPath());
    CFileDialogExCfgProfile profile(settings);
    EXPECT_EQ(QDir(profile.directory()).canonicalPath(), QDir::home().canonicalPath());
}

// A name in a folder that does not exist is refused: the dialog says so
// and stays open.
TEST(FileDialogEx, RefusesAPathInAMissingFolder) {
    test::TempDir dir;
    CAppSettings settings(dir / "settings.reg");
    CFileDialogExLog dialog(settings, QString(), false);
    QString warning;
    bool stillOpen = false;
    QObject owner;
    test::AnswerModals(&owner, [&](QWidget* w) {
        if (auto* box = qobject_cast<QMessageBox*>(w)) {
            warning = box->text();
            box->button(QMessageBox::Ok)->click();
            return true;
        }
        if (w != &dialog) {
            return true;
        }
        if (!warning.isEmpty()) {
            // Back after the warning: still open, so give up.
            stillOpen = true;
            QMetaObject::invokeMethod(&dialog, "reject", Qt::QueuedConnection);
            return false;
        }
        if (QWidget* focus = dialog.focusWidget()) {
            focus->clearFocus();
        }
        dialog.selectFile(QString::fromStdString(dir / "missing/run.txt"));
        QMetaObject::invokeMethod(&dialog, "accept", Qt::QueuedConnection);
        return true;
    });
    EXPECT_FALSE(dialog.DoModal());
    EXPECT_TRUE(stillOpen);
    EXPECT_TRUE(warning.contains(QStringLiteral("Path does not exist."))) << warning.toStdString();
    EXPECT_FALSE(std::filesystem::exists(dir / "missing"));
}

} // namespace
} // namespace varnolt::ui
