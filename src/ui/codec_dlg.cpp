// The Unicode encoder/decoder dialog and its stored options.
#include "ui/codec_dlg.hpp"

#include "decode/text_file_read.hpp"
#include "platform/file_exception.hpp"
#include "platform/paths.hpp"
#include "settings/app_settings.hpp"
#include "ui/file_drop_list_ctrl.hpp"
#include "ui/help_viewer.hpp"
#include "ui/html_codec_option_dlg.hpp"
#include "ui/task_dialog.hpp"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QFile>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QMimeData>
#include <QPushButton>
#include <QStyle>
#include <QTextDocument>
#include <QVBoxLayout>

namespace varnolt::ui {

namespace {

std::int32_t ReadLe32(const std::vector<std::uint8_t>& bytes, std::size_t at) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(bytes[at]) |
                                     static_cast<std::uint32_t>(bytes[at + 1]) << 8 |
                                     static_cast<std::uint32_t>(bytes[at + 2]) << 16 |
                                     static_cast<std::uint32_t>(bytes[at + 3]) << 24);
}

void WriteLe32(std::vector<std::uint8_t>& bytes, std::int32_t value) {
    const auto v = static_cast<std::uint32_t>(value);
    for (int shift = 0; shift < 32; shift += 8) {
        bytes.push_back(static_cast<std::uint8_t>(v >> shift));
    }
}

// A small button beside an edit box: the theme's image where the desktop
// has one, else a short text.
QPushButton* EditButton(const char* themeIcon, const QString& text, const char* name,
                        QWidget* parent) {
    auto* button = new QPushButton(parent);
    button->setObjectName(QString::fromLatin1(name));
    const QIcon icon = QIcon::fromTheme(QString::fromLatin1(themeIcon));
    if (icon.isNull()) {
        button->setText(text);
    } else {
        button->setIcon(icon);
    }
    button->setToolTip(text);
    button->setAutoDefault(false);
    return button;
}

// A drag from a file manager: its first item is a local file. Anything
// else (text, a web link) is left to the edit box as usual.
bool CarriesLocalFile(const QMimeData* data) {
    return data->hasUrls() && !data->urls().isEmpty() && data->urls().front().isLocalFile();
}

bool ClipboardHoldsText() {
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    return data != nullptr && data->hasText();
}

} // namespace

CCodecOptions CCodecOptions::FromStored(const std::vector<std::uint8_t>* stored, bool& dirty) {
    CCodecOptions options;
    if (stored == nullptr || stored->size() != kSize) {
        dirty = true;
        return options;
    }
    options.nCodec = ReadLe32(*stored, 0);
    options.nNumericForm = ReadLe32(*stored, 4);
    for (std::size_t i = 0; i < 4; ++i) {
        options.aPreference[i] = (*stored)[8 + i];
    }
    if (options.nCodec != CCodecDlg::kCodecHtml && options.nCodec != CCodecDlg::kCodecJava) {
        options.nCodec = CCodecDlg::kCodecHtml;
        dirty = true;
    }
    if (options.nNumericForm != CHtmlEntityCodec::kDecimal &&
        options.nNumericForm != CHtmlEntityCodec::kHexadecimal) {
        options.nNumericForm = CHtmlEntityCodec::kDecimal;
        dirty = true;
    }
    return options;
}

std::vector<std::uint8_t> CCodecOptions::ToBytes() const {
    std::vector<std::uint8_t> bytes;
    bytes.reserve(kSize);
    WriteLe32(bytes, nCodec);
    WriteLe32(bytes, nNumericForm);
    bytes.insert(bytes.end(), aPreference.begin(), aPreference.end());
    return bytes;
}

QString CCodecEdit::Text() const {
    // toPlainText would turn a no-break space into a space, which the HTML
    // codec would then encode differently.
    QString text = document()->toRawText();
    text.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    return text;
}

namespace {

// Only ever a copy: accepting a move would let the file manager delete the
// original.
void AcceptAsCopyOnly(QDropEvent* event) {
    if (event->possibleActions() & Qt::CopyAction) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    } else {
        event->ignore();
    }
}

} // namespace

void CCodecEdit::dragEnterEvent(QDragEnterEvent* event) {
    if (!CarriesLocalFile(event->mimeData())) {
        QPlainTextEdit::dragEnterEvent(event);
        return;
    }
    AcceptAsCopyOnly(event);
}

void CCodecEdit::dragMoveEvent(QDragMoveEvent* event) {
    if (!CarriesLocalFile(event->mimeData())) {
        QPlainTextEdit::dragMoveEvent(event);
        return;
    }
    AcceptAsCopyOnly(event);
}

void CCodecEdit::dropEvent(QDropEvent* event) {
    if (!CarriesLocalFile(event->mimeData())) {
        QPlainTextEdit::dropEvent(event);
        return;
    }
    if (!(event->possibleActions() & Qt::CopyAction)) {
        event->ignore();
        return;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
    emit filesDropped(event->mimeData()->urls());
}

CCodecDlg::CCodecDlg(CAppSettings& settings, QWidget* parent)
    : QDialog(parent), m_settings(settings) {
    setObjectName(QStringLiteral("codecDialog"));
    setWindowTitle(QStringLiteral("Unicode Encoder/Decoder"));
    setModal(false);

    std::vector<std::uint8_t> stored;
    const bool read = m_settings.ReadBinary(m_settings.CodecOptions, stored);
    m_options = CCodecOptions::FromStored(read ? &stored : nullptr, m_bDirty);
    m_htmlCodec.SetDecodeAsciiReferences(true);
    ApplyToHtmlCodec();

    m_pCodecCombo = new QComboBox(this);
    m_pCodecCombo->setObjectName(QStringLiteral("codecCombo"));
    m_pCodecCombo->addItems(
        {QStringLiteral("HTML Char Entity"), QStringLiteral("Java Unicode Notation")});
    m_pCodecCombo->setCurrentIndex(m_options.nCodec);
    m_pOptionButton = new QPushButton(QStringLiteral("Option..."), this);
    m_pOptionButton->setObjectName(QStringLiteral("optionButton"));
    m_pOptionButton->setVisible(m_options.nCodec == kCodecHtml);
    connect(m_pCodecCombo, &QComboBox::currentIndexChanged, this, &CCodecDlg::OnCodecChanged);
    connect(m_pOptionButton, &QPushButton::clicked, this, &CCodecDlg::OnOption);

    m_pUnicodeEdit = new CCodecEdit(this);
    m_pUnicodeEdit->setObjectName(QStringLiteral("unicodeTextEdit"));
    m_pEncodedEdit = new CCodecEdit(this);
    m_pEncodedEdit->setObjectName(QStringLiteral("encodedTextEdit"));
    for (CCodecEdit* box : {m_pUnicodeEdit, m_pEncodedEdit}) {
        box->setLineWrapMode(QPlainTextEdit::NoWrap);
        box->setAcceptDrops(true);
        // After the drop has returned to the file manager: reading the file
        // and any message about it must not hold up the drag.
        connect(
            box, &CCodecEdit::filesDropped, this,
            [this, box](const QList<QUrl>& urls) { DropFiles(box, urls); }, Qt::QueuedConnection);
        connect(box, &QPlainTextEdit::selectionChanged, this, &CCodecDlg::UpdateEditButtons);
    }

    const char* const names[6] = {"unicodeCutButton", "unicodeCopyButton", "unicodePasteButton",
                                  "encodedCutButton", "encodedCopyButton", "encodedPasteButton"};
    auto* upperButtons = new QVBoxLayout;
    auto* lowerButtons = new QVBoxLayout;
    for (int i = 0; i < 6; ++i) {
        CCodecEdit* box = i < 3 ? m_pUnicodeEdit : m_pEncodedEdit;
        QPushButton* button = nullptr;
        switch (i % 3) {
        case 0:
            button = EditButton("edit-cut", QStringLiteral("Cut"), names[i], this);
            connect(button, &QPushButton::clicked, box, [box] {
                box->cut();
                box->setFocus();
            });
            break;
        case 1:
            button = EditButton("edit-copy", QStringLiteral("Copy"), names[i], this);
            connect(button, &QPushButton::clicked, box, [box] {
                box->copy();
                box->setFocus();
            });
            break;
        default:
            button = EditButton("edit-paste", QStringLiteral("Paste"), names[i], this);
            connect(button, &QPushButton::clicked, box, [box] {
                box->paste();
                box->setFocus();
            });
            break;
        }
        m_apEditButtons[static_cast<std::size_t>(i)] = button;
        (i < 3 ? upperButtons : lowerButtons)->addWidget(button);
    }
    upperButtons->addStretch(1);
    lowerButtons->addStretch(1);
    connect(QGuiApplication::clipboard(), &QClipboard::dataChanged, this,
            &CCodecDlg::UpdateEditButtons);

    auto* encodeButton = new QPushButton(style()->standardIcon(QStyle::SP_ArrowDown),
                                         QStringLiteral("Encode"), this);
    encodeButton->setObjectName(QStringLiteral("encodeButton"));
    connect(encodeButton, &QPushButton::clicked, this, &CCodecDlg::OnEncode);
    auto* decodeButton =
        new QPushButton(style()->standardIcon(QStyle::SP_ArrowUp), QStringLiteral("Decode"), this);
    decodeButton->setObjectName(QStringLiteral("decodeButton"));
    connect(decodeButton, &QPushButton::clicked, this, &CCodecDlg::OnDecode);
    auto* helpButton = new QPushButton(style()->standardIcon(QStyle::SP_DialogHelpButton),
                                       QStringLiteral("Help"), this);
    helpButton->setObjectName(QStringLiteral("helpButton"));
    connect(helpButton, &QPushButton::clicked, this, [this] { ShowHelpTopic(kHelpCodec, this); });
    // Enter in the dialog hides it, as OK does; no button is its default.
    for (QPushButton* button : {m_pOptionButton, encodeButton, decodeButton, helpButton}) {
        button->setAutoDefault(false);
    }

    auto* codecRow = new QHBoxLayout;
    codecRow->addWidget(new QLabel(QStringLiteral("Codec:"), this));
    codecRow->addWidget(m_pCodecCombo);
    codecRow->addWidget(m_pOptionButton);
    codecRow->addStretch(1);

    auto* actionRow = new QHBoxLayout;
    actionRow->addWidget(encodeButton);
    actionRow->addWidget(decodeButton);
    actionRow->addStretch(1);
    actionRow->addWidget(helpButton);

    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel(QStringLiteral("Unicode Text:"), this), 0, 0);
    grid->addWidget(m_pUnicodeEdit, 1, 0);
    grid->addLayout(upperButtons, 1, 1);
    grid->addLayout(actionRow, 2, 0);
    grid->addWidget(new QLabel(QStringLiteral("Encoded Text:"), this), 3, 0);
    grid->addWidget(m_pEncodedEdit, 4, 0);
    grid->addLayout(lowerButtons, 4, 1);
    grid->setRowStretch(1, 1);
    grid->setRowStretch(4, 1);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(codecRow);
    layout->addLayout(grid, 1);
    resize(560, 420);
    UpdateEditButtons();
}

CCodecDlg::~CCodecDlg() {
    if (m_bDirty) {
        // A failed write loses only the tool's choices; nothing to tell.
        (void)m_settings.WriteBinary(m_settings.CodecOptions, m_options.ToBytes());
    }
}

CUnicodeCodec& CCodecDlg::SelectedCodec() {
    if (m_options.nCodec == kCodecJava) {
        return m_javaCodec;
    }
    return m_htmlCodec;
}

void CCodecDlg::ApplyToHtmlCodec() {
    m_htmlCodec.SetNumericForm(m_options.nNumericForm);
    m_htmlCodec.SetUseNames(m_options.PreferNames());
}

void CCodecDlg::OnEncode() {
    const QString input = m_pUnicodeEdit->Text();
    std::u16string result;
    try {
        result = SelectedCodec().Encode(input.toStdU16String());
    } catch (const CUtfException&) {
        ShowFailure(
            QStringLiteral("The Unicode text holds an unpaired surrogate. Nothing was encoded."));
        return;
    }
    m_pEncodedEdit->setPlainText(QString::fromStdU16String(result));
}

void CCodecDlg::OnDecode() {
    const QString input = m_pEncodedEdit->Text();
    std::u16string result;
    try {
        result = SelectedCodec().Decode(input.toStdU16String());
    } catch (const CUtfException&) {
        ShowFailure(QStringLiteral(
            "The decoded text would hold an unpaired surrogate. Nothing was decoded."));
        return;
    }
    m_pUnicodeEdit->setPlainText(QString::fromStdU16String(result));
}

void CCodecDlg::OnCodecChanged(int index) {
    if (index != kCodecHtml && index != kCodecJava) {
        return;
    }
    m_options.nCodec = index;
    m_bDirty = true;
    m_pOptionButton->setVisible(index == kCodecHtml);
}

void CCodecDlg::OnOption() {
    CHtmlCodecOptionDlg dialog(m_options.PreferNames(), m_options.nNumericForm, this);
    if (dialog.exec() != QDialog::Accepted) {
        return;
    }
    m_options.aPreference[0] = dialog.PreferNames() ? 1 : 0;
    m_options.nNumericForm = dialog.NumericForm();
    ApplyToHtmlCodec();
    m_bDirty = true;
}

bool CCodecDlg::DropFiles(CCodecEdit* box, const QList<QUrl>& urls) {
    // Only the first dropped file counts.
    if (urls.isEmpty()) {
        return false;
    }
    const std::optional<std::string> named = LocalPathOfUrl(urls.front());
    if (!named) {
        return false;
    }
    const std::string path = ListedPath(*named);
    if (!platform::IsRegularFile(path)) {
        return false;
    }
    std::u16string text;
    bool read = false;
    try {
        CTextFileRead reader(path);
        read = reader.ReadAll(text, u"\r\n");
    } catch (const CFileException&) {
        read = false;
    }
    if (!read) {
        ShowFailure(QStringLiteral("The file %1 could not be read.")
                        .arg(QFile::decodeName(QByteArray::fromStdString(path))));
        return false;
    }
    box->setPlainText(QString::fromStdU16String(text));
    return true;
}

void CCodecDlg::UpdateEditButtons() {
    const bool paste = ClipboardHoldsText();
    for (int i = 0; i < 6; ++i) {
        const CCodecEdit* box = i < 3 ? m_pUnicodeEdit : m_pEncodedEdit;
        const bool enable = i % 3 == 2 ? paste : box->textCursor().hasSelection();
        m_apEditButtons[static_cast<std::size_t>(i)]->setEnabled(enable);
    }
}

void CCodecDlg::ShowFailure(const QString& text) {
    CTaskDialog dialog(this);
    dialog.SetCaption(windowTitle());
    dialog.SetIcon(TaskDialogIcon::Warning);
    dialog.SetMainInstruction(text);
    dialog.AddButton(1, QStringLiteral("OK"), true, true);
    dialog.DoModal();
}

void CCodecDlg::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_F1:
        ShowHelpTopic(kHelpCodec, this);
        event->accept();
        return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        // OK: the tool is only hidden, its text stays for next time.
        accept();
        return;
    default:
        QDialog::keyPressEvent(event);
    }
}

void CCodecDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    UpdateEditButtons();
    if (!m_bShownOnce) {
        m_bShownOnce = true;
        // Off the main window's centre, so that both stay in view.
        move(pos() + QPoint(24, 24));
    }
}

} // namespace varnolt::ui
