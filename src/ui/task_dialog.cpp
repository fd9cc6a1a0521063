// The one question dialog of the interactive program (see task_dialog.hpp).
#include "ui/task_dialog.hpp"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>
#include <algorithm>

namespace varnolt::ui {

namespace {

struct ButtonSpec {
    int id;
    QString text;
};

// Escape and the close box both arrive as reject(): they choose the cancel
// button, and without one nothing happens, so a question that needs an
// answer cannot be dismissed by accident.
class TaskDialogWindow : public QDialog {
public:
    TaskDialogWindow(QWidget* parent, bool hasCancel, int cancelId, int* chosen)
        : QDialog(parent), m_hasCancel(hasCancel), m_cancelId(cancelId), m_pChosen(chosen) {}

    void Choose(int id) {
        *m_pChosen = id;
        accept();
    }

    void reject() override {
        if (m_hasCancel)
            Choose(m_cancelId);
    }

protected:
    void closeEvent(QCloseEvent* event) override {
        if (!m_hasCancel) {
            event->ignore();
            return;
        }
        Choose(m_cancelId);
        event->accept();
    }

private:
    bool m_hasCancel;
    int m_cancelId;
    int* m_pChosen;
};

QStyle::StandardPixmap PixmapFor(TaskDialogIcon icon) {
    switch (icon) {
    case TaskDialogIcon::Information:
        return QStyle::SP_MessageBoxInformation;
    case TaskDialogIcon::Warning:
        return QStyle::SP_MessageBoxWarning;
    case TaskDialogIcon::Error:
        return QStyle::SP_MessageBoxCritical;
    case TaskDialogIcon::Question:
        return QStyle::SP_MessageBoxQuestion;
    case TaskDialogIcon::None:
        break;
    }
    return QStyle::SP_CustomBase;
}

} // namespace

struct CTaskDialog::Data {
    QWidget* parent = nullptr;
    QString caption = QStringLiteral("Varnolt");
    TaskDialogIcon icon = TaskDialogIcon::None;
    QString mainInstruction;
    QString content;
    std::vector<ButtonSpec> buttons;
    int defaultId = -1;
    bool hasDefault = false;
    int cancelId = -1;
    bool hasCancel = false;
    QString verification;
    bool verificationChecked = false;
};

CTaskDialog::CTaskDialog(QWidget* parent) : m_pData(std::make_unique<Data>()) {
    m_pData->parent = parent;
}

CTaskDialog::~CTaskDialog() = default;

void CTaskDialog::SetCaption(const QString& caption) {
    m_pData->caption = caption;
}
void CTaskDialog::SetIcon(TaskDialogIcon icon) {
    m_pData->icon = icon;
}
void CTaskDialog::SetMainInstruction(const QString& text) {
    m_pData->mainInstruction = text;
}
void CTaskDialog::SetContent(const QString& text) {
    m_pData->content = text;
}

void CTaskDialog::AddButton(int id, const QString& text, bool isDefault, bool isCancel) {
    m_pData->buttons.push_back({id, text});
    if (isDefault) {
        m_pData->defaultId = id;
        m_pData->hasDefault = true;
    }
    if (isCancel) {
        m_pData->cancelId = id;
        m_pData->hasCancel = true;
    }
}

void CTaskDialog::SetVerification(const QString& text, bool checked) {
    m_pData->verification = text;
    m_pData->verificationChecked = checked;
}

bool CTaskDialog::IsVerificationChecked() const {
    return m_pData->verificationChecked;
}

int CTaskDialog::DoModal() {
    Data& d = *m_pData;
    int chosen = d.hasCancel ? d.cancelId : -1;
    TaskDialogWindow dlg(d.parent, d.hasCancel, d.cancelId, &chosen);
    dlg.setObjectName(QStringLiteral("taskDialog"));
    dlg.setWindowTitle(d.caption);
    Qt::WindowFlags flags = Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint;
    if (d.hasCancel)
        flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
    dlg.setWindowFlags(flags);

    auto* outer = new QVBoxLayout(&dlg);
    auto* row = new QHBoxLayout;
    outer->addLayout(row);
    if (d.icon != TaskDialogIcon::None) {
        auto* iconLabel = new QLabel(&dlg);
        iconLabel->setObjectName(QStringLiteral("taskIcon"));
        const int extent = dlg.style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, &dlg);
        iconLabel->setPixmap(
            dlg.style()->standardIcon(PixmapFor(d.icon), nullptr, &dlg).pixmap(extent, extent));
        iconLabel->setAlignment(Qt::AlignTop);
        row->addWidget(iconLabel, 0, Qt::AlignTop);
    }
    auto* texts = new QVBoxLayout;
    row->addLayout(texts, 1);
    if (!d.mainInstruction.isEmpty()) {
        auto* main = new QLabel(d.mainInstruction, &dlg);
        main->setObjectName(QStringLiteral("taskMainInstruction"));
        main->setTextFormat(Qt::PlainText);
        main->setWordWrap(true);
        QFont font = main->font();
        font.setPointSizeF(font.pointSizeF() * 1.33);
        font.setBold(true);
        main->setFont(font);
        texts->addWidget(main);
    }
    if (!d.content.isEmpty()) {
        auto* content = new QLabel(d.content, &dlg);
        content->setObjectName(QStringLiteral("taskContent"));
        content->setTextFormat(Qt::PlainText);
        content->setWordWrap(true);
        texts->addWidget(content);
    }
    QCheckBox* check = nullptr;
    if (!d.verification.isEmpty()) {
        check = new QCheckBox(d.verification, &dlg);
        check->setObjectName(QStringLiteral("verificationCheck"));
        check->setChecked(d.verificationChecked);
        outer->addWidget(check);
    }

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    outer->addLayout(buttons);
    int buttonWidth = 0;
    std::vector<QPushButton*> made;
    for (const ButtonSpec& spec : d.buttons) {
        auto* button = new QPushButton(spec.text, &dlg);
        button->setObjectName(QStringLiteral("taskButton%1").arg(spec.id));
        const int id = spec.id;
        QObject::connect(button, &QPushButton::clicked, &dlg, [&dlg, id] { dlg.Choose(id); });
        buttonWidth = std::max(buttonWidth, button->sizeHint().width());
        buttons->addWidget(button);
        made.push_back(button);
        if (d.hasDefault && spec.id == d.defaultId) {
            button->setDefault(true);
            button->setFocus();
        }
    }
    for (QPushButton* button : made)
        button->setFixedWidth(buttonWidth);
    buttons->addStretch(1);

    dlg.exec();
    if (check)
        d.verificationChecked = check->isChecked();
    return chosen;
}

} // namespace varnolt::ui
