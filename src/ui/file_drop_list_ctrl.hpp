// The main dialog's list of source files: shows the source file list
// document row for row, takes files dropped from a file manager, and removes
// the selected files when they are dragged out of the main window.
#pragma once

#include <QIcon>
#include <QPoint>
#include <QString>
#include <QTreeWidget>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class QDragEnterEvent;
class QDragMoveEvent;
class QDropEvent;
class QShowEvent;
class QUrl;

namespace varnolt {
class CSourceFileListDoc;
}

namespace varnolt::ui {

// The folder part of a listed path as the lists show it: everything before
// the last "/", or "/" for a file in the root folder.
QString FolderPart(const std::string& path);

// The bytes of the local path that a file: URL names (percent escapes taken
// as raw bytes, so names that are not UTF-8 survive), or nothing for any
// other URL, a remote host, or an escaped NUL.
std::optional<std::string> LocalPathOfUrl(const QUrl& url);

// The path a named file is listed under, as the command line resolves it
// (links and launchers followed); a path that cannot be resolved is kept as
// named so that the run can report it.
std::string ListedPath(const std::string& named);

// The bytes of a local path that Qt hands over as text (a file dialog's
// choice), so that a file whose name is not valid UTF-8 is still reached.
std::string LocalPathBytes(const QString& path);

// Row n shows entry n of the document; every change below keeps the two in
// step. The document alone decides what is a duplicate.
class CFileDropListCtrl : public QTreeWidget {
    Q_OBJECT

public:
    explicit CFileDropListCtrl(CSourceFileListDoc& doc, QWidget* parent = nullptr);

    // Called once when the main dialog opens: tooltip and column widths.
    void InitList();
    // Appends a row for the path and gives its index; the document is not
    // touched (the caller has just added the path to it).
    virtual int AddItem(const std::string& path);
    // One row per document entry, in document order.
    void Refill();
    // Removes the selected rows and their document entries; gives how many
    // were removed (0 for an empty list).
    int RemoveSelected();
    // Empties the document and the list (after a run).
    void RemoveAll();

    // What a drop of these paths does: each is resolved as the command line
    // resolves a named file, only regular files are taken, duplicates are
    // left out. Gives the number of rows added.
    int DropPaths(const std::vector<std::string>& paths);
    // The end of a drag of selected rows, released at `globalPos` (screen
    // coordinates): outside the main window it removes the rows, inside it
    // does nothing. Gives the number of rows removed.
    int FinishRowDrag(const QPoint& globalPos);

    // The icon of a file name by its type, as the rows show it. Icons are
    // kept per extension for the whole process; the source that looks them
    // up can be replaced (tests count the look-ups). An empty function
    // restores the system's.
    static QIcon IconForName(const QString& fileName);
    static void SetIconSource(std::function<QIcon(const QString& fileName)> source);

signals:
    // After every change of the number of rows (the main dialog shows it).
    void itemCountChanged(int count);

protected:
    void startDrag(Qt::DropActions supportedActions) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void ApplyColumnWidths();
    QPixmap DragImage() const;
    void EmitCount();

    CSourceFileListDoc& m_doc;
    bool m_bWidthsPending = false;
    int m_nBatch = 0; // inside a change of many rows: one count signal at its end
};

} // namespace varnolt::ui
