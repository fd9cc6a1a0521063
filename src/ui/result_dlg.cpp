// The result dialog.
#include "ui/result_dlg.hpp"

#include "convert/controller_base.hpp"
#include "convert/log.hpp"
#include "output/output_options.hpp"
#include "output/placement_paths.hpp"
#include "platform/file_io.hpp"
#include "settings/app_settings.hpp"
#include "settings/file_status.hpp"
#include "settings/string_table.hpp"
#include "ui/file_dialog_ex_log.hpp"
#include "ui/task_dialog.hpp"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>

namespace varnolt::ui {
namespace {

QString Text(int id) {
    const std::string_view text = LoadString(id);
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

constexpr int kRecordRole = Qt::UserRole;
constexpr int kLevelRole = Qt::UserRole + 1;
constexpr int kMessageRole = Qt::UserRole + 2;
constexpr int kPathRole = Qt::UserRole + 3;

// Compares by the sort column: the full path (locale-aware, case-sensitive)
// or the status (level, then message id). Qt reverses it for descending.
class CResultItem : public QTreeWidgetItem {
public:
    using QTreeWidgetItem::QTreeWidgetItem;

    bool operator<(const QTreeWidgetItem& other) const override {
        const int column = treeWidget() != nullptr ? treeWidget()->sortColumn() : 0;
        if (column == 1) {
            const int level = data(0, kLevelRole).toInt();
            const int otherLevel = other.data(0, kLevelRole).toInt();
            if (level != otherLevel) {
                return level < otherLevel;
            }
            return data(0, kMessageRole).toInt() < other.data(0, kMessageRole).toInt();
        }
        return QString::localeAwareCompare(data(0, kPathRole).toString(),
                                           other.data(0, kPathRole).toString()) < 0;
    }
};

QPixmap DrawStatus(int level) {
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    QPen mark(Qt::white, 2.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    if (level == kLevelWarning) {
        QPainterPath triangle;
        triangle.moveTo(8, 1);
        triangle.lineTo(15, 14.5);
        triangle.lineTo(1, 14.5);
        triangle.closeSubpath();
        painter.fillPath(triangle, QColor(0xE8, 0xA3, 0x17));
        mark.setColor(Qt::black);
        painter.setPen(mark);
        painter.drawLine(QPointF(8, 5.5), QPointF(8, 9.5));
        painter.drawPoint(QPointF(8, 12.2));
        return pixmap;
    }
    const bool error = level >= kLevelError;
    painter.setPen(Qt::NoPen);
    painter.setBrush(error ? QColor(0xC4, 0x2B, 0x1C) : QColor(0x2E, 0x8B, 0x3E));
    painter.drawEllipse(QRectF(0.5, 0.5, 15, 15));
    painter.setPen(mark);
    if (error) {
        painter.drawLine(QPointF(5, 5), QPointF(11, 11));
        painter.drawLine(QPointF(11, 5), QPointF(5, 11));
    } else {
        painter.drawPolyline(QPolygonF({QPointF(4.5, 8.5), QPointF(7, 11), QPointF(11.5, 5.5)}));
    }
    return pixmap;
}

} // namespace

QIcon CResultDlg::StatusIcon(int level) {
    static const std::array<QIcon, 3> icons = {QIcon(DrawStatus(kLevelOk)),
                                               QIcon(DrawStatus(kLevelWarning)),
                                               QIcon(DrawStatus(kLevelError))};
    return icons[static_cast<std::size_t>(std::clamp(level, 0, 2))];
}

CResultDlg::CResultDlg(const CLog& log, const CControllerBase& run, CAppSettings& settings,
                       QWidget* parent)
    : QDialog(parent), m_log(log), m_run(run), m_settings(settings) {
    setObjectName(QStringLiteral("resultDlg"));
    setWindowTitle(QStringLiteral("Conversion Result - Varnolt"));

    m_pList = new QTreeWidget(this);
    m_pList->setObjectName(QStringLiteral("resultList"));
    m_pList->setRootIsDecorated(false);
    m_pList->setUniformRowHeights(true);
    m_pList->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_pList->setIconSize(QSize(16, 16));
    m_pList->setHeaderLabels({Text(5100), Text(5101)});
    m_pList->header()->setSectionsClickable(true);
    m_pList->header()->setSortIndicatorShown(false); // no arrow until the first click
    m_pList->header()->setStretchLastSection(true);
    m_pList->setColumnWidth(0, 150);
    connect(m_pList->header(), &QHeaderView::sectionClicked, this, &CResultDlg::SortBy);

    // The records are final: the run has ended before this dialog exists.
    const std::int64_t count = m_log.GetCount();
    QList<QTreeWidgetItem*> rows;
    for (std::int64_t i = 0; i < count; ++i) {
        const CLogRecord record = m_log.GetRecord(i);
        if (record.strFileName.empty()) {
            continue;
        }
        const QString path = QString::fromStdString(record.strFileName);
        auto* item = new CResultItem;
        item->setText(0, QFileInfo(path).fileName());
        item->setIcon(0, StatusIcon(record.nLevel));
        item->setText(1, Text(record.nMessageId));
        item->setToolTip(0, path);
        item->setData(0, kRecordRole, QVariant::fromValue<qint64>(i));
        item->setData(0, kLevelRole, record.nLevel);
        item->setData(0, kMessageRole, record.nMessageId);
        item->setData(0, kPathRole, path);
        rows.append(item);
    }
    m_pList->addTopLevelItems(rows);

    m_pSave = new QPushButton(QStringLiteral("&Save..."), this);
    m_pSave->setObjectName(QStringLiteral("saveButton"));
    m_pSave->setAutoDefault(false);
    m_pClose = new QPushButton(QStringLiteral("&Close"), this);
    m_pClose->setObjectName(QStringLiteral("closeButton"));
    m_pClose->setDefault(true);
    connect(m_pSave, &QPushButton::clicked, this, &CResultDlg::OnSave);
    connect(m_pClose, &QPushButton::clicked, this, &QDialog::accept);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_pSave);
    buttons->addWidget(m_pClose);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_pList, 1);
    layout->addLayout(buttons);
    resize(640, 420);
}

std::vector<std::int64_t> CResultDlg::DisplayOrder() const {
    std::vector<std::int64_t> order;
    order.reserve(static_cast<std::size_t>(m_pList->topLevelItemCount()));
    for (int row = 0; row < m_pList->topLevelItemCount(); ++row) {
        order.push_back(m_pList->topLevelItem(row)->data(0, kRecordRole).toLongLong());
    }
    return order;
}

void CResultDlg::SortBy(int column) {
    if (column == m_nSortColumn) {
        m_nSortDir = -m_nSortDir;
    } else {
        m_nSortColumn = column;
        m_nSortDir = 1;
    }
    const Qt::SortOrder order = m_nSortDir == 1 ? Qt::AscendingOrder : Qt::DescendingOrder;
    m_pList->sortItems(m_nSortColumn, order);
    // An up arrow for ascending (after sortItems, which sets its own): Qt's header draws its up
    // arrow for DescendingOrder, so the indicator is given the other order.
    m_pList->header()->setSortIndicatorShown(true);
    m_pList->header()->setSortIndicator(m_nSortColumn,
                                        m_nSortDir == 1 ? Qt::DescendingOrder : Qt::AscendingOrder);
}

bool CResultDlg::PathHoldsRunFile(const QString& path) const {
    const auto identity = platform::IdentityOf(path.toStdString());
    if (!identity) {
        return false; // a new file: nothing of the user's is in it
    }
    if (m_run.m_pPlacedFiles->Contains(*identity)) {
        return true;
    }
    if (m_run.m_pFileList == nullptr) {
        return false;
    }
    for (int i = 0; i < m_run.m_pFileList->GetCount(); ++i) {
        const std::string source = m_run.m_pFileList->GetPath(i);
        if (source.empty()) {
            continue;
        }
        if (platform::IdentityOf(source) == identity) {
            return true;
        }
        if (m_run.m_nOutputOption == kOutputOverBackup &&
            platform::IdentityOf(BackupPathOf(source, m_run.m_strOutputArg)) == identity) {
            return true;
        }
    }
    return false;
}

void CResultDlg::OnSave() {
    CFileDialogExLog dialog(m_settings, QString::fromStdString(m_settings.LogPathname.Get()),
                            m_settings.LogAppend.Get(), this);
    if (!dialog.DoModal()) {
        return;
    }
    const QString path = dialog.GetPathName();
    const bool append = dialog.GetCheck();
    m_settings.LogPathname.Set(path.toStdString());
    m_settings.LogAppend.Set(append);

    // A log written into an original or a converted file would corrupt it;
    // such a path gets the same message as any other unwritable one.
    const bool written =
        !PathHoldsRunFile(path) && m_log.Write(path.toStdString(), DisplayOrder(), append, m_run);
    if (!written) {
        CTaskDialog message(this);
        message.SetIcon(TaskDialogIcon::Warning);
        message.SetContent(Text(3006));
        message.AddButton(1, QStringLiteral("OK"), /*isDefault=*/true, /*isCancel=*/true);
        message.DoModal();
    }
}

} // namespace varnolt::ui
