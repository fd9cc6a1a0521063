// The rich message box: a caption, an optional icon, a read-only text that
// decides the box's width, and a centred row of equal buttons of the caller's
// choosing. It also lays out the task dialog (CTaskDialog), so every question
// of the program is sized by the same rules.
#pragma once

#include <QPixmap>
#include <QSize>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

class QFont;
class QFontMetrics;

class QWidget;

namespace varnolt::ui {

// Dialog units measured from a font: a horizontal unit is a quarter of the
// font's average character width, a vertical unit an eighth of its height,
// so margins grow with the font as the texts do. The scale is the pixel
// length of 1000 units.
struct DialogScale {
    int x1000 = 0;
    int y1000 = 0;

    static DialogScale ForFont(const QFont& font);
    int X(int units) const { return units * x1000 / 1000; }
    int Y(int units) const { return units * y1000 / 1000; }
};

// The narrowest width in [0, maxWidth] whose text height is no more than the
// height at half of maxWidth, by binary search; heightAt(width) measures the
// text wrapped at that width. A paragraph thus keeps the line count it has at
// half the screen but takes no more width than those lines need.
int NarrowestWidthKeepingHeight(const std::function<int(int)>& heightAt, int maxWidth);

// One size for every button: the widest caption (at least the minimum text
// width) plus the padding on both sides.
QSize MsgBoxButtonSize(const QFontMetrics& metrics, const QStringList& captions,
                       const DialogScale& scale);

class CTcxMsgBox {
public:
    // The caption starts as the program name ("Varnolt").
    explicit CTcxMsgBox(QWidget* parent = nullptr);
    ~CTcxMsgBox();
    CTcxMsgBox(const CTcxMsgBox&) = delete;
    CTcxMsgBox& operator=(const CTcxMsgBox&) = delete;

    // Buttons appear left to right in the order added. The default button
    // has the focus; the cancel button answers Escape, Ctrl+Break and the
    // close box. Without a cancel button the window has no close box.
    void AddButton(int id, bool isDefault, bool isCancel, const QString& caption);
    void SetCaption(const QString& caption);
    // Plain text; line breaks are kept, long lines wrap. Shown in the label
    // "msgBoxText".
    void SetText(const QString& text);
    void SetIcon(const QPixmap& icon);

    // For the task dialog: a main instruction shown larger and bold above
    // the text (label "taskMainInstruction"), a verification check box below
    // it, and the objectNames that tests find the window, its buttons
    // ("<buttonPrefix><id>") and its text label by.
    void SetMainInstruction(const QString& text);
    void SetVerification(const QString& text, bool checked);
    bool IsVerificationChecked() const;
    void SetObjectNames(const QString& dialogName, const QString& buttonPrefix,
                        const QString& textName);

    // Shows the box modally and returns the chosen button's identifier, or
    // the cancel identifier for Escape and the close box.
    int DoModal();

private:
    struct Data;
    std::unique_ptr<Data> m_pData;
};

} // namespace varnolt::ui
