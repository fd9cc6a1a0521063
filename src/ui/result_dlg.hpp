// The result of an interactive run: one row per file with its status icon
// and message, sortable by either column, and the log saved from it in the
// order shown.
#pragma once

#include <QDialog>
#include <QIcon>
#include <array>
#include <cstdint>
#include <vector>

class QPushButton;
class QTreeWidget;

namespace varnolt {
class CAppSettings;
class CControllerBase;
class CLog;
} // namespace varnolt

namespace varnolt::ui {

class CResultDlg : public QDialog {
    Q_OBJECT

public:
    // Reads the log's records once, after the run has finished; `run` is the
    // finished run (its options head a saved log) and must outlive the dialog.
    CResultDlg(const CLog& log, const CControllerBase& run, CAppSettings& settings,
               QWidget* parent = nullptr);

    // -1 = not sorted yet; direction 1 ascending, -1 descending.
    int SortColumn() const { return m_nSortColumn; }
    int SortDirection() const { return m_nSortDir; }
    // The record numbers of the rows, top to bottom.
    std::vector<std::int64_t> DisplayOrder() const;

    // What a header click does: sort by the column, reversing on a repeat.
    void SortBy(int column);
    // The "&Save..." button.
    void OnSave();

    // Level 0 (OK), 1 (warning), 2 (error).
    static QIcon StatusIcon(int level);

private:
    // Whether writing the log at `path` would put it into one of the run's
    // originals, or a file the run produced.
    bool PathHoldsRunFile(const QString& path) const;

    const CLog& m_log;
    const CControllerBase& m_run;
    CAppSettings& m_settings;
    QTreeWidget* m_pList;
    QPushButton* m_pSave;
    QPushButton* m_pClose;
    int m_nSortColumn = -1;
    int m_nSortDir = 1;
};

} // namespace varnolt::ui
