// The modeless "Search Files" window: searches a folder with inclusion and
// exclusion filters, lists what it found, adds it to the source file list,
// and keeps named saved searches.
#pragma once

#include "search/find_file_filter.hpp"

#include <QDialog>
#include <QString>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;

namespace varnolt {
class CAppSettings;
class CSourceFileListDoc;
} // namespace varnolt

namespace varnolt::ui {

class CFileDropListCtrl;

class CFindFileDlg : public QDialog {
    Q_OBJECT

public:
    // `listChanged` is called after rows were added to `listCtrl`, so that
    // the main window can show the new count. The saved searches are read
    // here and written when the window is destroyed.
    CFindFileDlg(CAppSettings& settings, CSourceFileListDoc& sourceFiles,
                 CFileDropListCtrl& listCtrl, std::function<void()> listChanged,
                 QWidget* parent = nullptr);
    ~CFindFileDlg() override;

    // The commands of the buttons and the drop-down list.
    void OnBrowse();
    // Starts a search; it ends with searchFinished (at once when the folder
    // is refused).
    void OnSearch();
    void OnAddToList();
    void OnApplySaved(int index);
    void OnSave();
    void OnDelete();

    bool IsSearching() const { return m_bSearching; }
    const std::vector<CFindFileFilter>& SavedSearches() const { return m_arrFilters; }
    const std::vector<std::string>& Results() const { return m_arrResults; }
    // The folder the results are added under ("" when they keep none).
    const std::string& SearchRoot() const { return m_strSearchRoot; }

signals:
    void searchFinished();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    struct CSearchRun;

    void BuildControls();
    void ShowFilter(const CFindFileFilter& filter, bool withFolder);
    CFindFileFilter CurrentFilter() const;
    void FinishSearch(const std::shared_ptr<CSearchRun>& run);
    void ClearResults();
    void UpdateCount();
    void SetSearching(bool searching);

    CAppSettings& m_settings;
    CSourceFileListDoc& m_sourceFiles;
    CFileDropListCtrl& m_listCtrl;
    std::function<void()> m_listChanged;

    std::vector<CFindFileFilter> m_arrFilters;
    std::vector<std::string> m_arrResults;
    std::string m_strSearchRoot;
    std::thread m_searchThread;
    bool m_bSearching = false;
    bool m_bMoved = false;

    QComboBox* m_pSavedCombo = nullptr;
    QPushButton* m_pSaveButton = nullptr;
    QPushButton* m_pDeleteButton = nullptr;
    QLineEdit* m_pFolderEdit = nullptr;
    QPushButton* m_pBrowseButton = nullptr;
    QCheckBox* m_pSubfoldersCheck = nullptr;
    QCheckBox* m_pPreserveCheck = nullptr;
    QLineEdit* m_pInclusionEdit = nullptr;
    QLineEdit* m_pExclusionEdit = nullptr;
    QCheckBox* m_pRegExpCheck = nullptr;
    QTreeWidget* m_pResultsList = nullptr;
    QLabel* m_pCountLabel = nullptr;
    QPushButton* m_pHelpButton = nullptr;
    QPushButton* m_pSearchButton = nullptr;
    QPushButton* m_pAddButton = nullptr;
};

} // namespace varnolt::ui
