// The rich message box: the text decides the width, buttons share one width,
// and the box ends only with an answer one of its rules gives.
#include "ui/support/modal_answer.hpp"
#include "ui/tcx_msg_box.hpp"

#include <QApplication>
#include <QFontMetrics>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyle>
#include <QTest>
#include <cmath>
#include <functional>
#include <gtest/gtest.h>

using varnolt::test::WhenModalShown;
using varnolt::ui::CTcxMsgBox;
using varnolt::ui::DialogScale;
using varnolt::ui::MsgBoxButtonSize;
using varnolt::ui::NarrowestWidthKeepingHeight;

namespace {

// Text of `words` words of 10 px each, a 16 px line: the height at a width.
std::function<int(int)> Paragraph(int words) {
    return [words](int width) {
        const int perLine = std::max(1, width / 10);
        return 16 * ((words + perLine - 1) / perLine);
    };
}

struct Shown {
    QSize box;
    QRect text; // in the box's coordinates
    QRect icon;
    std::vector<QRect> buttons;
    // The text's height wrapped at the width it was given, one pixel less,
    // half the screen, and with no wrapping at all (one line a paragraph).
    int height = 0;
    int heightOneNarrower = 0;
    int heightAtHalfScreen = 0;
    int heightUnwrapped = 0;
};

// Shows a box, records its geometry, and answers it with its first button.
Shown ShowAndMeasure(CTcxMsgBox& box) {
    Shown shown;
    WhenModalShown([&shown](QWidget* w) {
        shown.box = w->size();
        auto* text = w->findChild<QLabel*>(QStringLiteral("msgBoxText"));
        ASSERT_NE(text, nullptr);
        shown.text = QRect(text->mapTo(w, QPoint(0, 0)), text->size());
        if (auto* icon = w->findChild<QWidget*>(QStringLiteral("msgBoxIcon")))
            shown.icon = icon->geometry();
        for (auto* button : w->findChildren<QPushButton*>())
            shown.buttons.push_back(button->geometry());
        // The width the text was wrapped at, without the two pixels of slack.
        const int width = text->width() - 2;
        shown.height = text->heightForWidth(width);
        shown.heightOneNarrower = text->heightForWidth(width - 1);
        shown.heightAtHalfScreen =
            text->heightForWidth(w->screen()->availableGeometry().width() / 2);
        shown.heightUnwrapped = text->heightForWidth(QWIDGETSIZE_MAX);
        w->findChildren<QPushButton*>().front()->click();
    });
    box.DoModal();
    return shown;
}

} // namespace

TEST(MsgBoxSizing, NarrowestWidthKeepsTheLineCountOfHalfTheScreen) {
    struct Case {
        const char* name;
        int words;
        int maxWidth;
        int expected;
    };
    const Case cases[] = {
        // One line at half the screen: just wide enough for that line.
        {"one short line", 7, 1000, 70},
        // 100 words take 2 lines at 500 px; 50 words a line is the narrowest.
        {"wrapped paragraph", 100, 1000, 500},
        // 120 words: 3 lines at 500 px (49 a line), 40 a line suffice.
        {"uneven last line", 120, 1000, 400},
        {"no screen width", 5, 0, 0},
        {"a line wider than the screen", 500, 1000, 500},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const int width = NarrowestWidthKeepingHeight(Paragraph(c.words), c.maxWidth);
        EXPECT_EQ(width, c.expected);
        if (c.maxWidth > 0) {
            EXPECT_LE(Paragraph(c.words)(width), Paragraph(c.words)(c.maxWidth / 2));
        }
    }
}

TEST(MsgBox, OneLineTextMakesTheBoxJustWideEnoughForTextOrButtons) {
    const QFont font = QApplication::font();
    const QFontMetrics metrics(font);
    const DialogScale scale = DialogScale::ForFont(font);
    const int margins = scale.X(10) + scale.X(10);
    struct Case {
        const char* name;
        QString text;
        QStringList buttons;
        bool icon;
        bool buttonsWider;
    };
    const Case cases[] = {
        {"text wider than one button",
         QStringLiteral("The destination folder could not be read at all."),
         {QStringLiteral("OK")},
         false,
         false},
        {"text with icon",
         QStringLiteral("The destination folder could not be read at all."),
         {QStringLiteral("OK")},
         true,
         false},
        {"buttons wider than the text",
         QStringLiteral("Two words."),
         {QStringLiteral("Download Now"), QStringLiteral("Cancel"), QStringLiteral("Later")},
         false,
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CTcxMsgBox box;
        box.SetText(c.text);
        for (int i = 0; i < c.buttons.size(); ++i)
            box.AddButton(i + 1, i == 0, false, c.buttons[i]);
        QPixmap icon;
        if (c.icon) {
            icon = QApplication::style()->standardIcon(QStyle::SP_MessageBoxWarning).pixmap(32, 32);
            box.SetIcon(icon);
        }
        const Shown shown = ShowAndMeasure(box);
        EXPECT_EQ(shown.height, shown.heightUnwrapped) << "one line";
        EXPECT_GT(shown.heightOneNarrower, shown.height) << "no wider than the one line needs";
        const int iconPart = c.icon ? icon.width() + scale.X(10) : 0;
        ASSERT_EQ(shown.buttons.size(), static_cast<size_t>(c.buttons.size()));
        const int rowWidth = shown.buttons.back().right() - shown.buttons.front().left() + 1;
        const int contentWidth = shown.text.width() + iconPart;
        EXPECT_EQ(shown.box.width(), margins + std::max(contentWidth, rowWidth));
        EXPECT_EQ(rowWidth > contentWidth, c.buttonsWider);
        // Buttons centred; the text right of the icon, at the top margin.
        EXPECT_LE(std::abs(shown.buttons.front().left() -
                           (shown.box.width() - 1 - shown.buttons.back().right())),
                  1);
        EXPECT_EQ(shown.text.top(), scale.Y(10));
        if (c.icon) {
            EXPECT_EQ(shown.icon.topLeft(), QPoint(scale.X(10), scale.Y(10)));
            EXPECT_GE(shown.text.left(), shown.icon.right() + 1 + scale.X(10));
        }
        EXPECT_LE(shown.box.width(), QApplication::primaryScreen()->availableGeometry().width());
    }
}

TEST(MsgBox, LongParagraphWrapsToTheNarrowestWidthKeepingItsLineCount) {
    QString paragraph;
    for (int i = 0; i < 40; ++i)
        paragraph += QStringLiteral("Every converted file keeps its result in the log. ");
    CTcxMsgBox box;
    box.SetText(paragraph.trimmed());
    box.AddButton(1, true, true, QStringLiteral("OK"));
    const Shown shown = ShowAndMeasure(box);
    EXPECT_GT(shown.height, shown.heightUnwrapped) << "wrapped";
    EXPECT_EQ(shown.height, shown.heightAtHalfScreen);
    EXPECT_GT(shown.heightOneNarrower, shown.height);
    EXPECT_LE(shown.text.width(),
              QApplication::primaryScreen()->availableGeometry().width() / 2 + 2);
}

TEST(MsgBox, ButtonsShareTheWidthOfTheLongestCaptionAndAtLeastTheMinimum) {
    const QFont font = QApplication::font();
    const QFontMetrics metrics(font);
    const DialogScale scale = DialogScale::ForFont(font);
    const int minimum = scale.X(40) + 2 * scale.X(7);
    const QString longCaption = QStringLiteral("Convert every remaining file now");
    struct Case {
        const char* name;
        QStringList captions;
        int expected;
    };
    const Case cases[] = {
        {"short captions", {QStringLiteral("Continue"), QStringLiteral("Cancel")}, minimum},
        {"one long caption",
         {QStringLiteral("OK"), longCaption},
         metrics.size(Qt::TextShowMnemonic, longCaption).width() + 2 * scale.X(7)},
        // The accelerator's ampersand takes no room.
        {"accelerator",
         {QStringLiteral("Convert every &remaining file now"), QStringLiteral("Cancel")},
         metrics.horizontalAdvance(longCaption) + 2 * scale.X(7)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(MsgBoxButtonSize(metrics, c.captions, scale).width(), c.expected);
        CTcxMsgBox box;
        for (int i = 0; i < c.captions.size(); ++i)
            box.AddButton(i + 1, i == 0, false, c.captions[i]);
        const Shown shown = ShowAndMeasure(box);
        ASSERT_EQ(shown.buttons.size(), 2u);
        EXPECT_EQ(shown.buttons[0].width(), shown.buttons[1].width());
        EXPECT_GE(shown.buttons[0].width(), std::max(minimum, c.expected));
        EXPECT_LT(shown.buttons[0].right(), shown.buttons[1].left());
    }
}

TEST(MsgBox, EndsWithTheButtonTheUserChoseOrTheCancelButton) {
    struct Case {
        const char* name;
        std::function<void(QWidget*)> act;
        int expected;
    };
    const auto button = [](QWidget* w, int id) {
        return w->findChild<QPushButton*>(QStringLiteral("msgBoxButton%1").arg(id));
    };
    const Case cases[] = {
        {"click Continue", [&](QWidget* w) { QTest::mouseClick(button(w, 6), Qt::LeftButton); }, 6},
        {"click Cancel", [&](QWidget* w) { QTest::mouseClick(button(w, 7), Qt::LeftButton); }, 7},
        {"Escape", [](QWidget* w) { QTest::keyClick(w, Qt::Key_Escape); }, 7},
        {"Ctrl+Break", [](QWidget* w) { QTest::keyClick(w, Qt::Key_Pause, Qt::ControlModifier); },
         7},
        {"close box", [](QWidget* w) { w->close(); }, 7},
        {"Enter on the default",
         [](QWidget*) { QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return); }, 7},
        {"Enter in the text",
         [](QWidget* w) {
             auto* text = w->findChild<QLabel*>(QStringLiteral("msgBoxText"));
             text->setFocus();
             QTest::keyClick(text, Qt::Key_Return);
         },
         7},
        {"Enter on Continue",
         [&](QWidget* w) {
             button(w, 6)->setFocus();
             QTest::keyClick(button(w, 6), Qt::Key_Enter);
         },
         6},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CTcxMsgBox box;
        box.SetText(QStringLiteral(
            "\"Add a filename prefix to converted files\" setting is invalid.\n\nContinue?"));
        box.AddButton(6, false, false, QStringLiteral("Continue"));
        box.AddButton(7, true, true, QStringLiteral("Cancel"));
        bool stillOpen = false;
        WhenModalShown(c.act, &stillOpen);
        EXPECT_EQ(box.DoModal(), c.expected);
        EXPECT_FALSE(stillOpen);
    }
}

TEST(MsgBox, WithoutCancelOrDefaultOnlyAButtonEndsTheBox) {
    struct Case {
        const char* name;
        std::function<void(QWidget*)> act;
    };
    const Case cases[] = {
        {"Escape", [](QWidget* w) { QTest::keyClick(w, Qt::Key_Escape); }},
        {"close box", [](QWidget* w) { w->close(); }},
        // Enter with the focus away from every button and no default button.
        {"Enter in the text",
         [](QWidget* w) {
             auto* text = w->findChild<QLabel*>(QStringLiteral("msgBoxText"));
             text->setFocus();
             QTest::keyClick(text, Qt::Key_Return);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CTcxMsgBox box;
        box.SetText(QStringLiteral("A new version is available."));
        box.AddButton(1, false, false, QStringLiteral("Download Now"));
        box.AddButton(2, false, false, QStringLiteral("Later"));
        bool stillOpen = false;
        bool closeBox = true;
        WhenModalShown(
            [&](QWidget* w) {
                closeBox = w->windowFlags().testFlag(Qt::WindowCloseButtonHint);
                c.act(w);
            },
            &stillOpen);
        // The helper ends the box with its first button once the key did nothing.
        EXPECT_EQ(box.DoModal(), 1);
        EXPECT_TRUE(stillOpen);
        EXPECT_FALSE(closeBox);
    }
}

// A name wider than half the screen with no break in it, and a text taller
// than the screen: the box stays on the screen and every character can still
// be seen.
TEST(MsgBox, TextTooLongForTheScreenStaysReadable) {
    QString tall;
    for (int i = 0; i < 300; ++i)
        tall += QStringLiteral("Line %1 of the list of files\n").arg(i);
    const struct {
        const char* name;
        QString text;
        bool wordsFitTheScreen;
    } cases[] = {
        {"unbreakable name",
         QStringLiteral("The file '%1.txt' already exists.").arg(QString(70, QLatin1Char('x'))),
         true},
        {"taller than the screen", tall, true},
        // Cut off at the screen's edge: the box still fits and can be answered.
        {"name wider than the screen", QString(300, QLatin1Char('x')), false},
    };
    const QRect screen = QApplication::primaryScreen()->availableGeometry();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CTcxMsgBox box;
        box.SetText(c.text);
        box.AddButton(1, true, true, QStringLiteral("OK"));
        bool fits = false;
        bool wholeTextReachable = false;
        QSize size;
        WhenModalShown([&](QWidget* w) {
            size = w->size();
            auto* text = w->findChild<QLabel*>(QStringLiteral("msgBoxText"));
            auto* area = w->findChild<QScrollArea*>(QStringLiteral("msgBoxTextArea"));
            ASSERT_TRUE(text && area);
            // The longest word is as wide as the label's narrowest wrap.
            fits = text->minimumSizeHint().width() <= text->width();
            const int visible = area->viewport()->height() + area->verticalScrollBar()->maximum();
            wholeTextReachable = visible >= text->height();
            auto* ok = w->findChild<QPushButton*>(QStringLiteral("msgBoxButton1"));
            EXPECT_LE(ok->geometry().bottom(), w->height());
            ok->click();
        });
        box.DoModal();
        if (c.wordsFitTheScreen) {
            EXPECT_TRUE(fits);
        }
        EXPECT_TRUE(wholeTextReachable);
        EXPECT_LE(size.width(), screen.width());
        EXPECT_LE(size.height(), screen.height());
    }
}
