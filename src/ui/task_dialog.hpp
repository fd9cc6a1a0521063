// The one question dialog of the interactive program: caption, icon, main
// instruction, content, buttons of its caller's choosing (one default, one
// cancel), an optional verification check box. Every question and warning
// of the program goes through it; it lays itself out as the rich message
// box does (CTcxMsgBox), so the text decides the width.
#pragma once

#include <QString>
#include <memory>
#include <vector>

class QWidget;

namespace varnolt::ui {

enum class TaskDialogIcon { None, Information, Warning, Error, Question };

class CTaskDialog {
public:
    // The caption starts as the program name ("Varnolt").
    explicit CTaskDialog(QWidget* parent = nullptr);
    ~CTaskDialog();
    CTaskDialog(const CTaskDialog&) = delete;
    CTaskDialog& operator=(const CTaskDialog&) = delete;

    void SetCaption(const QString& caption);
    void SetIcon(TaskDialogIcon icon);
    // Shown in the plain-text labels "taskMainInstruction" (larger, bold)
    // (none when empty) and "taskContent" below it.
    void SetMainInstruction(const QString& text);
    void SetContent(const QString& text);
    // Buttons appear left to right in the order added. The default button
    // has the focus and answers Enter; the cancel button answers Escape and
    // the close box. Without a cancel button the window has no close box and
    // Escape does nothing. Each button's objectName is "taskButton<id>".
    void AddButton(int id, const QString& text, bool isDefault = false, bool isCancel = false);
    // An empty text: no check box (objectName "verificationCheck").
    void SetVerification(const QString& text, bool checked = false);

    // Shows the dialog modally (objectName "taskDialog") and returns the
    // chosen button's id, the cancel id for Escape and the close box.
    // Called from another thread, it shows the dialog on the UI thread and
    // waits for the answer (that thread must be running its event loop).
    // Without a QApplication nothing is shown: the answer is the cancel id
    // (-1 without a cancel button) and the box unticked.
    int DoModal();
    bool IsVerificationChecked() const;

private:
    struct Data;
    std::unique_ptr<Data> m_pData;
};

} // namespace varnolt::ui
