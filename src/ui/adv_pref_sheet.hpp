// The preferences sheet: whether the meta-tag change of HTML files is wrapped
// in marker comments, and which file extensions count as HTML-based.
#pragma once

#include <QDialog>
#include <QWidget>

class QCheckBox;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTabWidget;

namespace varnolt {
class CAppSettings;
}

namespace varnolt::ui {

// A page of the sheet. It reads its value from the settings only when it is
// first shown ("created"); a page the user never opened writes nothing.
class CAdvPrefPage : public QWidget {
    Q_OBJECT

public:
    bool IsCreated() const { return m_bCreated; }
    bool IsModified() const { return m_bModified; }
    // Writes the page's value to the settings (only a value that differs
    // changes them) and clears the modified mark; nothing when not created.
    void Apply();
    // The help context of the page.
    virtual int HelpContext() const = 0;

signals:
    void ModifiedChanged();

protected:
    CAdvPrefPage(CAppSettings& settings, QWidget* parent);
    void showEvent(QShowEvent* event) override;
    void SetModified();
    virtual void OnInitDialog() = 0;
    virtual void OnOK() = 0;

    CAppSettings& m_settings;

private:
    bool m_bCreated = false;
    bool m_bModified = false;
};

// "HTML Comments": generate-HTML-comments is the opposite of NoHtmlComment.
class CAdvPrefPage1 : public CAdvPrefPage {
    Q_OBJECT

public:
    explicit CAdvPrefPage1(CAppSettings& settings, QWidget* parent = nullptr);
    int HelpContext() const override;

protected:
    void OnInitDialog() override;
    void OnOK() override;

private:
    QCheckBox* m_pCommentCheck = nullptr;
};

// "File Types": the list of HtmlFileExt, in the order the entries were added.
class CAdvPrefPage2 : public CAdvPrefPage {
    Q_OBJECT

public:
    explicit CAdvPrefPage2(CAppSettings& settings, QWidget* parent = nullptr);
    int HelpContext() const override;

    // The commands of the Add and Remove buttons.
    void OnAdd();
    void OnRemove();

protected:
    void OnInitDialog() override;
    void OnOK() override;

private:
    QLineEdit* m_pExtensionEdit = nullptr;
    QPushButton* m_pAddButton = nullptr;
    QListWidget* m_pExtensionList = nullptr;
};

// The modal sheet, "Preferences": OK and Apply write every created page,
// Cancel (Escape, the close box) writes nothing; Apply is enabled while a
// page has changes; Help and F1 open the active page's help.
class CAdvPrefSheet : public QDialog {
    Q_OBJECT

public:
    explicit CAdvPrefSheet(CAppSettings& settings, QWidget* parent = nullptr);

    CAdvPrefPage1* Page1() const { return m_pPage1; }
    CAdvPrefPage2* Page2() const { return m_pPage2; }
    void OnApply();
    void OnHelp();
    void accept() override;

protected:
    // Opens the program's help at `context`; tests see the context here.
    virtual void ShowHelp(int context);

private:
    void UpdateApply();

    QTabWidget* m_pTabs = nullptr;
    CAdvPrefPage1* m_pPage1 = nullptr;
    CAdvPrefPage2* m_pPage2 = nullptr;
    QPushButton* m_pApplyButton = nullptr;
};

} // namespace varnolt::ui
