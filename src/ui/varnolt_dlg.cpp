// The main window: options, source list and the commands around a run.
#include "ui/varnolt_dlg.hpp"

#include "app/desktop_link.hpp"
#include "app/run_validation.hpp"
#include "app/source_file_list_doc.hpp"
#include "convert/conv_controller.hpp"
#include "convert/log.hpp"
#include "platform/file_io.hpp"
#include "platform/paths.hpp"
#include "platform/small_file.hpp"
#include "settings/app_settings.hpp"
#include "settings/encoding_catalogue.hpp"
#include "settings/string_table.hpp"
#include "ui/adv_pref_sheet.hpp"
#include "ui/codec_dlg.hpp"
#include "ui/conv_progress_dlg.hpp"
#include "ui/detect_result_dlg.hpp"
#include "ui/dialog_keys.hpp"
#include "ui/file_dialog_ex_cfg_profile.hpp"
#include "ui/file_drop_list_ctrl.hpp"
#include "ui/find_file_dlg.hpp"
#include "ui/help_viewer.hpp"
#include "ui/overwrite_question_dlg.hpp"
#include "ui/result_dlg.hpp"
#include "ui/task_dialog.hpp"
#include "ui/update_check.hpp"

#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontMetrics>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStandardPaths>
#include <QStyle>
#include <QTextEdit>
#include <QTimer>
#include <QToolTip>
#include <QTreeWidget>
#include <QUrl>
#include <QVBoxLayout>
#include <atomic>
#include <cstring>
#include <mutex>
#include <thread>
#include <utility>

namespace varnolt::ui {

namespace {

constexpr int kMsgUnsupportedEncoding = 3000;
constexpr int kMsgNoFiles = 3002;
constexpr int kMsgBadBackupPrefix = 3003;
constexpr int kMsgBadDestPrefix = 3004;
constexpr int kMsgBadFolder = 3005;
constexpr int kMsgBadProfile = 3011;
constexpr int kMsgCannotWriteProfile = 3012;
constexpr int kAddFilesFilter = 102;
constexpr int kProfileFilter = 111;
constexpr int kFormatUtf8 = 2;
constexpr int kTooltipDuration = 20000;
constexpr int kButtonContinue = 6;
constexpr int kButtonCancel = 7;

// The one state the stored options or a profile can produce that no
// control can: no output option at all. A run needs one, so it is refused.
const char* const kNoOutputOption = "No output option is selected.";
const char* const kFeedbackAddress = "mailto:support@varnolt.example.org";

QString Text(int id) {
    const std::string_view text = LoadString(id);
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QString FromUtf8(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// Tooltips are rich text so that long ones wrap at their own maximum width
// instead of the desktop's; short ones keep their natural width.
QString RichTooltip(const QString& text, int maxWidth = 0) {
    QString html = text.toHtmlEscaped();
    html.replace(QLatin1Char('\n'), QStringLiteral("<br>"));
    if (maxWidth > 0) {
        const QFontMetrics metrics(QToolTip::font());
        int widest = 0;
        for (const QString& line : text.split(QLatin1Char('\n'))) {
            widest = std::max(widest, metrics.horizontalAdvance(line));
        }
        if (widest > maxWidth) {
            return QStringLiteral("<table width=\"%1\"><tr><td>%2</td></tr></table>")
                .arg(maxWidth)
                .arg(html);
        }
    }
    return QStringLiteral("<qt>%1</qt>").arg(html);
}

void SetTip(QWidget* widget, const QString& text, int maxWidth = 0) {
    widget->setToolTip(RichTooltip(text, maxWidth));
    widget->setToolTipDuration(kTooltipDuration);
}

// Each file dialog opens in the folder it was last used in, kept in the
// settings file under the dialog's client identifier.
constexpr const char* kAddFilesClientId = "{084AF227-1B0C-4B3F-8558-364E451775F9}";

void OpenInLastFolder(CAppSettings& settings, const char* clientId, QFileDialog& dialog) {
    CRegStringSetting lastFolder(settings, CFileDialogEx::FolderSettingName(clientId), "");
    const QString folder = QString::fromStdString(lastFolder.Get());
    if (!folder.isEmpty() && QFileInfo(folder).isDir()) {
        dialog.setDirectory(folder);
    }
}

void KeepLastFolder(CAppSettings& settings, const char* clientId, const QString& chosen) {
    CRegStringSetting lastFolder(settings, CFileDialogEx::FolderSettingName(clientId), "");
    lastFolder.Set(QFileInfo(chosen).absolutePath().toStdString());
    lastFolder.Write();
}

QPushButton* IconButton(QStyle::StandardPixmap icon, const char* name, QWidget* parent) {
    auto* button = new QPushButton(parent);
    button->setIcon(parent->style()->standardIcon(icon));
    button->setIconSize(QSize(16, 16));
    button->setObjectName(QString::fromLatin1(name));
    return button;
}

// Lines of text the preview pane shows without scrolling.
constexpr int kPreviewLines = 5;

QString PreviewReadError(int error) {
    return error == platform::kErrNotRegularFile ? QStringLiteral("it is not a regular file")
                                                 : QString::fromLocal8Bit(std::strerror(error));
}

} // namespace

// Workers post their answers through this; once the window is going, Close
// makes later posts do nothing, and the window's own destruction drops the
// answers already queued for it. Workers that read many files stop early.
struct CVarnoltDlg::CWorkerChannel {
    std::mutex mutex;
    CVarnoltDlg* pOwner;
    std::atomic<bool> bClosed{false};

    explicit CWorkerChannel(CVarnoltDlg* owner) : pOwner(owner) {}
    void Post(std::function<void(CVarnoltDlg&)> answer) {
        const std::lock_guard lock(mutex);
        if (pOwner != nullptr) {
            CVarnoltDlg* owner = pOwner;
            QMetaObject::invokeMethod(
                owner, [owner, answer = std::move(answer)] { answer(*owner); },
                Qt::QueuedConnection);
        }
    }
    void Close() {
        bClosed = true;
        const std::lock_guard lock(mutex);
        pOwner = nullptr;
    }
};

CVarnoltDlg::CVarnoltDlg(CAppSettings& settings, CSourceFileListDoc& sourceFiles,
                         const std::string& profilePath, QWidget* parent)
    : QDialog(parent), m_settings(settings), m_sourceFiles(sourceFiles),
      m_fnOpenUrl(&QDesktopServices::openUrl),
      m_fnReadPreview([](const std::string& path, std::int32_t codePage) {
          return ReadFilePreview(path, codePage);
      }),
      m_fnDetect([](const std::string& path) { return DetectFileEncoding(path); }),
      m_pChannel(std::make_shared<CWorkerChannel>(this)) {
    setObjectName(QStringLiteral("varnoltDlg"));
    setWindowTitle(Text(57344));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    BuildControls();
    BuildMenu();
    layout()->setSizeConstraint(QLayout::SetFixedSize);

    m_pFileList->InitList();
    m_pFileList->Refill();
    UpdateItemCount();

    if (profilePath.empty() || !LoadProfile(profilePath)) {
        LoadFromSettings();
    }
    m_pPreviewTimer = new QTimer(this);
    m_pPreviewTimer->setSingleShot(true);
    m_pPreviewTimer->setInterval(0);
    connect(m_pPreviewTimer, &QTimer::timeout, this, &CVarnoltDlg::StartPreviewRead);
    connect(m_pEncodingCombo, &QComboBox::currentIndexChanged, this,
            [this](int) { UpdatePreview(); });
    connect(m_pFileList, &QTreeWidget::itemSelectionChanged, this, [this] {
        UpdatePreview();
        UpdateDetectEnable();
    });
    connect(m_pFileList, &QTreeWidget::currentItemChanged, this, [this] { UpdatePreview(); });
    UpdatePreview();
    UpdateDetectEnable();
}

CVarnoltDlg::~CVarnoltDlg() {
    m_pChannel->Close();
}

void CVarnoltDlg::BuildControls() {
    auto* conversion = new QGroupBox(QStringLiteral("Conversion Options"), this);
    auto* conversionGrid = new QGridLayout(conversion);
    m_pEncodingCombo = new QComboBox(conversion);
    m_pEncodingCombo->setObjectName(QStringLiteral("sourceEncodingCombo"));
    for (int i = 0; i < EncodingCatalogue::Count(); ++i) {
        const EncodingEntry& entry = EncodingCatalogue::Entry(i);
        m_pEncodingCombo->addItem(
            QString::fromUtf8(entry.strName.data(), static_cast<qsizetype>(entry.strName.size())));
        std::string tip(kEncodingItemTooltip);
        tip.replace(tip.find("%d"), 2, std::to_string(entry.nCodePage));
        m_pEncodingCombo->setItemData(i, FromUtf8(tip), Qt::ToolTipRole);
    }
    SetTip(m_pEncodingCombo, FromUtf8(std::string(kEncodingListTooltip)));
    m_pFormatCombo = new QComboBox(conversion);
    m_pFormatCombo->setObjectName(QStringLiteral("unicodeFormatCombo"));
    for (int i = 0; i < EncodingCatalogue::FormatCount(); ++i) {
        const UnicodeFormatEntry& format = EncodingCatalogue::Format(i);
        m_pFormatCombo->addItem(FromUtf8(std::string(format.strName)));
        m_pFormatCombo->setItemData(i, FromUtf8(std::string(format.strTooltip)), Qt::ToolTipRole);
    }
    SetTip(m_pFormatCombo, FromUtf8(std::string(kFormatListTooltip)));
    connect(m_pFormatCombo, &QComboBox::currentIndexChanged, this,
            [this](int) { UpdateMetaEnable(); });

    m_pMetaCheck =
        new QCheckBox(QStringLiteral("Add UTF-8 charset meta tag to HTML files (UTF-8 Only)"));
    m_pMetaCheck->setObjectName(QStringLiteral("utf8MetaCheck"));
    SetTip(m_pMetaCheck,
           QStringLiteral("To add/update the charset meta tag in HTML Header Session during "
                          "Conversion.  This option has effect on HTML-based file and conversion "
                          "to UTF-8 only."),
           300);
    m_pEntityCheck =
        new QCheckBox(QStringLiteral("Convert HTML character entities to raw Unicode characters"));
    m_pEntityCheck->setObjectName(QStringLiteral("entityToUnicodeCheck"));
    SetTip(m_pEntityCheck, Text(6163), 300);
    m_pBomCheck = new QCheckBox(QStringLiteral("Add Byte-Order Mark"));
    m_pBomCheck->setObjectName(QStringLiteral("addBomCheck"));
    SetTip(m_pBomCheck, Text(6162), 300);

    conversionGrid->addWidget(new QLabel(QStringLiteral("Source Encoding:")), 0, 0);
    conversionGrid->addWidget(m_pEncodingCombo, 0, 1);
    m_pDetectButton = new QPushButton(QStringLiteral("&Detect"), conversion);
    m_pDetectButton->setObjectName(QStringLiteral("detectButton"));
    SetTip(m_pDetectButton, QStringLiteral("Detect the encoding of the selected files"));
    connect(m_pDetectButton, &QPushButton::clicked, this, &CVarnoltDlg::OnDetect);
    conversionGrid->addWidget(m_pDetectButton, 0, 2);
    conversionGrid->addWidget(new QLabel(QStringLiteral("Unicode Format:")), 1, 0);
    conversionGrid->addWidget(m_pFormatCombo, 1, 1);
    conversionGrid->addWidget(m_pMetaCheck, 2, 0, 1, 3);
    conversionGrid->addWidget(m_pEntityCheck, 3, 0, 1, 3);
    conversionGrid->addWidget(m_pBomCheck, 4, 0, 1, 3);
    conversionGrid->setColumnStretch(1, 1);

    auto* output = new QGroupBox(QStringLiteral("Output Options"), this);
    auto* outputGrid = new QGridLayout(output);
    m_pOutputGroup = new QButtonGroup(this);
    const char* const radioTexts[3] = {"Overwrite after backup original files",
                                       "Add a filename prefix to converted files",
                                       "Output to a folder"};
    const char* const radioNames[3] = {"backupRadio", "prefixRadio", "folderRadio"};
    const char* const editNames[3] = {"backupPrefixEdit", "destPrefixEdit", "outputFolderEdit"};
    const char* const editTips[3] = {"Filename prefix of backup files",
                                     "Filename prefix of converted files", "Output folder"};
    const int radioTipIds[3] = {6159, 6160, 6161};
    const int radioTipWidths[3] = {350, 350, 300};
    for (int i = 0; i < 3; ++i) {
        m_pRadios[i] = new QRadioButton(QString::fromLatin1(radioTexts[i]), output);
        m_pRadios[i]->setObjectName(QString::fromLatin1(radioNames[i]));
        SetTip(m_pRadios[i], Text(radioTipIds[i]), radioTipWidths[i]);
        m_pOutputGroup->addButton(m_pRadios[i], i);
        m_pEdits[i] = new QLineEdit(output);
        m_pEdits[i]->setObjectName(QString::fromLatin1(editNames[i]));
        m_pEdits[i]->setPlaceholderText(i < 2 ? QStringLiteral("Specify a Filename Prefix")
                                              : QStringLiteral("Specify Output Folder"));
        SetTip(m_pEdits[i], QString::fromLatin1(editTips[i]));
        m_pEdits[i]->installEventFilter(this);
        // Wide enough for a folder path and the whole cue text.
        m_pEdits[i]->setMinimumWidth(240);
        outputGrid->addWidget(m_pRadios[i], i, 0);
        outputGrid->addWidget(m_pEdits[i], i, 1);
    }
    // An exclusive group cannot uncheck its last button, and a stored
    // option outside 0 to 2 must show none checked.
    m_pOutputGroup->setExclusive(false);
    connect(m_pOutputGroup, &QButtonGroup::idClicked, this,
            [this](int id) { SetOutputOption(id); });
    m_pBrowseButton = IconButton(QStyle::SP_DirOpenIcon, "browseFolderButton", output);
    SetTip(m_pBrowseButton, QStringLiteral("Select an Output Folder"));
    connect(m_pBrowseButton, &QPushButton::clicked, this, &CVarnoltDlg::OnBrowseFolder);
    outputGrid->addWidget(m_pBrowseButton, 2, 2);
    m_pOutputHelp = new QLabel(output);
    m_pOutputHelp->setObjectName(QStringLiteral("outputHelpLabel"));
    m_pOutputHelp->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxQuestion).pixmap(16, 16));
    m_pOutputHelp->setCursor(Qt::PointingHandCursor);
    SetTip(m_pOutputHelp, QStringLiteral("Learn more about Output Options"));
    m_pOutputHelp->installEventFilter(this);
    outputGrid->addWidget(m_pOutputHelp, 0, 2);
    outputGrid->setColumnStretch(1, 1);

    m_pFileList = new CFileDropListCtrl(m_sourceFiles, this);
    m_pFileList->setMinimumHeight(140);
    connect(m_pFileList, &CFileDropListCtrl::itemCountChanged, this,
            [this](int) { UpdateItemCount(); });

    auto* addButton = IconButton(QStyle::SP_FileIcon, "addFilesButton", this);
    SetTip(addButton, QStringLiteral("Add files to the List"));
    connect(addButton, &QPushButton::clicked, this, &CVarnoltDlg::OnAddFiles);
    auto* removeButton = IconButton(QStyle::SP_TrashIcon, "removeFilesButton", this);
    SetTip(removeButton, QStringLiteral("Remove selected files from the List"));
    connect(removeButton, &QPushButton::clicked, this, &CVarnoltDlg::OnRemoveFiles);
    auto* searchButton = IconButton(QStyle::SP_FileDialogContentsView, "searchFilesButton", this);
    SetTip(searchButton, QStringLiteral("Search files"));
    connect(searchButton, &QPushButton::clicked, this, &CVarnoltDlg::OnSearchFiles);

    auto* listHeader = new QHBoxLayout;
    listHeader->addWidget(new QLabel(QStringLiteral("Source File List")));
    listHeader->addStretch(1);
    listHeader->addWidget(addButton);
    listHeader->addWidget(removeButton);
    listHeader->addWidget(searchButton);

    auto* convertButton = new QPushButton(style()->standardIcon(QStyle::SP_MediaPlay),
                                          QStringLiteral("Convert"), this);
    convertButton->setObjectName(QStringLiteral("convertButton"));
    SetTip(convertButton, QStringLiteral("Start Unicode Conversion"));
    connect(convertButton, &QPushButton::clicked, this, &CVarnoltDlg::OnConvert);
    auto* helpButton = new QPushButton(style()->standardIcon(QStyle::SP_DialogHelpButton),
                                       QStringLiteral("Help"), this);
    helpButton->setObjectName(QStringLiteral("helpButton"));
    SetTip(helpButton, QStringLiteral("Read Online Help"));
    connect(helpButton, &QPushButton::clicked, this, [this] { ShowHelp(0); });
    auto* quitButton = new QPushButton(style()->standardIcon(QStyle::SP_DialogCloseButton),
                                       QStringLiteral("Quit"), this);
    quitButton->setObjectName(QStringLiteral("quitButton"));
    SetTip(quitButton, QStringLiteral("Bye Bye!!"));
    connect(quitButton, &QPushButton::clicked, this, &QWidget::close);
    // Enter must not press any of them.
    for (QPushButton* button : findChildren<QPushButton*>()) {
        button->setAutoDefault(false);
        button->setDefault(false);
    }

    m_pItemCount = new QLabel(this);
    m_pItemCount->setObjectName(QStringLiteral("itemCountLabel"));
    m_pItemCount->setAlignment(Qt::AlignCenter);

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(convertButton);
    bottom->addWidget(helpButton);
    bottom->addStretch(1);
    bottom->addWidget(m_pItemCount);
    bottom->addStretch(1);
    bottom->addWidget(quitButton);

    auto* main = new QVBoxLayout(this);
    main->addWidget(conversion);
    main->addWidget(output);
    main->addLayout(listHeader);
    main->addWidget(m_pFileList, 1);
    m_pPreviewNote = new QLabel(this);
    m_pPreviewNote->setObjectName(QStringLiteral("previewNoteLabel"));
    // A long file name must not widen the window: the label takes the
    // width it is given and the whole text is in its tooltip.
    m_pPreviewNote->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    m_pPreviewNote->setTextFormat(Qt::PlainText);
    m_pPreview = new QPlainTextEdit(this);
    m_pPreview->setObjectName(QStringLiteral("previewEdit"));
    m_pPreview->setReadOnly(true);
    m_pPreview->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_pPreview->setFixedHeight(m_pPreview->fontMetrics().lineSpacing() * kPreviewLines +
                               2 * m_pPreview->frameWidth() +
                               static_cast<int>(2 * m_pPreview->document()->documentMargin()));
    main->addWidget(m_pPreviewNote);
    main->addWidget(m_pPreview);
    main->addLayout(bottom);
    setMinimumWidth(520);
}

void CVarnoltDlg::BuildMenu() {
    auto* bar = new QMenuBar(this);
    bar->setObjectName(QStringLiteral("mainMenu"));
    auto add = [this](QMenu* menu, const QString& text, const char* name, auto slot) {
        QAction* action = menu->addAction(text);
        action->setObjectName(QString::fromLatin1(name));
        connect(action, &QAction::triggered, this, slot);
        return action;
    };
    QMenu* file = bar->addMenu(QStringLiteral("&File"));
    add(file, QStringLiteral("&Open Configuration..."), "openConfigAction",
        [this] { OnOpenConfiguration(); });
    add(file, QStringLiteral("Save Configuration &As..."), "saveConfigAction",
        [this] { OnSaveConfiguration(); });
    file->addSeparator();
    add(file, QStringLiteral("&Preferences..."), "preferencesAction", [this] {
        CAdvPrefSheet sheet(m_settings, this);
        sheet.exec();
    });
    file->addSeparator();
    add(file, QStringLiteral("&Exit"), "exitAction", [this] { close(); });

    QMenu* tools = bar->addMenu(QStringLiteral("&Tools"));
    QAction* search = add(tools, QStringLiteral("&Search Files..."), "searchFilesAction",
                          [this] { OnSearchFiles(); });
    search->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F));
    QAction* codec = add(tools, QStringLiteral("&Unicode Codec..."), "unicodeCodecAction",
                         [this] { OnUnicodeCodec(); });
    codec->setShortcut(QKeySequence(Qt::Key_F5));
    tools->addSeparator();
    m_pForceAction = add(tools,
                         QStringLiteral("Convert Files That Do Not Seem to Be in the &Source "
                                        "Encoding"),
                         "forceAction", [] {});
    m_pForceAction->setCheckable(true);
    m_pForceAction->setToolTip(
        QStringLiteral("Files that look like UTF-8, UTF-16 or binary data are skipped with a "
                       "warning unless this is ticked."));

    QMenu* help = bar->addMenu(QStringLiteral("&Help"));
    QAction* contents =
        add(help, QStringLiteral("&Contents"), "helpContentsAction", [this] { ShowHelp(0); });
    contents->setShortcut(QKeySequence(Qt::Key_F1));
    add(help, QStringLiteral("Send &Question/Feedback"), "feedbackAction", [this] {
        if (!m_fnOpenUrl(QUrl(QString::fromLatin1(kFeedbackAddress)))) {
            ShowError(QStringLiteral("No mail program could be started for %1.")
                          .arg(QString::fromLatin1(kFeedbackAddress)));
        }
    });
    help->addSeparator();
    add(help, QStringLiteral("Check for Updates..."), "checkUpdatesAction",
        [this] { CheckForUpdates(UpdateCheckAddress(m_settings), this); });
    help->addSeparator();
    add(help, QStringLiteral("&About Varnolt..."), "aboutAction", [this] { OnAbout(); });
    // The shortcuts work while any control of the window has the focus.
    for (QAction* action : {search, codec, contents}) {
        action->setShortcutContext(Qt::WindowShortcut);
        addAction(action);
    }
    layout()->setMenuBar(bar);
}

void CVarnoltDlg::LoadFromSettings() {
    int encoding = m_settings.Encoding.Get();
    if (encoding < 0 || encoding >= EncodingCatalogue::Count()) {
        encoding = 0;
    }
    m_pEncodingCombo->setCurrentIndex(encoding);
    m_pEdits[0]->setText(FromUtf8(m_settings.PrependSource.Get()));
    m_pEdits[1]->setText(FromUtf8(m_settings.PrependDest.Get()));
    m_pEdits[2]->setText(FromUtf8(m_settings.OutputFolder.Get()));
    SetOutputOption(m_settings.OutputOption.Get());
    int format = m_settings.UnicodeFormat.Get();
    if (format < 0 || format >= EncodingCatalogue::FormatCount()) {
        format = 0;
    }
    m_pFormatCombo->setCurrentIndex(format);
    UpdateMetaEnable();
    m_pMetaCheck->setChecked(m_settings.UTF8Option.Get() != 0);
    m_pBomCheck->setChecked(m_settings.AddBOM.Get() != 0);
    m_pEntityCheck->setChecked(m_settings.EntityToUnicode.Get() != 0);
}

void CVarnoltDlg::SaveToSettings() {
    const int encoding = m_pEncodingCombo->currentIndex();
    m_settings.Encoding.Set(encoding);
    m_settings.CodePage.Set(EncodingCatalogue::Entry(encoding).nCodePage);
    m_settings.OutputOption.Set(OutputOption());
    m_settings.PrependSource.Set(m_pEdits[0]->text().toStdString());
    m_settings.PrependDest.Set(m_pEdits[1]->text().toStdString());
    m_settings.OutputFolder.Set(m_pEdits[2]->text().toStdString());
    m_settings.UnicodeFormat.Set(m_pFormatCombo->currentIndex());
    m_settings.UTF8Option.Set(m_pMetaCheck->isChecked() ? 1 : 0);
    m_settings.AddBOM.Set(m_pBomCheck->isChecked() ? 1 : 0);
    m_settings.EntityToUnicode.Set(m_pEntityCheck->isChecked() ? 1 : 0);
    m_settings.Version.Set(VARNOLT_VERSION_NUMBER);
}

void CVarnoltDlg::ApplyValues(const ProfileDialogValues& values) {
    m_pEncodingCombo->setCurrentIndex(values.nEncodingIndex);
    SetOutputOption(values.nOutputOption);
    m_pEdits[0]->setText(FromUtf8(values.strBackupPrefix));
    m_pEdits[1]->setText(FromUtf8(values.strDestPrefix));
    m_pEdits[2]->setText(FromUtf8(values.strOutputFolder));
    m_pFormatCombo->setCurrentIndex(values.nUnicodeFormatIndex);
    m_pMetaCheck->setEnabled(values.bMetaEnabled);
    m_pMetaCheck->setChecked(values.bUtf8Meta);
    m_pEntityCheck->setChecked(values.bEntityToUnicode);
    m_pBomCheck->setChecked(values.bAddBOM);
}

bool CVarnoltDlg::LoadProfile(const std::string& path) {
    ProfileContent content;
    int error = 0;
    if (const ProfileStatus status = ReadProfile(path, content, &error);
        status != ProfileStatus::Ok) {
        // A file that cannot be read is an error; one that is not a profile
        // we can use, a warning. The reason tells the user what to fix.
        CTaskDialog failure(this);
        failure.SetIcon(status == ProfileStatus::CannotRead ? TaskDialogIcon::Error
                                                            : TaskDialogIcon::Warning);
        failure.SetMainInstruction(Text(kMsgBadProfile));
        failure.SetContent(QStringLiteral("\"%1\": %2")
                               .arg(FromUtf8(path), FromUtf8(ProfileFailureReason(status, error))));
        failure.AddButton(1, QStringLiteral("OK"), true, true);
        failure.DoModal();
        return false;
    }
    ApplyValues(ToDialogValues(content));
    // The title names the profile: its file name up to the last dot.
    const QString name = QFileInfo(FromUtf8(path)).fileName();
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    setWindowTitle(QStringLiteral("%1 - %2").arg(dot < 0 ? name : name.left(dot), Text(57344)));
    m_bProfileLoaded = true;
    return true;
}

ProfileOptions CVarnoltDlg::CurrentOptions() const {
    ProfileOptions options;
    options.nCodePage = EncodingCatalogue::Entry(m_pEncodingCombo->currentIndex()).nCodePage;
    options.nOutputOption = OutputOption();
    options.strBackupPrefix = m_pEdits[0]->text().toStdString();
    options.strDestPrefix = m_pEdits[1]->text().toStdString();
    options.strOutputFolder = m_pEdits[2]->text().toStdString();
    options.nUnicodeFormat = m_pFormatCombo->currentIndex();
    options.bUtf8Meta = m_pMetaCheck->isChecked();
    options.bEntityToUnicode = m_pEntityCheck->isChecked();
    options.bAddBOM = m_pBomCheck->isChecked();
    return options;
}

void CVarnoltDlg::SetOutputOption(int option) {
    m_nOutputOption = option;
    for (int i = 0; i < 3; ++i) {
        m_pRadios[i]->setChecked(i == option);
    }
}

int CVarnoltDlg::OutputOption() const {
    return m_nOutputOption;
}

void CVarnoltDlg::UpdateMetaEnable() {
    // Only UTF-8 output can carry the tag; the check state is kept so that
    // switching back restores the user's choice.
    m_pMetaCheck->setEnabled(m_pFormatCombo->currentIndex() == kFormatUtf8);
}

void CVarnoltDlg::UpdateItemCount() {
    m_pItemCount->setText(QStringLiteral("%1 items").arg(m_pFileList->topLevelItemCount()));
}

void CVarnoltDlg::ShowError(const QString& text) {
    CTaskDialog dialog(this);
    dialog.SetIcon(TaskDialogIcon::Error);
    dialog.SetMainInstruction(text);
    dialog.AddButton(1, QStringLiteral("OK"), true, true);
    dialog.DoModal();
}

void CVarnoltDlg::SetPreviewReader(PreviewReader reader) {
    m_fnReadPreview = std::move(reader);
    UpdatePreview();
}

void CVarnoltDlg::SetDetector(Detector detector) {
    m_fnDetect = std::move(detector);
}

std::int32_t CVarnoltDlg::SelectedCodePage() const {
    const int index = m_pEncodingCombo->currentIndex();
    return index < 0 ? 0 : EncodingCatalogue::Entry(index).nCodePage;
}

int CVarnoltDlg::PreviewRow() const {
    // The row with the focus when it is selected, else the first selected.
    int row = -1;
    if (QTreeWidgetItem* current = m_pFileList->currentItem();
        current != nullptr && current->isSelected()) {
        row = m_pFileList->indexOfTopLevelItem(current);
    } else {
        for (QTreeWidgetItem* item : m_pFileList->selectedItems()) {
            const int index = m_pFileList->indexOfTopLevelItem(item);
            row = row < 0 ? index : std::min(row, index);
        }
    }
    return row < m_sourceFiles.GetCount() ? row : -1;
}

void CVarnoltDlg::UpdatePreview() {
    ++m_nPreviewSerial;
    if (PreviewRow() < 0) {
        m_pPreviewTimer->stop();
        m_pPreview->clear();
        m_pPreviewNote->setText(QStringLiteral("Select a file in the list to preview it."));
        m_pPreviewNote->setToolTip({});
        return;
    }
    // One read for the changes of one event (a click changes both the
    // current and the selected row).
    m_pPreviewTimer->start();
}

void CVarnoltDlg::StartPreviewRead() {
    const int row = PreviewRow();
    if (row < 0) {
        return;
    }
    // A thread of its own: a read that hangs (a dead network mount) must
    // neither block the window nor hold up the reads of later selections.
    std::thread([channel = m_pChannel, reader = m_fnReadPreview, path = m_sourceFiles.GetPath(row),
                 codePage = SelectedCodePage(), serial = m_nPreviewSerial] {
        if (channel->bClosed) {
            return;
        }
        FilePreview result = reader(path, codePage);
        channel->Post([serial, path, result = std::move(result)](CVarnoltDlg& dlg) {
            dlg.ShowPreview(serial, path, result);
        });
    }).detach();
}

void CVarnoltDlg::ShowPreview(std::uint64_t serial, const std::string& path,
                              const FilePreview& result) {
    if (serial != m_nPreviewSerial) {
        return; // the selection or the encoding has changed since
    }
    const QString name = QFileInfo(FromUtf8(path)).fileName();
    if (result.nError != 0) {
        m_pPreview->clear();
        const QString note =
            QStringLiteral("Cannot preview %1: %2").arg(name, PreviewReadError(result.nError));
        m_pPreviewNote->setText(note);
        m_pPreviewNote->setToolTip(note);
        return;
    }
    const PreviewText shown = ForDisplay(result.preview);
    m_pPreview->setPlainText(QString::fromStdU16String(shown.text));
    QList<QTextEdit::ExtraSelection> marks;
    for (const PreviewMark& mark : shown.marks) {
        QTextEdit::ExtraSelection selection;
        selection.cursor = QTextCursor(m_pPreview->document());
        selection.cursor.setPosition(static_cast<int>(mark.nTextPos));
        selection.cursor.setPosition(static_cast<int>(mark.nTextPos) + 1, QTextCursor::KeepAnchor);
        selection.format.setBackground(QColor(0xD3, 0x2F, 0x2F));
        selection.format.setForeground(Qt::white);
        selection.format.setToolTip(
            QStringLiteral("invalid byte sequence at offset %1").arg(mark.nByteOffset));
        marks.append(selection);
    }
    m_pPreview->setExtraSelections(marks);

    QString note = QStringLiteral("Preview of %1").arg(name);
    if (result.bTruncated) {
        note += QStringLiteral(" (first %1 KiB)").arg(result.nBytes / 1024);
    } else if (result.nBytes == 0) {
        note += QStringLiteral(" (empty file)");
    }
    if (!shown.marks.empty()) {
        note +=
            QStringLiteral(": invalid byte sequence at offset %1").arg(shown.marks[0].nByteOffset);
        if (shown.marks.size() > 1) {
            note += QStringLiteral(" and %1 more").arg(shown.marks.size() - 1);
        }
    }
    m_pPreviewNote->setText(note);
    m_pPreviewNote->setToolTip(note);
}

void CVarnoltDlg::UpdateDetectEnable() {
    m_pDetectButton->setEnabled(!m_bDetecting && !m_pFileList->selectedItems().isEmpty());
}

void CVarnoltDlg::OnDetect() {
    std::vector<int> rows;
    for (QTreeWidgetItem* item : m_pFileList->selectedItems()) {
        rows.push_back(m_pFileList->indexOfTopLevelItem(item));
    }
    if (m_bDetecting || rows.empty()) {
        return;
    }
    std::sort(rows.begin(), rows.end());
    std::vector<std::string> paths;
    for (const int row : rows) {
        paths.push_back(m_sourceFiles.GetPath(row));
    }
    m_bDetecting = true;
    UpdateDetectEnable();
    setCursor(Qt::BusyCursor);
    std::thread([channel = m_pChannel, detect = m_fnDetect, paths = std::move(paths)] {
        std::vector<FileDetection> results;
        for (const std::string& path : paths) {
            if (channel->bClosed) {
                return;
            }
            results.push_back(detect(path));
        }
        channel->Post(
            [results = std::move(results)](CVarnoltDlg& dlg) { dlg.ShowDetection(results); });
    }).detach();
}

void CVarnoltDlg::ShowDetection(const std::vector<FileDetection>& results) {
    m_bDetecting = false;
    unsetCursor();
    UpdateDetectEnable();
    int unread = 0;
    int silent = 0;
    for (const FileDetection& file : results) {
        unread += file.error ? 1 : 0;
        silent += !file.error && file.candidates.empty() ? 1 : 0;
    }
    const std::vector<DetectionCandidate> ranking = CombineDetections(results);
    const int files = static_cast<int>(results.size());
    if (ranking.empty()) {
        CTaskDialog dialog(this);
        dialog.SetIcon(TaskDialogIcon::Information);
        dialog.SetMainInstruction(
            files == 1 ? QStringLiteral("No encoding was found for the selected file.")
                       : QStringLiteral("No encoding decodes all the selected files."));
        if (files == 1 && unread == 1) {
            dialog.SetContent(FromUtf8(*results[0].error));
        } else if (unread > 0) {
            dialog.SetContent(QStringLiteral("%1 of them could not be read.").arg(unread));
        }
        dialog.AddButton(1, QStringLiteral("OK"), true, true);
        dialog.DoModal();
        return;
    }
    CDetectResultDlg dialog(ranking, files, unread, silent, this);
    if (dialog.exec() == QDialog::Accepted) {
        const int index = EncodingCatalogue::IndexOf(dialog.ChosenCodePage());
        if (index >= 0) {
            m_pEncodingCombo->setCurrentIndex(index);
        }
    }
}

void CVarnoltDlg::OnUnicodeCodec() {
    if (m_pCodecDlg == nullptr) {
        m_pCodecDlg = new CCodecDlg(m_settings, this);
    }
    m_pCodecDlg->show();
    m_pCodecDlg->raise();
    m_pCodecDlg->activateWindow();
}

void CVarnoltDlg::OnSearchFiles() {
    if (!m_pFindDlg) {
        m_pFindDlg = std::make_unique<CFindFileDlg>(
            m_settings, m_sourceFiles, *m_pFileList, [this] { UpdateItemCount(); }, this);
    }
    m_pFindDlg->show();
    m_pFindDlg->raise();
    m_pFindDlg->activateWindow();
}

void CVarnoltDlg::SetUrlOpener(std::function<bool(const QUrl&)> opener) {
    m_fnOpenUrl = std::move(opener);
}

void CVarnoltDlg::ShowHelp(int context) {
    ShowHelpTopic(context, this);
}

void CVarnoltDlg::AddFiles(const QStringList& paths) {
    for (const QString& path : paths) {
        const std::string file = ListedPath(LocalPathBytes(path));
        if (m_sourceFiles.AddFile(file) != -1) {
            m_pFileList->AddItem(file);
        }
    }
    UpdateItemCount();
}

void CVarnoltDlg::OnAddFiles() {
    QFileDialog dialog(this);
    dialog.setFileMode(QFileDialog::ExistingFiles);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    dialog.setNameFilters(CFileDialogEx::NameFilters(Text(kAddFilesFilter)));
    OpenInLastFolder(m_settings, kAddFilesClientId, dialog);
    if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()) {
        KeepLastFolder(m_settings, kAddFilesClientId, dialog.selectedFiles().front());
        AddFiles(dialog.selectedFiles());
    }
}

void CVarnoltDlg::OnRemoveFiles() {
    m_pFileList->RemoveSelected();
    UpdateItemCount();
}

void CVarnoltDlg::OnBrowseFolder() {
    SetOutputOption(2);
    const QString folder = QFileDialog::getExistingDirectory(
        this, QStringLiteral("Please select an output folder:"), m_pEdits[2]->text(),
        QFileDialog::ShowDirsOnly | QFileDialog::DontUseNativeDialog);
    // Cancelling keeps what the user typed: an empty text would only lose it.
    if (!folder.isEmpty()) {
        m_pEdits[2]->setText(folder);
    }
}

bool CVarnoltDlg::ValidateOptions(bool questionMode) {
    const ProfileOptions options = CurrentOptions();
    int failure = 0;
    QString text;
    if (!EncodingCatalogue::IsUsable(options.nCodePage)) {
        failure = kMsgUnsupportedEncoding;
    } else if (options.nOutputOption == 0 && !IsValidPrefix(options.strBackupPrefix)) {
        failure = kMsgBadBackupPrefix;
    } else if (options.nOutputOption == 1 && !IsValidPrefix(options.strDestPrefix)) {
        failure = kMsgBadDestPrefix;
    } else if (options.nOutputOption == 2 &&
               !platform::IsWritableDirectory(NormaliseOutputFolder(options.strOutputFolder))) {
        failure = kMsgBadFolder;
    } else if (options.nOutputOption < 0 || options.nOutputOption > 2) {
        text = QString::fromLatin1(kNoOutputOption);
    }
    if (failure != 0) {
        text = Text(failure);
    }
    if (text.isEmpty()) {
        return true;
    }
    if (!questionMode) {
        ShowError(text);
        return false;
    }
    CTaskDialog question(this);
    question.SetCaption(Text(57344));
    question.SetIcon(TaskDialogIcon::Warning);
    question.SetMainInstruction(text);
    question.SetContent(QStringLiteral("Continue?"));
    question.AddButton(kButtonContinue, QStringLiteral("Continue"));
    question.AddButton(kButtonCancel, QStringLiteral("Cancel"), true, true);
    return question.DoModal() == kButtonContinue;
}

void CVarnoltDlg::OnConvert() {
    if (m_sourceFiles.GetCount() == 0) {
        ShowError(Text(kMsgNoFiles));
        return;
    }
    if (!ValidateOptions(false)) {
        return;
    }
    const ProfileOptions options = CurrentOptions();
    const std::string target = options.nOutputOption == 0 ? options.strBackupPrefix
                               : options.nOutputOption == 1
                                   ? options.strDestPrefix
                                   : NormaliseOutputFolder(options.strOutputFolder);
    COverwriteQuestionDlg question(this);
    CConvController controller(this, &m_sourceFiles, options.nCodePage, options.nOutputOption,
                               target, options.nUnicodeFormat, options.bUtf8Meta, options.bAddBOM,
                               options.bEntityToUnicode, m_settings, &question);
    controller.m_bForce = m_pForceAction->isChecked();
    CControllerBase::SetCurrent(&controller);
    RunConversion(controller);
    CLog::Instance().Reset();
    m_pFileList->RemoveAll();
    UpdateItemCount();
    CControllerBase::SetCurrent(nullptr);
}

void CVarnoltDlg::RunConversion(CConvController& controller) {
    CConvProgressDlg progress(controller, this);
    progress.exec();
    CResultDlg result(CLog::Instance(), controller, m_settings, this);
    result.exec();
}

void CVarnoltDlg::OnOpenConfiguration() {
    QFileDialog dialog(this);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    dialog.setNameFilters(CFileDialogEx::NameFilters(Text(kProfileFilter)));
    dialog.setDefaultSuffix(FromUtf8(std::string(kProfileExtension)));
    // Opening and saving profiles share one remembered folder.
    OpenInLastFolder(m_settings, CFileDialogExCfgProfile::kClientId, dialog);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return;
    }
    const QString chosen = dialog.selectedFiles().front();
    KeepLastFolder(m_settings, CFileDialogExCfgProfile::kClientId, chosen);
    LoadProfile(chosen.toStdString());
}

void CVarnoltDlg::OnSaveConfiguration() {
    if (!ValidateOptions(true)) {
        return;
    }
    CFileDialogExCfgProfile dialog(m_settings, this);
    if (!dialog.DoModal()) {
        return;
    }
    if (!WriteProfile(dialog.GetPathName().toStdString(), CurrentOptions())) {
        CTaskDialog failure(this);
        failure.SetIcon(TaskDialogIcon::Warning);
        failure.SetMainInstruction(Text(kMsgCannotWriteProfile));
        failure.AddButton(1, QStringLiteral("OK"), true, true);
        failure.DoModal();
        return;
    }
    m_bShortcutRequested = dialog.GetCheck();
    if (m_bShortcutRequested) {
        // The profile is saved; a launcher that cannot be written is not
        // worth a message.
        WriteProfileShortcut(
            QFile::encodeName(QStandardPaths::writableLocation(QStandardPaths::DesktopLocation))
                .toStdString(),
            platform::ExecutablePath(), dialog.GetPathName().toStdString());
    }
}

void CVarnoltDlg::OnAbout() {
    QDialog about(this);
    about.setObjectName(QStringLiteral("aboutDlg"));
    about.setWindowTitle(QStringLiteral("About Varnolt"));
    auto* icon = new QLabel(&about);
    icon->setPixmap(style()->standardIcon(QStyle::SP_ComputerIcon).pixmap(32, 32));
    auto* version = new QLabel(
        QStringLiteral("Varnolt Version %1 (64-bit)").arg(QStringLiteral(VARNOLT_VERSION)), &about);
    version->setObjectName(QStringLiteral("aboutVersionLabel"));
    auto* line = new QLabel(
        QStringLiteral("Converts legacy-encoded text and HTML files to Unicode"), &about);
    auto* link = new QLabel(
        QStringLiteral("<a href=\"https://varnolt.example.org/\">varnolt.example.org</a>"), &about);
    link->setOpenExternalLinks(true);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, &about);
    connect(buttons, &QDialogButtonBox::accepted, &about, &QDialog::accept);
    auto* texts = new QVBoxLayout;
    texts->addWidget(version);
    texts->addWidget(line);
    texts->addWidget(link);
    auto* top = new QHBoxLayout;
    top->addWidget(icon, 0, Qt::AlignTop);
    top->addLayout(texts);
    auto* layout = new QVBoxLayout(&about);
    layout->addLayout(top);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    about.exec();
}

void CVarnoltDlg::keyPressEvent(QKeyEvent* event) {
    // The window has no default or cancel action: Enter in an edit box or
    // a stray Escape must not close it and lose the list.
    if (!SwallowEnterAndEscape(event)) {
        QDialog::keyPressEvent(event);
    }
}

void CVarnoltDlg::closeEvent(QCloseEvent* event) {
    // A loaded profile's options are the profile's, not the user's defaults.
    if (!m_bClosed && !m_bProfileLoaded) {
        SaveToSettings();
    }
    m_bClosed = true;
    QDialog::closeEvent(event);
}

bool CVarnoltDlg::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusIn) {
        for (int i = 0; i < 3; ++i) {
            if (watched == m_pEdits[i]) {
                SetOutputOption(i);
            }
        }
    } else if (event->type() == QEvent::MouseButtonRelease && watched == m_pOutputHelp) {
        ShowHelp(kHelpOutputOptions);
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

} // namespace varnolt::ui
