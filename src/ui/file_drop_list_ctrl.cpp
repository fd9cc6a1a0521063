// The source file list control: rows, drops from file managers, drag-out removal.
#include "ui/file_drop_list_ctrl.hpp"

#include "app/cmd_line_info.hpp"
#include "app/source_file_list_doc.hpp"
#include "platform/paths.hpp"
#include "settings/string_table.hpp"

#include <QCursor>
#include <QDrag>
#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileIconProvider>
#include <QHash>
#include <QHeaderView>
#include <QMimeData>
#include <QMimeDatabase>
#include <QPainter>
#include <QStyle>
#include <QUrl>
#include <dirent.h>
#include <sys/stat.h>
#include <utility>

namespace varnolt::ui {
namespace {

// Rows dragged out of the list carry only this private type: no file manager
// or other program understands it, so the drag can never copy or move the
// user's files anywhere.
constexpr char kRowDragType[] = "application/x-varnolt-list-rows";
constexpr int kTooltipMilliseconds = 12000;
constexpr int kTooltipWidth = 300;

QString Text(int id) {
    const std::string_view text = LoadString(id);
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QString Utf8(const std::string& bytes) {
    return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

// Rich text wraps at its line breaks and at the width.
QString WrappedTooltip(const QString& text) {
    QString html = text.toHtmlEscaped();
    html.replace(QLatin1Char('\n'), QLatin1String("<br>"));
    return QStringLiteral("<table width=\"%1\"><tr><td>%2</td></tr></table>")
        .arg(kTooltipWidth)
        .arg(html);
}

// The icon of a file of that type, found by its name alone: the file itself
// is never opened, so a slow or vanished file cannot stall the list.
QIcon SystemIcon(const QString& fileName) {
    const QMimeType type = QMimeDatabase().mimeTypeForFile(fileName, QMimeDatabase::MatchExtension);
    QIcon icon = QIcon::fromTheme(type.iconName());
    if (icon.isNull()) {
        icon = QIcon::fromTheme(type.genericIconName());
    }
    if (icon.isNull()) {
        icon = QFileIconProvider().icon(QAbstractFileIconProvider::File);
    }
    return icon;
}

// Process-wide and never emptied; left allocated at exit so no icon outlives
// the application object in a static destructor.
QHash<QString, QIcon>& IconCache() {
    static auto* cache = new QHash<QString, QIcon>();
    return *cache;
}

std::function<QIcon(const QString&)>& IconSource() {
    static auto* source = new std::function<QIcon(const QString&)>();
    return *source;
}

std::string NameOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Several rows change at once: drawing and the count signal wait for the end.
class CBatch {
public:
    CBatch(QWidget& widget, int& depth) : m_widget(widget), m_depth(depth) {
        if (m_depth++ == 0) {
            m_widget.setUpdatesEnabled(false);
        }
    }
    ~CBatch() {
        if (--m_depth == 0) {
            m_widget.setUpdatesEnabled(true);
        }
    }
    CBatch(const CBatch&) = delete;
    CBatch& operator=(const CBatch&) = delete;

private:
    QWidget& m_widget;
    int& m_depth;
};

// A drop is taken as a copy or a link, never as a move: a file manager that
// sees a move accepted may delete its original.
std::optional<Qt::DropAction> SafeDropAction(Qt::DropActions possible) {
    if (possible & Qt::CopyAction) {
        return Qt::CopyAction;
    }
    if (possible & Qt::LinkAction) {
        return Qt::LinkAction;
    }
    return std::nullopt;
}

} // namespace

QString FolderPart(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return QString();
    }
    return slash == 0 ? QStringLiteral("/") : Utf8(path.substr(0, slash));
}

std::optional<std::string> LocalPathOfUrl(const QUrl& url) {
    if (!url.isValid() || url.scheme().compare(QLatin1String("file"), Qt::CaseInsensitive) != 0) {
        return std::nullopt;
    }
    const QString host = url.host();
    if (!host.isEmpty() && host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) != 0) {
        return std::nullopt;
    }
    // The encoded form keeps every byte of a name that is not UTF-8.
    const QByteArray raw = QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1());
    if (raw.isEmpty() || raw.front() != '/' || raw.contains('\0')) {
        return std::nullopt;
    }
    return std::string(raw.constData(), static_cast<std::size_t>(raw.size()));
}

std::string ListedPath(const std::string& named) {
    std::string path = ResolveShortcut(named);
    return path.empty() ? named : path;
}

std::string LocalPathBytes(const QString& path) {
    const QByteArray encoded = QFile::encodeName(path);
    const std::string bytes(encoded.constData(), static_cast<std::size_t>(encoded.size()));
    struct stat info {};
    const std::size_t slash = bytes.rfind('/');
    if (::lstat(bytes.c_str(), &info) == 0 || slash == std::string::npos) {
        return bytes;
    }
    // Qt decodes a name with bytes that are not valid in the file-name
    // encoding into replacement characters, which do not encode back. The
    // one entry of the folder whose name decodes to the same text is the
    // file that was chosen; with none or several, the name stays as given
    // and the run reports it.
    const std::string folder = slash == 0 ? std::string("/") : bytes.substr(0, slash);
    const QString name = path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) {
        return bytes;
    }
    std::string found;
    int matches = 0;
    while (const dirent* entry = ::readdir(dir)) {
        if (QFile::decodeName(entry->d_name) == name) {
            found = entry->d_name;
            ++matches;
        }
    }
    ::closedir(dir);
    if (matches != 1) {
        return bytes;
    }
    return (slash == 0 ? std::string() : folder) + "/" + found;
}

CFileDropListCtrl::CFileDropListCtrl(CSourceFileListDoc& doc, QWidget* parent)
    : QTreeWidget(parent), m_doc(doc) {
    setObjectName(QStringLiteral("sourceFileList"));
    setColumnCount(2);
    setHeaderLabels({Text(6100), Text(6101)});
    header()->setStretchLastSection(false);
    setRootIsDecorated(false);
    setUniformRowHeights(true);
    setSortingEnabled(false);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setAllColumnsShowFocus(true);
    setDragEnabled(true);
    setAcceptDrops(true);
    setDragDropMode(QAbstractItemView::DragDrop);
    setDropIndicatorShown(false);
}

void CFileDropListCtrl::InitList() {
    setToolTip(WrappedTooltip(Text(6157)));
    setToolTipDuration(kTooltipMilliseconds);
    // The widths follow the list's width, which the dialog's layout gives it
    // only when it is first shown.
    m_bWidthsPending = true;
    if (isVisible()) {
        ApplyColumnWidths();
    }
}

void CFileDropListCtrl::showEvent(QShowEvent* event) {
    QTreeWidget::showEvent(event);
    if (m_bWidthsPending) {
        ApplyColumnWidths();
    }
}

void CFileDropListCtrl::ApplyColumnWidths() {
    m_bWidthsPending = false;
    const int client = width() - 2 * frameWidth();
    const int name = static_cast<int>(client * 0.3);
    const int scrollBar = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
    setColumnWidth(0, name);
    setColumnWidth(1, std::max(0, client - name - scrollBar));
}

QIcon CFileDropListCtrl::IconForName(const QString& fileName) {
    const qsizetype dot = fileName.lastIndexOf(QLatin1Char('.'));
    const QString extension = dot < 0 ? QString() : fileName.mid(dot + 1).toLower();
    QHash<QString, QIcon>& cache = IconCache();
    if (const auto it = cache.constFind(extension); it != cache.constEnd()) {
        return it.value();
    }
    const auto& source = IconSource();
    QIcon icon = source ? source(fileName) : SystemIcon(fileName);
    // An executable's icon may be its own rather than its type's.
    if (extension != QLatin1String("exe")) {
        cache.insert(extension, icon);
    }
    return icon;
}

void CFileDropListCtrl::SetIconSource(std::function<QIcon(const QString& fileName)> source) {
    IconSource() = std::move(source);
}

int CFileDropListCtrl::AddItem(const std::string& path) {
    const QString name = Utf8(NameOf(path));
    auto* item = new QTreeWidgetItem(QStringList{name, FolderPart(path)});
    item->setIcon(0, IconForName(name));
    addTopLevelItem(item);
    EmitCount();
    return topLevelItemCount() - 1;
}

void CFileDropListCtrl::Refill() {
    {
        CBatch batch(*this, m_nBatch);
        clear();
        for (int i = 0; i < m_doc.GetCount(); ++i) {
            AddItem(m_doc.GetPath(i));
        }
    }
    EmitCount();
}

int CFileDropListCtrl::RemoveSelected() {
    const int count = topLevelItemCount();
    if (count == 0) {
        return 0;
    }
    if (count != m_doc.GetCount()) {
        // Rows that no longer match the entries could remove the wrong
        // files: show the document as it is and remove nothing.
        Refill();
        return 0;
    }
    int first = -1;
    // The entries behind the first selected row that stay, with their base
    // folders: the document is cut there and they are added back, so a large
    // selection costs one pass instead of one index rebuild per row.
    std::vector<std::pair<std::string, std::string>> kept;
    for (int i = 0; i < count; ++i) {
        const bool selected = topLevelItem(i)->isSelected();
        if (first < 0) {
            if (selected) {
                first = i;
            }
        } else if (!selected) {
            kept.emplace_back(m_doc.GetPath(i), m_doc.GetBaseFolder(i));
        }
    }
    if (first < 0) {
        return 0;
    }
    {
        CBatch batch(*this, m_nBatch);
        m_doc.RemoveFrom(first);
        for (int i = count - 1; i >= first; --i) {
            delete takeTopLevelItem(i);
        }
        for (const auto& [path, base] : kept) {
            if (m_doc.AddFile(path, base) != -1) {
                AddItem(path);
            }
        }
    }
    EmitCount();
    return count - topLevelItemCount();
}

void CFileDropListCtrl::RemoveAll() {
    {
        CBatch batch(*this, m_nBatch);
        m_doc.RemoveAll();
        clear();
    }
    EmitCount();
}

int CFileDropListCtrl::DropPaths(const std::vector<std::string>& paths) {
    int added = 0;
    {
        CBatch batch(*this, m_nBatch);
        for (const std::string& dropped : paths) {
            const std::string path = ListedPath(dropped);
            // Folders (also through links) are not searched; what cannot be
            // examined is left out silently.
            if (!platform::IsRegularFile(path)) {
                continue;
            }
            if (m_doc.AddFile(path) != -1) {
                AddItem(path);
                ++added;
            }
        }
    }
    EmitCount();
    return added;
}

int CFileDropListCtrl::FinishRowDrag(const QPoint& globalPos) {
    if (window()->frameGeometry().contains(globalPos)) {
        return 0;
    }
    return RemoveSelected();
}

QPixmap CFileDropListCtrl::DragImage() const {
    const QRect client = viewport()->rect();
    const int nameWidth = columnWidth(0);
    QRect bounds;
    std::vector<QRect> rows;
    for (int i = 0; i < topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = topLevelItem(i);
        if (!item->isSelected()) {
            continue;
        }
        QRect row = visualItemRect(item);
        row.setWidth(std::min(row.width(), nameWidth));
        row &= client;
        if (!row.isEmpty()) {
            rows.push_back(row);
            bounds |= row;
        }
    }
    if (bounds.isEmpty()) {
        return QPixmap();
    }
    QPixmap image(bounds.size() * devicePixelRatioF());
    image.setDevicePixelRatio(devicePixelRatioF());
    image.fill(Qt::transparent);
    QPainter painter(&image);
    for (const QRect& row : rows) {
        painter.drawPixmap(row.topLeft() - bounds.topLeft(), viewport()->grab(row));
    }
    return image;
}

void CFileDropListCtrl::startDrag(Qt::DropActions /*supportedActions*/) {
    auto* rows = new QMimeData();
    rows->setData(QLatin1String(kRowDragType), QByteArray());
    auto* drag = new QDrag(this);
    drag->setMimeData(rows);
    drag->setPixmap(DragImage());
    drag->setHotSpot(QPoint(10, 10));
    drag->exec(Qt::MoveAction);
    // Where the button went up decides, not whether some window took the
    // drop: nothing takes these rows.
    FinishRowDrag(QCursor::pos());
}

void CFileDropListCtrl::dragEnterEvent(QDragEnterEvent* event) {
    const auto action = SafeDropAction(event->possibleActions());
    if (event->source() == nullptr && event->mimeData()->hasUrls() && action) {
        event->setDropAction(*action);
        event->accept();
    } else {
        event->ignore();
    }
}

void CFileDropListCtrl::dragMoveEvent(QDragMoveEvent* event) {
    const auto action = SafeDropAction(event->possibleActions());
    if (event->source() == nullptr && event->mimeData()->hasUrls() && action) {
        event->setDropAction(*action);
        event->accept();
    } else {
        event->ignore();
    }
}

void CFileDropListCtrl::dropEvent(QDropEvent* event) {
    const auto action = SafeDropAction(event->possibleActions());
    if (event->source() != nullptr || !event->mimeData()->hasUrls() || !action) {
        event->ignore();
        return;
    }
    std::vector<std::string> paths;
    for (const QUrl& url : event->mimeData()->urls()) {
        if (auto path = LocalPathOfUrl(url)) {
            paths.push_back(std::move(*path));
        }
    }
    event->setDropAction(*action);
    event->accept();
    DropPaths(paths);
}

void CFileDropListCtrl::EmitCount() {
    if (m_nBatch == 0) {
        emit itemCountChanged(topLevelItemCount());
    }
}

} // namespace varnolt::ui
