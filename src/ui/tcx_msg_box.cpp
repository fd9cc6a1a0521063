// The rich message box and the sizing rules shared with the task dialog.
#include "ui/tcx_msg_box.hpp"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QStringList>
#include <QStyle>
#include <algorithm>
#include <utility>
#include <vector>

namespace varnolt::ui {

namespace {

// Layout metrics in dialog units.
constexpr int kMarginLeft = 10;
constexpr int kMarginRight = 10;
constexpr int kMarginTop = 10;
constexpr int kMarginBottom = 7;
constexpr int kIconGap = 10;
constexpr int kTextButtonsGap = 7;
constexpr int kButtonPadX = 7;
constexpr int kButtonPadY = 4;
constexpr int kButtonGap = 7;
constexpr int kMinButtonTextWidth = 40;

// Used only when there is no screen at all to measure.
constexpr int kFallbackScreenWidth = 1024;
constexpr int kFallbackScreenHeight = 768;

struct ButtonEntry {
    int id;
    QString caption;
};

// Ends the box by the rules of its buttons: a click chooses that button;
// Escape, Ctrl+Break and the close box choose the cancel button and do
// nothing without one, so a question that needs an answer cannot be
// dismissed by accident; Enter chooses the focused button, else the default.
class MsgBoxWindow : public QDialog {
public:
    MsgBoxWindow(QWidget* parent, int* chosen) : QDialog(parent), m_pChosen(chosen) {}

    bool hasCancel = false;
    int cancelId = -1;
    bool hasDefault = false;
    int defaultId = -1;
    std::vector<std::pair<QPushButton*, int>> buttons;

    void Choose(int id) {
        *m_pChosen = id;
        accept();
    }

    void reject() override {
        if (hasCancel)
            Choose(cancelId);
    }

protected:
    void closeEvent(QCloseEvent* event) override {
        if (!hasCancel) {
            event->ignore();
            return;
        }
        Choose(cancelId);
        event->accept();
    }

    void keyPressEvent(QKeyEvent* event) override {
        const int key = event->key();
        if ((key == Qt::Key_Pause || key == Qt::Key_Cancel) &&
            (event->modifiers() & Qt::ControlModifier)) {
            reject();
            return;
        }
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            for (const auto& [button, id] : buttons) {
                if (button->hasFocus()) {
                    Choose(id);
                    return;
                }
            }
            // With no default button Enter answers nothing: ending with an
            // identifier that no button has would hand the caller an answer
            // the user never gave.
            if (hasDefault)
                Choose(defaultId);
            return;
        }
        QDialog::keyPressEvent(event);
    }

private:
    int* m_pChosen;
};

} // namespace

DialogScale DialogScale::ForFont(const QFont& font) {
    const QFontMetrics metrics(font);
    // The average width of the 52 Latin letters, rounded, is the width that
    // dialog units are defined on.
    const int letters = metrics.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    const int charWidth = (letters / 26 + 1) / 2;
    const int charHeight = metrics.height();
    // 1000 units are a quarter (an eighth) of 1000 base units, rounded.
    return {(1000 * charWidth + 2) / 4, (1000 * charHeight + 4) / 8};
}

int NarrowestWidthKeepingHeight(const std::function<int(int)>& heightAt, int maxWidth) {
    int low = 0;
    int high = std::max(0, maxWidth);
    bool first = true;
    int reference = 0;
    while (low < high) {
        const int probe = low + (high - low) / 2;
        const int height = heightAt(probe);
        if (first) {
            reference = height;
            first = false;
        }
        // Keep the bound on a width known to fit, so the result is never a
        // width whose text needs more lines than the reference.
        if (height > reference)
            low = probe + 1;
        else
            high = probe;
    }
    return low;
}

QSize MsgBoxButtonSize(const QFontMetrics& metrics, const QStringList& captions,
                       const DialogScale& scale) {
    int width = scale.X(kMinButtonTextWidth);
    int height = 0;
    for (const QString& caption : captions) {
        const QSize extent = metrics.size(Qt::TextShowMnemonic, caption);
        width = std::max(width, extent.width());
        height = std::max(height, extent.height());
    }
    return {width + 2 * scale.X(kButtonPadX), height + 2 * scale.Y(kButtonPadY)};
}

struct CTcxMsgBox::Data {
    QWidget* parent = nullptr;
    QString caption = QStringLiteral("Varnolt");
    QString text;
    QString mainInstruction;
    QPixmap icon;
    std::vector<ButtonEntry> buttons;
    int defaultId = -1;
    bool hasDefault = false;
    int cancelId = -1;
    bool hasCancel = false;
    QString verification;
    bool verificationChecked = false;
    QString dialogName = QStringLiteral("msgBox");
    QString buttonPrefix = QStringLiteral("msgBoxButton");
    QString textName = QStringLiteral("msgBoxText");
};

CTcxMsgBox::CTcxMsgBox(QWidget* parent) : m_pData(std::make_unique<Data>()) {
    m_pData->parent = parent;
}

CTcxMsgBox::~CTcxMsgBox() = default;

void CTcxMsgBox::AddButton(int id, bool isDefault, bool isCancel, const QString& caption) {
    m_pData->buttons.push_back({id, caption});
    if (isDefault) {
        m_pData->defaultId = id;
        m_pData->hasDefault = true;
    }
    if (isCancel) {
        m_pData->cancelId = id;
        m_pData->hasCancel = true;
    }
}

void CTcxMsgBox::SetCaption(const QString& caption) {
    m_pData->caption = caption;
}
void CTcxMsgBox::SetText(const QString& text) {
    m_pData->text = text;
}
void CTcxMsgBox::SetIcon(const QPixmap& icon) {
    m_pData->icon = icon;
}
void CTcxMsgBox::SetMainInstruction(const QString& text) {
    m_pData->mainInstruction = text;
}

void CTcxMsgBox::SetVerification(const QString& text, bool checked) {
    m_pData->verification = text;
    m_pData->verificationChecked = checked;
}

bool CTcxMsgBox::IsVerificationChecked() const {
    return m_pData->verificationChecked;
}

void CTcxMsgBox::SetObjectNames(const QString& dialogName, const QString& buttonPrefix,
                                const QString& textName) {
    m_pData->dialogName = dialogName;
    m_pData->buttonPrefix = buttonPrefix;
    m_pData->textName = textName;
}

int CTcxMsgBox::DoModal() {
    Data& d = *m_pData;
    int chosen = d.hasCancel ? d.cancelId : -1;
    MsgBoxWindow dlg(d.parent, &chosen);
    dlg.setObjectName(d.dialogName);
    dlg.setWindowTitle(d.caption);
    dlg.hasCancel = d.hasCancel;
    dlg.cancelId = d.cancelId;
    dlg.hasDefault = d.hasDefault;
    dlg.defaultId = d.defaultId;
    // Without a cancel button there is no close box (and no system menu).
    Qt::WindowFlags flags = Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint;
    if (d.hasCancel)
        flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
    dlg.setWindowFlags(flags);

    const QFont font = dlg.font();
    const QFontMetrics metrics(font);
    const DialogScale scale = DialogScale::ForFont(font);

    // The text: the main instruction as a larger bold paragraph, then the
    // plain text with its line breaks, on a pane that scrolls only when it
    // is taller than the screen allows.
    auto* textArea = new QScrollArea(&dlg);
    textArea->setObjectName(QStringLiteral("msgBoxTextArea"));
    textArea->setFrameShape(QFrame::NoFrame);
    textArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    textArea->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    textArea->setFocusPolicy(Qt::NoFocus);
    auto* pane = new QWidget;
    const auto makeLabel = [pane](const QString& text, const QString& name) {
        auto* label = new QLabel(text, pane);
        label->setObjectName(name);
        label->setTextFormat(Qt::PlainText);
        label->setWordWrap(true);
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
        return label;
    };
    QLabel* mainLabel = nullptr;
    if (!d.mainInstruction.isEmpty()) {
        mainLabel = makeLabel(d.mainInstruction, QStringLiteral("taskMainInstruction"));
        QFont bigger = font;
        if (bigger.pointSizeF() > 0)
            bigger.setPointSizeF(bigger.pointSizeF() * 4 / 3);
        else
            bigger.setPixelSize(bigger.pixelSize() * 4 / 3);
        bigger.setBold(true);
        mainLabel->setFont(bigger);
    }
    QLabel* textLabel = nullptr;
    if (!d.text.isEmpty() || !mainLabel)
        textLabel = makeLabel(d.text, d.textName);
    // Half a line between the instruction and the text.
    const int textSpacing = mainLabel && textLabel ? metrics.height() / 2 : 0;

    QScreen* screen = d.parent ? d.parent->screen() : QGuiApplication::primaryScreen();
    const QRect workArea = screen ? screen->availableGeometry()
                                  : QRect(0, 0, kFallbackScreenWidth, kFallbackScreenHeight);
    const int screenWidth = workArea.width();
    QLabel* iconLabel = nullptr;
    QSize iconSize(0, 0);
    if (!d.icon.isNull()) {
        iconLabel = new QLabel(&dlg);
        iconLabel->setObjectName(QStringLiteral("msgBoxIcon"));
        iconLabel->setPixmap(d.icon);
        iconSize = d.icon.deviceIndependentSize().toSize();
        iconLabel->setFixedSize(iconSize);
    }

    const auto heightAt = [mainLabel, textLabel, textSpacing](int width) {
        int height = textSpacing;
        for (QLabel* label : {mainLabel, textLabel}) {
            if (label)
                height += label->heightForWidth(width);
        }
        return height;
    };
    // A word too long to wrap (a file name) sets the least width, so that it
    // is not cut off.
    int longestWord = 0;
    for (QLabel* label : {mainLabel, textLabel}) {
        if (label)
            longestWord = std::max(longestWord, label->minimumSizeHint().width());
    }
    // Nor may the box outgrow the work area, whatever the text: beside the
    // text go the margins, the icon, the slack and a scroll bar if needed.
    const int widest = std::max(1, screenWidth - scale.X(kMarginLeft) - scale.X(kMarginRight) -
                                       (iconLabel ? iconSize.width() + scale.X(kIconGap) : 0) - 2 -
                                       textArea->verticalScrollBar()->sizeHint().width());
    const int textWidth =
        std::min(widest, std::max(NarrowestWidthKeepingHeight(heightAt, screenWidth), longestWord));
    const int textHeight = heightAt(textWidth);
    // Two pixels of slack so the wrap the width was chosen for never changes.
    int shownTextWidth = textWidth + 2;
    int shownTextHeight = textHeight;
    {
        int y = 0;
        for (QLabel* label : {mainLabel, textLabel}) {
            if (!label)
                continue;
            const int height = label->heightForWidth(textWidth);
            label->setGeometry(0, y, shownTextWidth, height);
            y += height + textSpacing;
        }
        pane->setFixedSize(shownTextWidth, textHeight);
        textArea->setWidget(pane);
    }

    QCheckBox* check = nullptr;
    if (!d.verification.isEmpty()) {
        check = new QCheckBox(d.verification, &dlg);
        check->setObjectName(QStringLiteral("verificationCheck"));
        check->setChecked(d.verificationChecked);
        check->resize(check->sizeHint());
    }

    QStringList captions;
    for (const ButtonEntry& entry : d.buttons)
        captions << entry.caption;
    QSize buttonSize = MsgBoxButtonSize(metrics, captions, scale);
    for (const ButtonEntry& entry : d.buttons) {
        auto* button = new QPushButton(entry.caption, &dlg);
        button->setObjectName(d.buttonPrefix + QString::number(entry.id));
        const int id = entry.id;
        QObject::connect(button, &QPushButton::clicked, &dlg, [&dlg, id] { dlg.Choose(id); });
        // A style that needs more room than the padding gives still shows
        // the whole caption.
        buttonSize = buttonSize.expandedTo(button->sizeHint());
        dlg.buttons.emplace_back(button, id);
    }

    // The buttons come first in the tab order, as the first of them takes
    // the focus when no button is the default.
    if (check && !dlg.buttons.empty())
        QWidget::setTabOrder(dlg.buttons.back().first, check);

    const int left = scale.X(kMarginLeft);
    const int right = scale.X(kMarginRight);
    const int top = scale.Y(kMarginTop);
    const int bottom = scale.Y(kMarginBottom);
    const int gap = scale.Y(kTextButtonsGap);
    const int iconGap = iconLabel ? scale.X(kIconGap) : 0;
    const int checkHeight = check ? check->height() + gap : 0;

    // A text taller than the screen would push the buttons off it: it
    // scrolls instead, in a box that fits the work area with its title bar.
    const int titleBar = dlg.style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, &dlg);
    const int maxTextHeight =
        std::max(metrics.height(), workArea.height() - titleBar - top - gap - checkHeight -
                                       buttonSize.height() - bottom);
    if (shownTextHeight > maxTextHeight) {
        shownTextHeight = maxTextHeight;
        textArea->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        shownTextWidth += textArea->verticalScrollBar()->sizeHint().width();
    }
    textArea->setFixedSize(shownTextWidth, shownTextHeight);

    int contentWidth = shownTextWidth + iconSize.width() + iconGap;
    const int contentHeight = std::max(shownTextHeight, iconSize.height());
    if (check)
        contentWidth = std::max(contentWidth, check->width());
    const int count = static_cast<int>(d.buttons.size());
    const int rowWidth = count * buttonSize.width() + std::max(0, count - 1) * scale.X(kButtonGap);
    const int clientWidth = left + right + std::max(contentWidth, rowWidth);
    const int clientHeight = top + contentHeight + gap + checkHeight + buttonSize.height() + bottom;

    if (iconLabel)
        iconLabel->move(left, top);
    const int textAreaLeft = left + iconSize.width() + iconGap;
    const int textAreaWidth = clientWidth - right - textAreaLeft;
    textArea->move(textAreaLeft + (textAreaWidth - shownTextWidth) / 2, top);
    if (check)
        check->move(left, top + contentHeight + gap);
    const int buttonTop = clientHeight - bottom - buttonSize.height();
    int x = (clientWidth - rowWidth) / 2;
    for (const auto& [button, id] : dlg.buttons) {
        button->setGeometry(x, buttonTop, buttonSize.width(), buttonSize.height());
        x += buttonSize.width() + scale.X(kButtonGap);
    }
    dlg.setFixedSize(clientWidth, clientHeight);

    for (const auto& [button, id] : dlg.buttons) {
        if (d.hasDefault && id == d.defaultId) {
            button->setDefault(true);
            button->setFocus();
        }
    }

    dlg.exec();
    if (check)
        d.verificationChecked = check->isChecked();
    return chosen;
}

} // namespace varnolt::ui
