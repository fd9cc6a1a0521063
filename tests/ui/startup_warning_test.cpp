// The start-up warning: shown until the user ticks "Don't show again", and
// that choice survives into the next start.
#include "settings/app_settings.hpp"
#include "support/test_support.hpp"
#include "ui/startup_warning.hpp"
#include "ui/support/modal_answer.hpp"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

using varnolt::CAppSettings;
using varnolt::test::TempDir;
using varnolt::test::WhenModalShown;
using varnolt::ui::ShowStartupWarning;

namespace {

// Shows the warning (if it appears), ticks the box as asked and presses OK;
// says whether the warning appeared.
bool StartUp(const std::string& settingsPath, bool tick, QString* text = nullptr,
             QString* title = nullptr) {
    CAppSettings settings(settingsPath);
    bool shown = false;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        QWidget* w = QApplication::activeModalWidget();
        if (!w || QApplication::activeWindow() != w)
            return;
        watch.stop();
        shown = true;
        if (text)
            *text = w->findChild<QLabel*>(QStringLiteral("taskMainInstruction"))->text() +
                    QLatin1Char('\n') +
                    w->findChild<QLabel*>(QStringLiteral("taskContent"))->text();
        if (title)
            *title = w->windowTitle();
        auto* check = w->findChild<QCheckBox*>(QStringLiteral("verificationCheck"));
        ASSERT_NE(check, nullptr);
        EXPECT_FALSE(check->isChecked());
        if (tick)
            QTest::mouseClick(check, Qt::LeftButton);
        auto* ok = w->findChild<QPushButton*>(QStringLiteral("taskButton1"));
        ASSERT_NE(ok, nullptr);
        EXPECT_EQ(ok->text(), QStringLiteral("OK"));
        QTest::mouseClick(ok, Qt::LeftButton);
    });
    watch.start(5);
    ShowStartupWarning(settings);
    return shown;
}

} // namespace

TEST(StartupWarning, ShowsTheWarningUntilDontShowAgainIsTicked) {
    TempDir dir;
    const std::string path = dir / "settings.reg";
    QString text;
    QString title;
    EXPECT_TRUE(StartUp(path, /*tick=*/false, &text, &title));
    EXPECT_EQ(title, QStringLiteral("Varnolt"));
    EXPECT_EQ(text,
              QStringLiteral(
                  "Warning!!\nBefore you understand how Varnolt works, please use dummy files or "
                  "extra copies of your data files to test and evaluate Varnolt.  Improper use of "
                  "Varnolt may result loss of data."));
    // Left unticked: shown again at the next start.
    EXPECT_TRUE(StartUp(path, /*tick=*/false));
    EXPECT_TRUE(StartUp(path, /*tick=*/true));
    EXPECT_TRUE(CAppSettings(path).NoWarning.Get());
    EXPECT_FALSE(StartUp(path, /*tick=*/false));
}

TEST(StartupWarning, NeitherEscapeNorTheCloseBoxDismissesIt) {
    TempDir dir;
    CAppSettings settings(dir / "settings.reg");
    bool stillOpen = false;
    WhenModalShown(
        [](QWidget* w) {
            QTest::keyClick(w, Qt::Key_Escape);
            w->close();
        },
        &stillOpen);
    ShowStartupWarning(settings);
    EXPECT_TRUE(stillOpen);
    EXPECT_FALSE(settings.NoWarning.Get());
}
