// The one question dialog of the interactive program (see task_dialog.hpp),
// laid out by the rich message box so every question follows its sizing.
#include "ui/task_dialog.hpp"

#include "ui/tcx_msg_box.hpp"

#include <QApplication>
#include <QStyle>
#include <QThread>

namespace varnolt::ui {

namespace {

struct ButtonEntry {
    int id;
    QString text;
    bool isDefault;
    bool isCancel;
};

QPixmap PixmapFor(TaskDialogIcon icon) {
    QStyle::StandardPixmap which = QStyle::SP_MessageBoxInformation;
    switch (icon) {
    case TaskDialogIcon::None:
        return {};
    case TaskDialogIcon::Information:
        which = QStyle::SP_MessageBoxInformation;
        break;
    case TaskDialogIcon::Warning:
        which = QStyle::SP_MessageBoxWarning;
        break;
    case TaskDialogIcon::Error:
        which = QStyle::SP_MessageBoxCritical;
        break;
    case TaskDialogIcon::Question:
        which = QStyle::SP_MessageBoxQuestion;
        break;
    }
    QStyle* style = QApplication::style();
    const int extent = style->pixelMetric(QStyle::PM_MessageBoxIconSize);
    return style->standardIcon(which).pixmap(extent, extent);
}

} // namespace

struct CTaskDialog::Data {
    QWidget* parent = nullptr;
    QString caption = QStringLiteral("Varnolt");
    TaskDialogIcon icon = TaskDialogIcon::None;
    QString mainInstruction;
    QString content;
    std::vector<ButtonEntry> buttons;
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
    m_pData->buttons.push_back({id, text, isDefault, isCancel});
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
    // Without a GUI application there is nobody to ask: the caller gets the
    // negative answer (the cancel button, else none) and an unticked box.
    QCoreApplication* app = QCoreApplication::instance();
    if (!qobject_cast<QApplication*>(app)) {
        d.verificationChecked = false;
        for (const ButtonEntry& button : d.buttons) {
            if (button.isCancel)
                return button.id;
        }
        return -1;
    }
    // Widgets live on the UI thread; a worker that asks (the overwrite
    // question) waits there for the user's answer.
    if (QThread::currentThread() != app->thread()) {
        int chosen = -1;
        QMetaObject::invokeMethod(
            app, [this, &chosen] { chosen = DoModal(); }, Qt::BlockingQueuedConnection);
        return chosen;
    }
    CTcxMsgBox box(d.parent);
    box.SetObjectNames(QStringLiteral("taskDialog"), QStringLiteral("taskButton"),
                       QStringLiteral("taskContent"));
    box.SetCaption(d.caption);
    box.SetIcon(PixmapFor(d.icon));
    box.SetMainInstruction(d.mainInstruction);
    box.SetText(d.content);
    for (const ButtonEntry& button : d.buttons)
        box.AddButton(button.id, button.isDefault, button.isCancel, button.text);
    box.SetVerification(d.verification, d.verificationChecked);
    const int chosen = box.DoModal();
    m_pData->verificationChecked = box.IsVerificationChecked();
    return chosen;
}

} // namespace varnolt::ui
