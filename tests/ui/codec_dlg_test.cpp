// The codec tool: its stored options and their repair, the options dialog,
// encoding and decoding through the widgets, ill-formed text, the edit
// buttons, dropped files, and how the main window opens and keeps it.
#include "app/source_file_list_doc.hpp"
#include "codecs/html_entity_codec.hpp"
#include "platform/file_io.hpp"
#include "settings/app_settings.hpp"
#include "support/modal_answer.hpp"
#include "support/test_support.hpp"
#include "ui/codec_dlg.hpp"
#include "ui/html_codec_option_dlg.hpp"
#include "ui/varnolt_dlg.hpp"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDropEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>
#include <optional>
#include <unistd.h>

namespace varnolt::ui {
namespace {

using Bytes = std::vector<std::uint8_t>;

const Bytes kDefaultBytes{0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0};

template <class T> T* Child(QWidget& parent, const char* name) {
    T* child = parent.findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(child, nullptr) << name;
    return child;
}

std::string RegFile(const std::string& body) {
    return "Windows Registry Editor Version 5.00\r\n\r\n"
           "[HKEY_CURRENT_USER\\Software\\Brambleware\\Varnolt 5]\r\n" +
           body;
}

std::optional<Bytes> StoredBytes(const std::string& path) {
    CAppSettings settings(path);
    Bytes bytes;
    if (!settings.ReadBinary(settings.CodecOptions, bytes)) {
        return std::nullopt;
    }
    return bytes;
}

// The main instruction of the task dialog that `call` opens, answered with
// its OK button; empty when none opened.
QString MessageOf(const std::function<void()>& call) {
    QString text;
    test::WhenModalShown([&text](QWidget* dialog) {
        if (auto* label = dialog->findChild<QLabel*>(QStringLiteral("taskMainInstruction"))) {
            text = label->text();
        }
        if (auto* ok = dialog->findChild<QPushButton*>(QStringLiteral("taskButton1"))) {
            ok->click();
        }
    });
    call();
    return text;
}

// The options dialog's state as "Option..." opens it; `act` then changes it
// and ends it (the button's objectName: okButton or cancelButton).
struct OptionState {
    bool bPrefer = false;
    bool bDecimal = false;
    bool bHex = false;
    QString strExample;
};

OptionState RunOptionDialog(CCodecDlg& dlg, const std::function<void(QWidget*)>& act) {
    OptionState seen;
    test::WhenModalShown([&](QWidget* options) {
        seen.bPrefer = Child<QCheckBox>(*options, "preferNamesCheck")->isChecked();
        seen.bDecimal = Child<QRadioButton>(*options, "decimalRadio")->isChecked();
        seen.bHex = Child<QRadioButton>(*options, "hexadecimalRadio")->isChecked();
        seen.strExample = Child<QLineEdit>(*options, "exampleOutputEdit")->text();
        act(options);
    });
    Child<QPushButton>(dlg, "optionButton")->click();
    return seen;
}

struct Fixture {
    test::TempDir dir;
    std::string path = dir / "settings.reg";
    std::unique_ptr<CAppSettings> settings;

    void Store(const Bytes& bytes) {
        CAppSettings writer(path);
        ASSERT_TRUE(writer.WriteBinary(writer.CodecOptions, bytes));
    }
    CAppSettings& Settings() {
        settings = std::make_unique<CAppSettings>(path);
        return *settings;
    }
};

TEST(CodecDlg, StoredOptionsAreLoadedRepairedAndWrittenBack) {
    const struct {
        const char* name;
        std::optional<Bytes> stored; // none: no value at all
        std::string regBody;         // else the value written as text (wrong type)
        int codec;
        bool dirty;
        Bytes after;
    } cases[] = {
        {"NoValue", std::nullopt, "", 0, true, kDefaultBytes},
        {"EightBytesIgnored", Bytes{1, 0, 0, 0, 1, 0, 0, 0}, "", 0, true, kDefaultBytes},
        {"ThirteenBytesIgnored", Bytes{1, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0}, "", 0, true,
         kDefaultBytes},
        {"NotBinaryIgnored", std::nullopt, "\"CodecOptions\"=dword:00000001\r\n", 0, true,
         kDefaultBytes},
        // Only the field out of range is reset; the others stay as stored.
        {"CodecFiveIsHtml", Bytes{5, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0}, "", 0, true,
         Bytes{0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0}},
        {"NegativeCodecIsHtml", Bytes{0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 1, 0, 0, 0}, "", 0, true,
         kDefaultBytes},
        {"BadNumericFormIsDecimal", Bytes{1, 0, 0, 0, 0, 1, 0, 0, 2, 0xAA, 0xBB, 0xCC}, "", 1, true,
         Bytes{1, 0, 0, 0, 0, 0, 0, 0, 2, 0xAA, 0xBB, 0xCC}},
        {"ValidValueKept", Bytes{1, 0, 0, 0, 1, 0, 0, 0, 7, 1, 2, 3}, "", 1, false,
         Bytes{1, 0, 0, 0, 1, 0, 0, 0, 7, 1, 2, 3}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Fixture f;
        if (c.stored) {
            f.Store(*c.stored);
        } else if (!c.regBody.empty()) {
            test::WriteFile(f.path, RegFile(c.regBody));
        }
        {
            CCodecDlg dlg(f.Settings());
            EXPECT_EQ(Child<QComboBox>(dlg, "codecCombo")->currentIndex(), c.codec);
            EXPECT_EQ(Child<QPushButton>(dlg, "optionButton")->isHidden(), c.codec != 0);
            EXPECT_EQ(dlg.IsDirty(), c.dirty);
        }
        f.settings.reset();
        EXPECT_EQ(StoredBytes(f.path), std::optional<Bytes>(c.after));
    }
}

TEST(CodecDlg, OptionDialogOpensWithTheOptionsAndOnlyOkChangesThem) {
    Fixture f;
    f.Store(kDefaultBytes);
    {
        CCodecDlg dlg(f.Settings());
        Child<CCodecEdit>(dlg, "unicodeTextEdit")->setPlainText(QStringLiteral("\u20AC\u2126"));

        // Both settings changed, then Cancel: nothing changes.
        const OptionState first = RunOptionDialog(dlg, [](QWidget* options) {
            Child<QCheckBox>(*options, "preferNamesCheck")->click();
            Child<QRadioButton>(*options, "hexadecimalRadio")->click();
            EXPECT_EQ(Child<QLineEdit>(*options, "exampleOutputEdit")->text(),
                      QStringLiteral("&#x20ac;&#x2126;"));
            Child<QPushButton>(*options, "cancelButton")->click();
        });
        EXPECT_TRUE(first.bPrefer);
        EXPECT_TRUE(first.bDecimal);
        EXPECT_FALSE(first.bHex);
        EXPECT_EQ(first.strExample, QStringLiteral("&euro;&#8486;"));
        EXPECT_FALSE(dlg.IsDirty());
        Child<QPushButton>(dlg, "encodeButton")->click();
        EXPECT_EQ(Child<CCodecEdit>(dlg, "encodedTextEdit")->Text(),
                  QStringLiteral("&euro;&#8486;"));

        // The same changes with OK reach the codec and the stored value.
        RunOptionDialog(dlg, [](QWidget* options) {
            Child<QCheckBox>(*options, "preferNamesCheck")->click();
            Child<QRadioButton>(*options, "hexadecimalRadio")->click();
            Child<QPushButton>(*options, "okButton")->click();
        });
        EXPECT_TRUE(dlg.IsDirty());
        Child<QPushButton>(dlg, "encodeButton")->click();
        EXPECT_EQ(Child<CCodecEdit>(dlg, "encodedTextEdit")->Text(),
                  QStringLiteral("&#x20ac;&#x2126;"));
        const OptionState again = RunOptionDialog(
            dlg, [](QWidget* options) { Child<QPushButton>(*options, "cancelButton")->click(); });
        EXPECT_FALSE(again.bPrefer);
        EXPECT_TRUE(again.bHex);
    }
    f.settings.reset();
    EXPECT_EQ(StoredBytes(f.path), (Bytes{0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0}));
}

// The example texts are fixed, and each is what the codec really gives.
TEST(CodecDlg, OptionDialogExampleFollowsEveryClick) {
    CHtmlCodecOptionDlg options(true, 0);
    auto* prefer = Child<QCheckBox>(options, "preferNamesCheck");
    auto* decimal = Child<QRadioButton>(options, "decimalRadio");
    auto* hex = Child<QRadioButton>(options, "hexadecimalRadio");
    auto* example = Child<QLineEdit>(options, "exampleOutputEdit");
    EXPECT_EQ(Child<QLineEdit>(options, "exampleInputEdit")->text(),
              QStringLiteral("\u20AC\u2126"));
    const struct {
        QAbstractButton* click;
        bool prefer;
        int form;
        const char16_t* text;
    } steps[] = {
        {nullptr, true, 0, u"&euro;&#8486;"}, {prefer, false, 0, u"&#8364;&#8486;"},
        {hex, false, 1, u"&#x20ac;&#x2126;"}, {prefer, true, 1, u"&euro;&#x2126;"},
        {decimal, true, 0, u"&euro;&#8486;"},
    };
    for (const auto& step : steps) {
        if (step.click != nullptr) {
            step.click->click();
        }
        SCOPED_TRACE(QString::fromStdU16String(step.text).toStdString());
        EXPECT_EQ(options.PreferNames(), step.prefer);
        EXPECT_EQ(options.NumericForm(), step.form);
        EXPECT_EQ(example->text(), QString::fromStdU16String(step.text));
        CHtmlEntityCodec codec(step.form, step.prefer, true);
        EXPECT_EQ(codec.Encode(u"\u20AC\u2126"), step.text);
        // A dialog opened in that state shows the same.
        CHtmlCodecOptionDlg fresh(step.prefer, step.form);
        EXPECT_EQ(Child<QLineEdit>(fresh, "exampleOutputEdit")->text(), example->text());
    }
}

TEST(CodecDlg, JavaHidesOptionAndEncodesEscapes) {
    Fixture f;
    f.Store(kDefaultBytes);
    CCodecDlg dlg(f.Settings());
    auto* combo = Child<QComboBox>(dlg, "codecCombo");
    ASSERT_EQ(combo->count(), 2);
    EXPECT_EQ(combo->itemText(0), QStringLiteral("HTML Char Entity"));
    EXPECT_EQ(combo->itemText(1), QStringLiteral("Java Unicode Notation"));
    combo->setCurrentIndex(1);
    EXPECT_TRUE(Child<QPushButton>(dlg, "optionButton")->isHidden());
    EXPECT_TRUE(dlg.IsDirty());
    EXPECT_EQ(dlg.Options().nCodec, 1);
    Child<CCodecEdit>(dlg, "unicodeTextEdit")->setPlainText(QStringLiteral("\u20AC"));
    Child<QPushButton>(dlg, "encodeButton")->click();
    EXPECT_EQ(Child<CCodecEdit>(dlg, "encodedTextEdit")->Text(), QStringLiteral("\\u20ac"));
    combo->setCurrentIndex(0);
    EXPECT_FALSE(Child<QPushButton>(dlg, "optionButton")->isHidden());
}

TEST(CodecDlg, EncodeDecodeRoundTripThroughTheWidgets) {
    // A no-break space, markup characters, a supplementary character and
    // several lines: nothing may be lost on the way through the boxes.
    const QString text = QString::fromStdU16String(
        u"a\u00A0b <p class=\"x\">&amp;</p>\n\u00E9\u20AC\U0001F600\n\nend\\u0041");
    const struct {
        int codec;
        const char16_t* encoded;
    } cases[] = {
        {0, u"a&nbsp;b &lt;p class=&quot;x&quot;&gt;&amp;amp;&lt;/p&gt;\n"
            u"&eacute;&euro;&#128512;\n\nend\\u0041"},
        {1, u"a\u00A0b <p class=\"x\">&amp;</p>\n\u00E9\\u20ac\\ud83d\\ude00\n\nend\\u0041"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.codec);
        Fixture f;
        CCodecDlg dlg(f.Settings());
        Child<QComboBox>(dlg, "codecCombo")->setCurrentIndex(c.codec);
        auto* upper = Child<CCodecEdit>(dlg, "unicodeTextEdit");
        auto* lower = Child<CCodecEdit>(dlg, "encodedTextEdit");
        upper->setPlainText(text);
        Child<QPushButton>(dlg, "encodeButton")->click();
        EXPECT_EQ(lower->Text(), QString::fromStdU16String(c.encoded));
        upper->clear();
        Child<QPushButton>(dlg, "decodeButton")->click();
        // The Java codec turns the literal escape back into a letter.
        QString expected = text;
        if (c.codec == 1) {
            expected.replace(QStringLiteral("\\u0041"), QStringLiteral("A"));
        }
        EXPECT_EQ(upper->Text(), expected);
    }
}

TEST(CodecDlg, HtmlDecodingHereTurnsMarkupReferencesIntoCharacters) {
    Fixture f;
    CCodecDlg dlg(f.Settings());
    Child<CCodecEdit>(dlg, "encodedTextEdit")
        ->setPlainText(QStringLiteral("&#60;&lt;&gt;&amp;&quot;&#x41;&#55357;"));
    Child<QPushButton>(dlg, "decodeButton")->click();
    // References to surrogates stay as written.
    EXPECT_EQ(Child<CCodecEdit>(dlg, "unicodeTextEdit")->Text(), QStringLiteral("<<>&\"A&#55357;"));
}

TEST(CodecDlg, IllFormedInputLeavesTheTargetBoxAsItWas) {
    Fixture f;
    CCodecDlg dlg(f.Settings());
    auto* upper = Child<CCodecEdit>(dlg, "unicodeTextEdit");
    auto* lower = Child<CCodecEdit>(dlg, "encodedTextEdit");
    Child<QComboBox>(dlg, "codecCombo")->setCurrentIndex(1);

    // A lone high-surrogate escape decodes to ill-formed text.
    upper->setPlainText(QStringLiteral("kept above"));
    lower->setPlainText(QStringLiteral("\\ud83d"));
    const QString decodeMessage =
        MessageOf([&] { Child<QPushButton>(dlg, "decodeButton")->click(); });
    EXPECT_FALSE(decodeMessage.isEmpty());
    EXPECT_EQ(upper->Text(), QStringLiteral("kept above"));

    // A lone surrogate in the text cannot be encoded, by either codec.
    for (int codec : {0, 1}) {
        Child<QComboBox>(dlg, "codecCombo")->setCurrentIndex(codec);
        upper->setPlainText(QStringLiteral("x") + QChar(0xDC00) + QStringLiteral("y"));
        ASSERT_EQ(upper->Text().size(), 3);
        lower->setPlainText(QStringLiteral("kept below"));
        const QString encodeMessage =
            MessageOf([&] { Child<QPushButton>(dlg, "encodeButton")->click(); });
        EXPECT_FALSE(encodeMessage.isEmpty());
        EXPECT_EQ(lower->Text(), QStringLiteral("kept below"));
    }
}

TEST(CodecDlg, EditButtonsFollowSelectionAndClipboard) {
    Fixture f;
    CCodecDlg dlg(f.Settings());
    dlg.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
    QClipboard* clipboard = QGuiApplication::clipboard();
    auto* upper = Child<CCodecEdit>(dlg, "unicodeTextEdit");
    auto* lower = Child<CCodecEdit>(dlg, "encodedTextEdit");
    auto enabled = [&](const char* name) { return Child<QPushButton>(dlg, name)->isEnabled(); };

    clipboard->clear();
    EXPECT_FALSE(enabled("unicodePasteButton"));
    EXPECT_FALSE(enabled("encodedPasteButton"));
    clipboard->setText(QStringLiteral("pasted"));
    EXPECT_TRUE(enabled("unicodePasteButton"));
    EXPECT_TRUE(enabled("encodedPasteButton"));

    upper->setPlainText(QStringLiteral("hello world"));
    EXPECT_FALSE(enabled("unicodeCutButton"));
    EXPECT_FALSE(enabled("unicodeCopyButton"));
    QTextCursor cursor = upper->textCursor();
    cursor.setPosition(0);
    cursor.setPosition(5, QTextCursor::KeepAnchor);
    upper->setTextCursor(cursor);
    EXPECT_TRUE(enabled("unicodeCutButton"));
    EXPECT_TRUE(enabled("unicodeCopyButton"));
    EXPECT_FALSE(enabled("encodedCutButton"));
    EXPECT_FALSE(enabled("encodedCopyButton"));

    Child<QPushButton>(dlg, "unicodeCopyButton")->click();
    EXPECT_EQ(clipboard->text(), QStringLiteral("hello"));
    Child<QPushButton>(dlg, "unicodeCutButton")->click();
    EXPECT_EQ(upper->Text(), QStringLiteral(" world"));
    EXPECT_FALSE(enabled("unicodeCutButton"));
    Child<QPushButton>(dlg, "encodedPasteButton")->click();
    EXPECT_EQ(lower->Text(), QStringLiteral("hello"));
    EXPECT_TRUE(lower->hasFocus());
    clipboard->clear();
}

// A file manager's drop on a box's viewport, as Qt delivers it.
bool DropOn(CCodecEdit* box, const QList<QUrl>& urls) {
    QMimeData dropped;
    dropped.setUrls(urls);
    const QPoint at(10, 10);
    const Qt::DropActions actions = Qt::CopyAction | Qt::MoveAction;
    QDragEnterEvent enter(at, actions, &dropped, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(box->viewport(), &enter);
    QDragMoveEvent move(at, actions, &dropped, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(box->viewport(), &move);
    QDropEvent drop(QPointF(at), actions, &dropped, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(box->viewport(), &drop);
    QCoreApplication::processEvents();
    return drop.isAccepted() && drop.dropAction() == Qt::CopyAction;
}

QUrl Url(const std::string& path) {
    return QUrl::fromLocalFile(QString::fromStdString(path));
}

TEST(CodecDlg, DroppedFileFillsTheBox) {
    Fixture f;
    const std::string utf16 = f.dir / "utf16.txt";
    test::WriteFile(utf16, std::string("\xFF\xFE"
                                       "A\0\r\0\n\0\xAC\x20\x3D\xD8\x00\xDE",
                                       14));
    const std::string utf8 = f.dir / "second.txt";
    test::WriteFile(utf8, "second");
    ASSERT_EQ(::symlink(utf8.c_str(), (f.dir / "link").c_str()), 0);

    CCodecDlg dlg(f.Settings());
    dlg.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
    auto* upper = Child<CCodecEdit>(dlg, "unicodeTextEdit");
    auto* lower = Child<CCodecEdit>(dlg, "encodedTextEdit");
    upper->setPlainText(QStringLiteral("replaced"));

    // Only the first file counts.
    EXPECT_TRUE(DropOn(upper, {Url(utf16), Url(utf8)}));
    EXPECT_EQ(upper->Text(), QString::fromStdU16String(u"A\n\u20AC\U0001F600"));
    // A link is followed to its file, in either box.
    EXPECT_TRUE(DropOn(lower, {Url(f.dir / "link")}));
    EXPECT_EQ(lower->Text(), QStringLiteral("second"));

    // A folder or a missing file is not taken: the box keeps its text.
    for (const std::string& path : {f.dir.Path(), f.dir / "missing.txt"}) {
        DropOn(upper, {Url(path)});
        EXPECT_EQ(upper->Text(), QString::fromStdU16String(u"A\n\u20AC\U0001F600"));
    }
}

TEST(CodecDlg, UnreadableDroppedFileIsReportedAndTheBoxKept) {
    Fixture f;
    const std::string path = f.dir / "broken.txt";
    test::WriteFile(path, "never shown");
    CCodecDlg dlg(f.Settings());
    auto* upper = Child<CCodecEdit>(dlg, "unicodeTextEdit");
    upper->setPlainText(QStringLiteral("kept"));
    platform::InjectFault(platform::FaultOp::kSourceRead, 1, EIO);
    const QString message = MessageOf([&] { EXPECT_FALSE(dlg.DropFiles(upper, {Url(path)})); });
    platform::ClearFaults();
    EXPECT_TRUE(message.contains(QStringLiteral("broken.txt"))) << message.toStdString();
    EXPECT_EQ(upper->Text(), QStringLiteral("kept"));
}

TEST(CodecDlg, MainWindowOpensOneToolHidesItAndDestroysItWithItself) {
    Fixture f;
    CSourceFileListDoc files;
    {
        CVarnoltDlg main(f.Settings(), files, {});
        main.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&main));
        EXPECT_EQ(main.findChild<CCodecDlg*>(), nullptr);

        QApplication::setActiveWindow(&main);
        QTest::keyClick(&main, Qt::Key_F5);
        auto* codec = main.findChild<CCodecDlg*>();
        ASSERT_NE(codec, nullptr);
        EXPECT_TRUE(codec->isVisible());
        EXPECT_EQ(codec->windowTitle(), QStringLiteral("Unicode Encoder/Decoder"));
        EXPECT_FALSE(codec->isModal());

        auto* upper = Child<CCodecEdit>(*codec, "unicodeTextEdit");
        upper->setPlainText(QStringLiteral("stays"));
        QTest::keyClick(codec, Qt::Key_Escape);
        EXPECT_FALSE(codec->isVisible());

        // The menu item shows the same window again, text and all.
        Child<QAction>(main, "unicodeCodecAction")->trigger();
        EXPECT_EQ(main.findChildren<CCodecDlg*>().size(), 1);
        EXPECT_TRUE(codec->isVisible());
        EXPECT_EQ(upper->Text(), QStringLiteral("stays"));
        auto* combo = Child<QComboBox>(*codec, "codecCombo");
        combo->setFocus();
        QTest::keyClick(combo, Qt::Key_Return);
        EXPECT_FALSE(codec->isVisible());
        codec->show();
        codec->close();
        EXPECT_FALSE(codec->isVisible());
        EXPECT_EQ(main.findChild<CCodecDlg*>(), codec);
        // No value was stored: the defaults are written once the tool goes.
        EXPECT_EQ(StoredBytes(f.path), std::nullopt);
    }
    f.settings.reset();
    EXPECT_EQ(StoredBytes(f.path), std::optional<Bytes>(kDefaultBytes));
}

} // namespace
} // namespace varnolt::ui
