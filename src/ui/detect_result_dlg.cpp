// The list of detected encodings.
#include "ui/detect_result_dlg.hpp"

#include "settings/encoding_catalogue.hpp"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <cmath>

namespace varnolt::ui {

CDetectResultDlg::CDetectResultDlg(const std::vector<DetectionCandidate>& ranking, int files,
                                   int unread, int silent, QWidget* parent)
    : QDialog(parent), m_ranking(ranking) {
    setObjectName(QStringLiteral("detectResultDlg"));
    setWindowTitle(QStringLiteral("Detect Encoding"));
    auto* intro = new QLabel(
        files == 1 ? QStringLiteral("Encodings that decode the selected file, best first:")
                   : QStringLiteral("Encodings that decode the selected files, best first:"),
        this);
    intro->setObjectName(QStringLiteral("detectIntroLabel"));

    m_pList = new QTreeWidget(this);
    m_pList->setObjectName(QStringLiteral("detectList"));
    m_pList->setRootIsDecorated(false);
    m_pList->setHeaderLabels(
        {QStringLiteral("Code Page"), QStringLiteral("Name"), QStringLiteral("Confidence")});
    for (const DetectionCandidate& candidate : m_ranking) {
        const int index = EncodingCatalogue::IndexOf(candidate.nCodePage);
        const std::string_view name =
            index < 0 ? std::string_view() : EncodingCatalogue::Entry(index).strName;
        auto* row = new QTreeWidgetItem(m_pList);
        row->setText(0, QString::number(candidate.nCodePage));
        row->setText(1, QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size())));
        row->setText(2, QStringLiteral("%1%").arg(std::lround(candidate.dConfidence * 100)));
        row->setTextAlignment(0, Qt::AlignRight | Qt::AlignVCenter);
        row->setTextAlignment(2, Qt::AlignRight | Qt::AlignVCenter);
    }
    m_pList->setCurrentItem(m_pList->topLevelItem(0));
    for (int column = 0; column < 3; ++column) {
        m_pList->resizeColumnToContents(column);
    }
    m_pList->header()->setStretchLastSection(false);
    m_pList->header()->setSectionResizeMode(1, QHeaderView::Stretch);
    const int rows = std::min(static_cast<int>(m_ranking.size()), 10);
    m_pList->setMinimumHeight(m_pList->header()->sizeHint().height() +
                              (rows + 1) * m_pList->sizeHintForRow(0));
    m_pList->setMinimumWidth(m_pList->header()->length() + 80);
    connect(m_pList, &QTreeWidget::itemDoubleClicked, this, &QDialog::accept);

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* select =
        buttons->addButton(QStringLiteral("Select"), QDialogButtonBox::AcceptRole);
    select->setObjectName(QStringLiteral("selectEncodingButton"));
    select->setDefault(true);
    QPushButton* cancel = buttons->addButton(QDialogButtonBox::Cancel);
    cancel->setObjectName(QStringLiteral("cancelButton"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(intro);
    layout->addWidget(m_pList, 1);
    const struct {
        int count;
        const char* one;
        const char* many;
        const char* name;
    } notes[] = {
        {unread, "1 selected file could not be read and is left out.",
         "%1 selected files could not be read and are left out.", "detectUnreadLabel"},
        {silent, "1 selected file gave no candidate and is left out.",
         "%1 selected files gave no candidate and are left out.", "detectSilentLabel"},
    };
    for (const auto& note : notes) {
        if (note.count > 0) {
            auto* label =
                new QLabel(note.count == 1 ? QString::fromLatin1(note.one)
                                           : QString::fromLatin1(note.many).arg(note.count),
                           this);
            label->setObjectName(QString::fromLatin1(note.name));
            layout->addWidget(label);
        }
    }
    layout->addWidget(buttons);
    m_pList->setFocus();
}

std::int32_t CDetectResultDlg::ChosenCodePage() const {
    const int row = m_pList->indexOfTopLevelItem(m_pList->currentItem());
    return m_ranking[static_cast<std::size_t>(row < 0 ? 0 : row)].nCodePage;
}

} // namespace varnolt::ui
