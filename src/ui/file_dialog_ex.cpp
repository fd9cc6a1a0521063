// Save dialog with an extra check box and a remembered folder.
#include "ui/file_dialog_ex.hpp"

#include "settings/app_settings.hpp"

#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QMessageBox>

namespace varnolt::ui {

std::string CFileDialogEx::FolderSettingName(const QString& clientId) {
    return "LastFolder" + clientId.toStdString();
}

QStringList CFileDialogEx::NameFilters(const QString& filter) {
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        if (parts[i].isEmpty()) {
            break; // the "||" that ends the list
        }
        QString label = parts[i];
        QStringList patterns = parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts);
        for (QString& pattern : patterns) {
            if (pattern == QLatin1String("*.*")) {
                pattern = QStringLiteral("*");
            }
        }
        // Qt reads the patterns from the last parentheses of the label.
        const qsizetype open = label.lastIndexOf(QLatin1Char('('));
        if (open >= 0) {
            label.truncate(open);
            label = label.trimmed();
        }
        filters << QStringLiteral("%1 (%2)").arg(label, patterns.join(QLatin1Char(' ')));
    }
    return filters;
}

CFileDialogEx::CFileDialogEx(CAppSettings& settings, const Setup& setup, QWidget* parent)
    : QFileDialog(parent), m_settings(settings), m_strClientId(setup.clientId) {
    setObjectName(QStringLiteral("fileDialogEx"));
    // Qt's own dialog: a platform dialog cannot take the extra check box.
    setOption(QFileDialog::DontUseNativeDialog, true);
    setAcceptMode(QFileDialog::AcceptSave);
    setFileMode(QFileDialog::AnyFile);
    setDefaultSuffix(setup.defaultExt);
    setNameFilters(NameFilters(setup.filter));

    CRegStringSetting lastFolder(m_settings, FolderSettingName(m_strClientId), "");
    const QString folder = QString::fromStdString(lastFolder.Get());
    // Without a folder of its own, the home folder: Qt would otherwise open
    // wherever any file dialog of the process was last, mixing the dialogs.
    setDirectory(!folder.isEmpty() && QFileInfo(folder).isDir() ? folder : QDir::homePath());
    if (!setup.initialFile.isEmpty()) {
        // A full path also opens its folder.
        selectFile(setup.initialFile);
    }

    m_pCheck = new QCheckBox(setup.checkText, this);
    m_pCheck->setObjectName(setup.checkName);
    m_pCheck->setChecked(setup.checked);
    if (auto* grid = qobject_cast<QGridLayout*>(layout())) {
        grid->addWidget(m_pCheck, grid->rowCount(), 0, 1, grid->columnCount());
    } else if (layout() != nullptr) {
        layout()->addWidget(m_pCheck);
    }
}

bool CFileDialogEx::DoModal() {
    m_strPathName.clear();
    if (exec() != QDialog::Accepted) {
        return false;
    }
    const QStringList files = selectedFiles();
    if (files.isEmpty()) {
        return false;
    }
    m_strPathName = files.front();
    CRegStringSetting lastFolder(m_settings, FolderSettingName(m_strClientId), "");
    lastFolder.Set(QFileInfo(m_strPathName).absolutePath().toStdString());
    // Staged in the store now; it reaches the file with the other settings.
    lastFolder.Write();
    return true;
}

void CFileDialogEx::accept() {
    const QStringList files = selectedFiles();
    if (!files.isEmpty()) {
        const QFileInfo info(files.front());
        if (!info.exists() && !info.absoluteDir().exists()) {
            QMessageBox::warning(this, windowTitle(),
                                 QStringLiteral("%1\nPath does not exist.\nCheck the path and "
                                                "try again.")
                                     .arg(QDir::toNativeSeparators(info.absolutePath())));
            return;
        }
    }
    QFileDialog::accept();
}

bool CFileDialogEx::GetCheck() const {
    return m_pCheck->isChecked();
}

} // namespace varnolt::ui
