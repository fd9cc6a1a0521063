// The "Search Files" window: the search runs on a thread of its own and
// hands its results back through a queued call, so the window stays drawn.
#include "ui/find_file_dlg.hpp"

#include "app/source_file_list_doc.hpp"
#include "platform/paths.hpp"
#include "search/file_find_ex.hpp"
#include "settings/app_settings.hpp"
#include "settings/string_table.hpp"
#include "ui/add_filter_dlg.hpp"
#include "ui/file_drop_list_ctrl.hpp"
#include "ui/help_viewer.hpp"
#include "ui/task_dialog.hpp"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

namespace varnolt::ui {

namespace {

constexpr int kMsgInvalidFolder = 3013;
constexpr int kMsgCancel = 4006;
constexpr int kMsgChooseFolder = 4010;
constexpr int kMsgFilesFound = 4011;
constexpr int kMsgDelete = 4029;
constexpr int kMsgDeleteQuestion = 4030;
constexpr int kMsgDeleteContent = 4031;
constexpr int kMsgNameColumn = 6100;
constexpr int kMsgFolderColumn = 6101;
constexpr int kMsgFolderCue = 8004;
constexpr int kButtonDelete = 6;
constexpr int kButtonCancel = 7;
// The longest folder path the search takes, in UTF-16 units, as on the
// systems whose saved searches this window reads.
constexpr qsizetype kMaxFolderLength = 260;
constexpr int kOffsetFromCreation = 24;

QString Text(int id) {
    const std::string_view text = LoadString(id);
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QString FromBytes(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::string PathBytes(const QString& path) {
    const QByteArray bytes = QFile::encodeName(path);
    return {bytes.constData(), static_cast<std::size_t>(bytes.size())};
}

std::string Utf8(const QString& text) {
    const QByteArray bytes = text.toUtf8();
    return {bytes.constData(), static_cast<std::size_t>(bytes.size())};
}

// Keeps the first filter message the search shows; the window shows it once
// the search has ended, on its own thread.
class CKeptMessageSink : public ISearchMessageSink {
public:
    void ShowFilterError(const std::string& text) override {
        if (m_strText.empty()) {
            m_strText = text;
        }
    }
    std::string m_strText;
};

} // namespace

// What one search hands back from its thread.
struct CFindFileDlg::CSearchRun {
    std::vector<std::string> arrResults;
    std::string strError;
};

CFindFileDlg::CFindFileDlg(CAppSettings& settings, CSourceFileListDoc& sourceFiles,
                           CFileDropListCtrl& listCtrl, std::function<void()> listChanged,
                           QWidget* parent)
    : QDialog(parent), m_settings(settings), m_sourceFiles(sourceFiles), m_listCtrl(listCtrl),
      m_listChanged(std::move(listChanged)) {
    setObjectName(QStringLiteral("findFileDlg"));
    setWindowTitle(QStringLiteral("Search Files"));
    BuildControls();

    m_pAddButton->setEnabled(false);
    m_arrFilters = LoadSavedSearches(m_settings);
    for (const CFindFileFilter& filter : m_arrFilters) {
        m_pSavedCombo->addItem(QString::fromStdU16String(filter.strName));
    }
    m_pSavedCombo->setCurrentIndex(0);
    ShowFilter(m_arrFilters.front(), true);
    m_pDeleteButton->setEnabled(false);
}

CFindFileDlg::~CFindFileDlg() {
    // A search cannot be stopped half-way; its results are no longer wanted.
    if (m_searchThread.joinable()) {
        m_searchThread.join();
    }
    if (m_bSearching) {
        QApplication::restoreOverrideCursor();
    }
    // A failed write loses only this session's changes to the list.
    StoreSavedSearches(m_settings, m_arrFilters);
}

void CFindFileDlg::BuildControls() {
    auto* savedLabel = new QLabel(QStringLiteral("Apply saved search"), this);
    m_pSavedCombo = new QComboBox(this);
    m_pSavedCombo->setObjectName(QStringLiteral("savedSearchCombo"));
    m_pSavedCombo->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    m_pSavedCombo->setMinimumContentsLength(20);
    savedLabel->setBuddy(m_pSavedCombo);
    connect(m_pSavedCombo, &QComboBox::activated, this, &CFindFileDlg::OnApplySaved);
    m_pSaveButton = new QPushButton(QStringLiteral("Save..."), this);
    m_pSaveButton->setObjectName(QStringLiteral("saveSearchButton"));
    connect(m_pSaveButton, &QPushButton::clicked, this, &CFindFileDlg::OnSave);
    m_pDeleteButton = new QPushButton(QStringLiteral("Delete..."), this);
    m_pDeleteButton->setObjectName(QStringLiteral("deleteSearchButton"));
    connect(m_pDeleteButton, &QPushButton::clicked, this, &CFindFileDlg::OnDelete);

    auto* folderLabel = new QLabel(QStringLiteral("Folder to search:"), this);
    m_pFolderEdit = new QLineEdit(this);
    m_pFolderEdit->setObjectName(QStringLiteral("folderEdit"));
    m_pFolderEdit->setPlaceholderText(Text(kMsgFolderCue));
    folderLabel->setBuddy(m_pFolderEdit);
    m_pBrowseButton = new QPushButton(QStringLiteral("Browse..."), this);
    m_pBrowseButton->setObjectName(QStringLiteral("browseButton"));
    connect(m_pBrowseButton, &QPushButton::clicked, this, &CFindFileDlg::OnBrowse);
    m_pSubfoldersCheck = new QCheckBox(QStringLiteral("Search subfolders"), this);
    m_pSubfoldersCheck->setObjectName(QStringLiteral("subfoldersCheck"));
    m_pPreserveCheck = new QCheckBox(
        QStringLiteral("Preserve folder structure (Only applicable to Output to a folder)"), this);
    m_pPreserveCheck->setObjectName(QStringLiteral("preserveFolderCheck"));

    auto* inclusionLabel = new QLabel(
        QStringLiteral("Inclusion Filter: (Leave it blank for matching all files)"), this);
    m_pInclusionEdit = new QLineEdit(this);
    m_pInclusionEdit->setObjectName(QStringLiteral("inclusionEdit"));
    inclusionLabel->setBuddy(m_pInclusionEdit);
    auto* exclusionLabel = new QLabel(QStringLiteral("Exclusion Filter:"), this);
    m_pExclusionEdit = new QLineEdit(this);
    m_pExclusionEdit->setObjectName(QStringLiteral("exclusionEdit"));
    exclusionLabel->setBuddy(m_pExclusionEdit);
    m_pRegExpCheck = new QCheckBox(QStringLiteral("Use Regular Expression"), this);
    m_pRegExpCheck->setObjectName(QStringLiteral("regExpCheck"));
    auto* hints = new QLabel(QStringLiteral("Use wildcard filters to search files\n"
                                            "Separate filters with '|'\n"
                                            "  e.g. *.htm?|*.php\n"
                                            "or use regular expression\n"
                                            "  e.g. ^.*\\.cpp$"),
                             this);
    hints->setObjectName(QStringLiteral("filterHintsLabel"));
    hints->setTextFormat(Qt::PlainText);

    m_pResultsList = new QTreeWidget(this);
    m_pResultsList->setObjectName(QStringLiteral("resultsList"));
    m_pResultsList->setColumnCount(2);
    m_pResultsList->setHeaderLabels({Text(kMsgNameColumn), Text(kMsgFolderColumn)});
    m_pResultsList->setRootIsDecorated(false);
    m_pResultsList->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_pResultsList->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_pResultsList->setUniformRowHeights(true);
    m_pResultsList->setMinimumHeight(180);

    m_pCountLabel = new QLabel(this);
    m_pCountLabel->setObjectName(QStringLiteral("resultCountLabel"));
    m_pCountLabel->setVisible(false);
    m_pHelpButton = new QPushButton(QStringLiteral("Help"), this);
    m_pHelpButton->setObjectName(QStringLiteral("helpButton"));
    connect(m_pHelpButton, &QPushButton::clicked, this,
            [this] { ShowHelpTopic(kHelpFindFiles, this); });
    m_pSearchButton = new QPushButton(QStringLiteral("Search"), this);
    m_pSearchButton->setObjectName(QStringLiteral("searchButton"));
    connect(m_pSearchButton, &QPushButton::clicked, this, &CFindFileDlg::OnSearch);
    m_pAddButton = new QPushButton(QStringLiteral("Add to Source File List"), this);
    m_pAddButton->setObjectName(QStringLiteral("addToListButton"));
    connect(m_pAddButton, &QPushButton::clicked, this, &CFindFileDlg::OnAddToList);
    // Enter anywhere in the window searches.
    for (QPushButton* button : findChildren<QPushButton*>()) {
        button->setAutoDefault(false);
    }
    m_pSearchButton->setDefault(true);

    auto* savedRow = new QHBoxLayout;
    savedRow->addWidget(savedLabel);
    savedRow->addWidget(m_pSavedCombo, 1);
    savedRow->addWidget(m_pSaveButton);
    savedRow->addWidget(m_pDeleteButton);

    auto* grid = new QGridLayout;
    grid->addWidget(folderLabel, 0, 0, 1, 2);
    auto* folderRow = new QHBoxLayout;
    folderRow->addWidget(m_pFolderEdit, 1);
    folderRow->addWidget(m_pBrowseButton);
    grid->addLayout(folderRow, 1, 0, 1, 2);
    grid->addWidget(m_pSubfoldersCheck, 2, 0, 1, 2);
    grid->addWidget(m_pPreserveCheck, 3, 0, 1, 2);
    grid->addWidget(inclusionLabel, 4, 0, 1, 2);
    grid->addWidget(m_pInclusionEdit, 5, 0);
    grid->addWidget(hints, 5, 1, 4, 1, Qt::AlignTop);
    grid->addWidget(exclusionLabel, 6, 0);
    grid->addWidget(m_pExclusionEdit, 7, 0);
    grid->addWidget(m_pRegExpCheck, 8, 0, Qt::AlignTop);
    grid->setColumnStretch(0, 1);

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(m_pCountLabel);
    bottom->addStretch(1);
    bottom->addWidget(m_pHelpButton);
    bottom->addWidget(m_pSearchButton);
    bottom->addWidget(m_pAddButton);

    auto* main = new QVBoxLayout(this);
    main->addLayout(savedRow);
    main->addLayout(grid);
    main->addWidget(m_pResultsList, 1);
    main->addLayout(bottom);
}

void CFindFileDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (m_bMoved) {
        return;
    }
    m_bMoved = true;
    move(pos() + QPoint(kOffsetFromCreation, kOffsetFromCreation));
    // "Name" takes 3/10 of the list, "In Folder" the rest but the room of
    // a vertical scroll bar, so no horizontal one appears with many rows.
    const int width = m_pResultsList->viewport()->width();
    const int nameWidth = static_cast<int>(std::lround(width * 0.3));
    const int scrollBar = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
    m_pResultsList->header()->setStretchLastSection(false);
    m_pResultsList->setColumnWidth(0, nameWidth);
    m_pResultsList->setColumnWidth(1, std::max(0, width - nameWidth - scrollBar));
}

void CFindFileDlg::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_F1) {
        ShowHelpTopic(kHelpFindFiles, this);
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void CFindFileDlg::ShowFilter(const CFindFileFilter& filter, bool withFolder) {
    if (withFolder || !filter.strFolder.empty()) {
        m_pFolderEdit->setText(QString::fromStdU16String(filter.strFolder));
    }
    m_pInclusionEdit->setText(QString::fromStdU16String(filter.strInclusion));
    m_pExclusionEdit->setText(QString::fromStdU16String(filter.strExclusion));
    m_pRegExpCheck->setChecked(filter.bUseRegExp);
    m_pSubfoldersCheck->setChecked(filter.bSearchSubfolders);
    m_pPreserveCheck->setChecked(filter.bPreserveFolders);
}

CFindFileFilter CFindFileDlg::CurrentFilter() const {
    CFindFileFilter filter;
    filter.strFolder = m_pFolderEdit->text().toStdU16String();
    filter.strInclusion = m_pInclusionEdit->text().toStdU16String();
    filter.strExclusion = m_pExclusionEdit->text().toStdU16String();
    filter.bSearchSubfolders = m_pSubfoldersCheck->isChecked();
    filter.bUseRegExp = m_pRegExpCheck->isChecked();
    filter.bPreserveFolders = m_pPreserveCheck->isChecked();
    return filter;
}

void CFindFileDlg::OnBrowse() {
    QFileDialog dialog(this, Text(kMsgChooseFolder));
    dialog.setObjectName(QStringLiteral("folderBrowser"));
    dialog.setFileMode(QFileDialog::Directory);
    // Qt's own dialog, folders only, and no way to make a new folder.
    dialog.setOptions(QFileDialog::ShowDirsOnly | QFileDialog::DontUseNativeDialog |
                      QFileDialog::ReadOnly);
    const QString current = m_pFolderEdit->text();
    if (!current.isEmpty() && platform::IsDirectory(PathBytes(current))) {
        dialog.setDirectory(current);
    }
    // Cancelling keeps what the user typed: an empty box would only lose it.
    if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()) {
        m_pFolderEdit->setText(dialog.selectedFiles().front());
    }
}

void CFindFileDlg::OnSearch() {
    if (m_bSearching) {
        return;
    }
    // "Last Used" takes the values before they are checked, so that a
    // folder that was refused is still there the next time.
    CFindFileFilter filter = CurrentFilter();
    filter.strName = m_arrFilters.front().strName;
    m_arrFilters.front() = filter;

    const QString folderText = m_pFolderEdit->text();
    const std::string folder = PathBytes(folderText);
    if (folderText.size() >= kMaxFolderLength || !platform::IsDirectory(folder)) {
        m_pFolderEdit->setFocus();
        CTaskDialog error(this);
        error.SetIcon(TaskDialogIcon::Error);
        error.SetMainInstruction(Text(kMsgInvalidFolder));
        error.AddButton(1, QStringLiteral("OK"), true, true);
        error.DoModal();
        return;
    }

    // The folder is resolved once and every link to a file is listed as the
    // file it leads to, as the command line lists files: what is added is
    // what a run converts, and it lies below the base folder it is given.
    const std::string root = platform::ResolvePath(folder);
    m_strSearchRoot = filter.bPreserveFolders ? root : std::string();
    ClearResults();
    SetSearching(true);

    auto run = std::make_shared<CSearchRun>();
    m_searchThread =
        std::thread([this, run, root, recurse = filter.bSearchSubfolders,
                     inclusion = Utf8(m_pInclusionEdit->text()),
                     exclusion = Utf8(m_pExclusionEdit->text()), regExp = filter.bUseRegExp] {
            CKeptMessageSink sink;
            const bool complete = SearchFolderEach(
                [&run](std::string&& path) { run->arrResults.push_back(std::move(path)); }, recurse,
                root, inclusion, exclusion, regExp, &sink, true);
            if (!complete) {
                // Partial results would look like a complete search.
                run->arrResults.clear();
            }
            run->strError = std::move(sink.m_strText);
            // Dropped by Qt when the window is gone by then.
            QMetaObject::invokeMethod(
                this, [this, run] { FinishSearch(run); }, Qt::QueuedConnection);
        });
}

void CFindFileDlg::FinishSearch(const std::shared_ptr<CSearchRun>& run) {
    if (m_searchThread.joinable()) {
        m_searchThread.join();
    }
    if (!run->strError.empty()) {
        CTaskDialog message(this);
        message.SetMainInstruction(FromBytes(run->strError));
        message.AddButton(1, QStringLiteral("OK"), true, true);
        message.DoModal();
    }
    m_arrResults = std::move(run->arrResults);
    QList<QTreeWidgetItem*> rows;
    rows.reserve(static_cast<qsizetype>(m_arrResults.size()));
    for (const std::string& path : m_arrResults) {
        const std::size_t slash = path.rfind('/');
        auto* row = new QTreeWidgetItem;
        row->setText(0, FromBytes(slash == std::string::npos ? path : path.substr(slash + 1)));
        row->setText(1, FolderPart(path));
        rows.append(row);
    }
    m_pResultsList->setUpdatesEnabled(false);
    m_pResultsList->addTopLevelItems(rows);
    m_pResultsList->setUpdatesEnabled(true);
    UpdateCount();
    m_pCountLabel->setVisible(true);
    SetSearching(false);
    emit searchFinished();
}

void CFindFileDlg::SetSearching(bool searching) {
    m_bSearching = searching;
    m_pSearchButton->setEnabled(!searching);
    m_pAddButton->setEnabled(!searching && !m_arrResults.empty());
    if (searching) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
    } else {
        QApplication::restoreOverrideCursor();
    }
}

void CFindFileDlg::ClearResults() {
    m_arrResults.clear();
    m_pResultsList->clear();
}

void CFindFileDlg::UpdateCount() {
    m_pCountLabel->setText(
        Text(kMsgFilesFound)
            .replace(QStringLiteral("%d"), QString::number(m_pResultsList->topLevelItemCount())));
}

void CFindFileDlg::OnAddToList() {
    if (m_bSearching || m_arrResults.empty()) {
        return;
    }
    QApplication::setOverrideCursor(Qt::WaitCursor);
    // The base folder is the one chosen at search time: unticking the box
    // afterwards does not change where these results were found.
    for (const std::string& path : m_arrResults) {
        if (m_sourceFiles.AddFile(path, m_strSearchRoot) != -1) {
            m_listCtrl.AddItem(path);
        }
    }
    if (m_listChanged) {
        m_listChanged();
    }
    ClearResults();
    UpdateCount();
    m_pAddButton->setEnabled(false);
    m_pSearchButton->setFocus();
    QApplication::restoreOverrideCursor();
}

void CFindFileDlg::OnApplySaved(int index) {
    if (index < 0 || static_cast<std::size_t>(index) >= m_arrFilters.size()) {
        return;
    }
    ShowFilter(m_arrFilters[static_cast<std::size_t>(index)], false);
    m_pDeleteButton->setEnabled(index != 0);
}

void CFindFileDlg::OnSave() {
    CAddFilterDlg dialog(this);
    if (dialog.exec() != QDialog::Accepted || dialog.Name().isEmpty()) {
        return;
    }
    CFindFileFilter filter = CurrentFilter();
    filter.strName = dialog.Name().toStdU16String();
    if (!dialog.IncludeFolder()) {
        filter.strFolder.clear();
    }
    m_arrFilters.push_back(std::move(filter));
    m_pSavedCombo->addItem(dialog.Name());
    m_pSavedCombo->setCurrentIndex(m_pSavedCombo->count() - 1);
    m_pDeleteButton->setEnabled(true);
}

void CFindFileDlg::OnDelete() {
    const int index = m_pSavedCombo->currentIndex();
    if (index <= 0 || static_cast<std::size_t>(index) >= m_arrFilters.size()) {
        return;
    }
    const QString name = m_pSavedCombo->itemText(index);
    CTaskDialog question(this);
    question.SetIcon(TaskDialogIcon::Warning);
    question.SetMainInstruction(Text(kMsgDeleteQuestion));
    question.SetContent(Text(kMsgDeleteContent).replace(QStringLiteral("%s"), name));
    question.AddButton(kButtonDelete, Text(kMsgDelete));
    question.AddButton(kButtonCancel, Text(kMsgCancel), true, true);
    if (question.DoModal() != kButtonDelete) {
        return;
    }
    m_arrFilters.erase(m_arrFilters.begin() + index);
    // No entry is selected afterwards: the fields still hold the deleted
    // entry's values, which no longer belong to any saved search.
    m_pSavedCombo->removeItem(index);
    m_pSavedCombo->setCurrentIndex(-1);
    m_pDeleteButton->setEnabled(false);
}

} // namespace varnolt::ui
