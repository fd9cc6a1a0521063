// The preferences sheet and its two pages.
#include "ui/adv_pref_sheet.hpp"

#include "platform/text_utf.hpp"
#include "settings/app_settings.hpp"
#include "settings/string_table.hpp"
#include "ui/help_viewer.hpp"
#include "ui/task_dialog.hpp"

#include <QCheckBox>
#include <QFontMetrics>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QShortcut>
#include <QTabWidget>
#include <QVBoxLayout>
#include <string>
#include <vector>

namespace varnolt::ui {

namespace {

constexpr int kMsgInvalidExtension = 3010;
constexpr int kCaptionPreferences = 4016;
// The pages' explanations wrap at about this many average characters.
constexpr int kTextWidthChars = 64;

QString Text(int id) {
    const std::string_view text = LoadString(id);
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QString FromUtf8(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QLabel* Explanation(const QString& text, const char* name, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    label->setMinimumWidth(label->fontMetrics().averageCharWidth() * kTextWidthChars);
    return label;
}

} // namespace

CAdvPrefPage::CAdvPrefPage(CAppSettings& settings, QWidget* parent)
    : QWidget(parent), m_settings(settings) {}

void CAdvPrefPage::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!m_bCreated) {
        m_bCreated = true;
        OnInitDialog();
    }
}

void CAdvPrefPage::SetModified() {
    m_bModified = true;
    emit ModifiedChanged();
}

void CAdvPrefPage::Apply() {
    if (!m_bCreated) {
        return;
    }
    OnOK();
    m_bModified = false;
    emit ModifiedChanged();
}

CAdvPrefPage1::CAdvPrefPage1(CAppSettings& settings, QWidget* parent)
    : CAdvPrefPage(settings, parent) {
    setObjectName(QStringLiteral("htmlCommentsPage"));
    auto* label = Explanation(
        QStringLiteral("When Varnolt modifies the content of HTML files to add/update UTF-8 "
                       "charset meta tag, Varnolt will generate HTML Comments tag to describe "
                       "the changes if this option is enabled."),
        "htmlCommentsLabel", this);
    m_pCommentCheck = new QCheckBox(QStringLiteral("Generate HTML Comments"), this);
    m_pCommentCheck->setObjectName(QStringLiteral("generateCommentsCheck"));
    connect(m_pCommentCheck, &QCheckBox::clicked, this, [this] { SetModified(); });

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addSpacing(label->fontMetrics().height());
    layout->addWidget(m_pCommentCheck);
    layout->addStretch(1);
}

int CAdvPrefPage1::HelpContext() const {
    return kHelpPreferencesGeneral;
}

void CAdvPrefPage1::OnInitDialog() {
    m_pCommentCheck->setChecked(!m_settings.NoHtmlComment.Get());
}

void CAdvPrefPage1::OnOK() {
    m_settings.NoHtmlComment.Set(!m_pCommentCheck->isChecked());
}

CAdvPrefPage2::CAdvPrefPage2(CAppSettings& settings, QWidget* parent)
    : CAdvPrefPage(settings, parent) {
    setObjectName(QStringLiteral("fileTypesPage"));
    auto* label = Explanation(
        QStringLiteral("Varnolt can modify HTML charset meta tag and convert HTML character "
                       "entity to raw unicode character during conversion. But Varnolt performs "
                       "such changes to HTML-based files only.  You may specify the file "
                       "extensions which are treated as HTML-based files."),
        "fileTypesLabel", this);
    auto* extensionLabel = new QLabel(QStringLiteral("File Extension:"), this);
    extensionLabel->setObjectName(QStringLiteral("extensionLabel"));
    m_pExtensionEdit = new QLineEdit(this);
    m_pExtensionEdit->setObjectName(QStringLiteral("extensionEdit"));
    extensionLabel->setBuddy(m_pExtensionEdit);
    m_pAddButton = new QPushButton(QStringLiteral("Add"), this);
    m_pAddButton->setObjectName(QStringLiteral("addButton"));
    m_pExtensionList = new QListWidget(this);
    m_pExtensionList->setObjectName(QStringLiteral("extensionList"));
    m_pExtensionList->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_pExtensionList->setSortingEnabled(false);
    auto* removeButton = new QPushButton(QStringLiteral("Remove"), this);
    removeButton->setObjectName(QStringLiteral("removeButton"));

    connect(m_pExtensionEdit, &QLineEdit::textChanged, this,
            [this](const QString& text) { m_pAddButton->setEnabled(!text.isEmpty()); });
    connect(m_pAddButton, &QPushButton::clicked, this, [this] { OnAdd(); });
    connect(removeButton, &QPushButton::clicked, this, [this] { OnRemove(); });

    auto* grid = new QGridLayout;
    grid->addWidget(extensionLabel, 0, 0);
    grid->addWidget(m_pExtensionEdit, 0, 1);
    grid->addWidget(m_pAddButton, 0, 2);
    grid->addWidget(m_pExtensionList, 1, 1);
    grid->addWidget(removeButton, 1, 2, Qt::AlignTop);
    grid->setColumnStretch(1, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addSpacing(label->fontMetrics().height() / 2);
    layout->addLayout(grid, 1);
}

int CAdvPrefPage2::HelpContext() const {
    return kHelpPreferencesHtml;
}

void CAdvPrefPage2::OnInitDialog() {
    for (const std::string& extension : SplitExtensionList(m_settings.HtmlFileExt.Get())) {
        m_pExtensionList->addItem(FromUtf8(extension));
    }
    m_pAddButton->setEnabled(false);
    m_pExtensionEdit->setFocus();
}

void CAdvPrefPage2::OnAdd() {
    const std::string extension = CleanExtensionInput(m_pExtensionEdit->text().toStdString());
    if (extension.empty()) {
        return;
    }
    if (!IsValidExtension(extension)) {
        CTaskDialog message(this);
        message.SetIcon(TaskDialogIcon::Error);
        message.SetMainInstruction(Text(kMsgInvalidExtension));
        message.AddButton(1, QStringLiteral("OK"), true, true);
        message.DoModal();
        // The text stays for correction.
        m_pExtensionEdit->setFocus();
        return;
    }
    bool listed = false;
    for (int i = 0; i < m_pExtensionList->count() && !listed; ++i) {
        // Letters are folded as the HTML-file test folds them, so a duplicate
        // is an entry that would match the same files.
        listed =
            EqualsIgnoringAsciiCase(m_pExtensionList->item(i)->text().toStdString(), extension);
    }
    if (!listed) {
        m_pExtensionList->addItem(FromUtf8(extension));
        SetModified();
    }
    m_pExtensionEdit->clear();
    m_pExtensionEdit->setFocus();
}

void CAdvPrefPage2::OnRemove() {
    for (int i = m_pExtensionList->count() - 1; i >= 0; --i) {
        if (m_pExtensionList->item(i)->isSelected()) {
            delete m_pExtensionList->takeItem(i);
        }
    }
    SetModified();
}

void CAdvPrefPage2::OnOK() {
    std::vector<std::string> extensions;
    extensions.reserve(static_cast<std::size_t>(m_pExtensionList->count()));
    for (int i = 0; i < m_pExtensionList->count(); ++i) {
        extensions.push_back(m_pExtensionList->item(i)->text().toStdString());
    }
    // The store changes (and the file is rewritten) only when the text differs.
    m_settings.HtmlFileExt.Set(JoinExtensionList(extensions));
}

CAdvPrefSheet::CAdvPrefSheet(CAppSettings& settings, QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("preferencesSheet"));
    setWindowTitle(Text(kCaptionPreferences));
    m_pTabs = new QTabWidget(this);
    m_pTabs->setObjectName(QStringLiteral("preferencesTabs"));
    m_pPage1 = new CAdvPrefPage1(settings, m_pTabs);
    m_pPage2 = new CAdvPrefPage2(settings, m_pTabs);
    m_pTabs->addTab(m_pPage1, QStringLiteral("HTML Comments"));
    m_pTabs->addTab(m_pPage2, QStringLiteral("File Types"));
    for (CAdvPrefPage* page :
         {static_cast<CAdvPrefPage*>(m_pPage1), static_cast<CAdvPrefPage*>(m_pPage2)}) {
        connect(page, &CAdvPrefPage::ModifiedChanged, this, [this] { UpdateApply(); });
    }

    auto* okButton = new QPushButton(QStringLiteral("OK"), this);
    okButton->setObjectName(QStringLiteral("okButton"));
    okButton->setDefault(true);
    auto* cancelButton = new QPushButton(QStringLiteral("Cancel"), this);
    cancelButton->setObjectName(QStringLiteral("cancelButton"));
    m_pApplyButton = new QPushButton(QStringLiteral("&Apply"), this);
    m_pApplyButton->setObjectName(QStringLiteral("applyButton"));
    m_pApplyButton->setEnabled(false);
    auto* helpButton = new QPushButton(QStringLiteral("Help"), this);
    helpButton->setObjectName(QStringLiteral("helpButton"));
    connect(okButton, &QPushButton::clicked, this, &CAdvPrefSheet::accept);
    connect(cancelButton, &QPushButton::clicked, this, &CAdvPrefSheet::reject);
    connect(m_pApplyButton, &QPushButton::clicked, this, [this] { OnApply(); });
    connect(helpButton, &QPushButton::clicked, this, [this] { OnHelp(); });
    auto* f1 = new QShortcut(QKeySequence(Qt::Key_F1), this);
    f1->setContext(Qt::WindowShortcut);
    connect(f1, &QShortcut::activated, this, [this] { OnHelp(); });

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    for (QPushButton* button : {okButton, cancelButton, m_pApplyButton, helpButton}) {
        buttons->addWidget(button);
    }
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_pTabs, 1);
    layout->addLayout(buttons);
}

void CAdvPrefSheet::UpdateApply() {
    m_pApplyButton->setEnabled(m_pPage1->IsModified() || m_pPage2->IsModified());
}

void CAdvPrefSheet::OnApply() {
    m_pPage1->Apply();
    m_pPage2->Apply();
    UpdateApply();
}

void CAdvPrefSheet::accept() {
    OnApply();
    QDialog::accept();
}

void CAdvPrefSheet::OnHelp() {
    ShowHelp(static_cast<CAdvPrefPage*>(m_pTabs->currentWidget())->HelpContext());
}

void CAdvPrefSheet::ShowHelp(int context) {
    ShowHelpTopic(context, this);
}

} // namespace varnolt::ui
