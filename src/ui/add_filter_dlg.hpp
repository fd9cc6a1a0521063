// "Save Search": asks for the name under which the find-files window keeps
// its current settings.
#pragma once

#include <QDialog>
#include <QString>

class QCheckBox;
class QLineEdit;
class QPushButton;

namespace varnolt::ui {

class CAddFilterDlg : public QDialog {
    Q_OBJECT

public:
    explicit CAddFilterDlg(QWidget* parent = nullptr);

    QString Name() const;
    // Always true: the folder is always part of a saved search.
    bool IncludeFolder() const;

private:
    QLineEdit* m_pNameEdit;
    QCheckBox* m_pFolderCheck;
    QPushButton* m_pOkButton;
};

} // namespace varnolt::ui
