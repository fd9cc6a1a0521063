// A save dialog with one extra check box below the file name, whose last
// folder is remembered in the settings file under the dialog's own client
// identifier, so each kind of file opens where it was last saved.
#pragma once

#include <QFileDialog>
#include <QString>

class QCheckBox;

namespace varnolt {
class CAppSettings;
}

namespace varnolt::ui {

class CFileDialogEx : public QFileDialog {
    Q_OBJECT

public:
    struct Setup {
        QString clientId;     // e.g. "{9167D9F2-...}"
        QString filter;       // "Label|patterns|Label|patterns||"
        QString defaultExt;   // without the dot
        QString checkText;    // label of the check box
        QString checkName;    // its objectName
        bool checked = false; // its initial state
        QString initialFile;  // a name or full path; empty for none
    };

    CFileDialogEx(CAppSettings& settings, const Setup& setup, QWidget* parent = nullptr);

    // Shows the dialog modally; true when the user chose a file.
    bool DoModal();
    // The chosen path, valid after DoModal returned true.
    QString GetPathName() const { return m_strPathName; }
    // The check box's state as the dialog closed, whether by OK or Cancel.
    bool GetCheck() const;
    QCheckBox* CheckBox() const { return m_pCheck; }

    // The settings value that keeps this dialog's last folder.
    static std::string FolderSettingName(const QString& clientId);

    // "Label|patterns|...||" as Qt name filters. "*.*" also means files
    // without an extension, as it does on the system these filters come from.
    static QStringList NameFilters(const QString& filter);

public slots:
    // A name in a folder that does not exist is refused here, with the
    // dialog left open, rather than failing later when the file is written.
    void accept() override;

private:
    CAppSettings& m_settings;
    QString m_strClientId;
    QCheckBox* m_pCheck;
    QString m_strPathName;
};

} // namespace varnolt::ui
