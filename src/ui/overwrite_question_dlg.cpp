// The overwrite question on the UI thread.
#include "ui/overwrite_question_dlg.hpp"

#include "settings/string_table.hpp"
#include "ui/task_dialog.hpp"

#include <QMetaObject>
#include <QThread>

namespace varnolt::ui {
namespace {

QString Text(int id) {
    const std::string_view text = LoadString(id);
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace

COverwriteQuestionDlg::COverwriteQuestionDlg(QWidget* owner) : m_pOwner(owner) {}

OverwriteAnswer COverwriteQuestionDlg::AskOverwrite(std::string_view message) {
    const QString text = QString::fromUtf8(message.data(), static_cast<qsizetype>(message.size()));
    if (QThread::currentThread() == m_context.thread()) {
        return AskOnUiThread(text);
    }
    OverwriteAnswer answer;
    // Blocks this worker until the UI thread has the user's answer. Should
    // the UI thread be gone, the call fails and the answer stays "no": the
    // file is skipped, never overwritten unasked.
    QMetaObject::invokeMethod(
        &m_context, [this, &text, &answer] { answer = AskOnUiThread(text); },
        Qt::BlockingQueuedConnection);
    return answer;
}

OverwriteAnswer COverwriteQuestionDlg::AskOnUiThread(const QString& message) {
    CTaskDialog dialog(m_pOwner.data());
    dialog.SetCaption(Text(6003));
    dialog.SetIcon(TaskDialogIcon::None);
    dialog.SetContent(message);
    dialog.AddButton(kIdOverwrite, Text(6000));
    // "Don't Overwrite" is the default and also what closing the dialog means.
    dialog.AddButton(kIdDontOverwrite, Text(6001), /*isDefault=*/true, /*isCancel=*/true);
    dialog.SetVerification(Text(4025), false);
    OverwriteAnswer answer;
    answer.bOverwrite = dialog.DoModal() == kIdOverwrite;
    answer.bApplyToAll = answer.bOverwrite && dialog.IsVerificationChecked();
    return answer;
}

} // namespace varnolt::ui
