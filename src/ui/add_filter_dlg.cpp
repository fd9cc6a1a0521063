// The "Save Search" dialog: a name, OK only once there is one.
#include "ui/add_filter_dlg.hpp"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace varnolt::ui {

CAddFilterDlg::CAddFilterDlg(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("addFilterDlg"));
    setWindowTitle(QStringLiteral("Save Search"));

    auto* text = new QLabel(QStringLiteral("You may save the current search setting.  So, you may "
                                           "re-use the search criteria easily.  Please give the "
                                           "setting a name."),
                            this);
    text->setObjectName(QStringLiteral("saveSearchText"));
    text->setWordWrap(true);

    auto* nameLabel = new QLabel(QStringLiteral("Search Name:"), this);
    m_pNameEdit = new QLineEdit(this);
    m_pNameEdit->setObjectName(QStringLiteral("searchNameEdit"));
    nameLabel->setBuddy(m_pNameEdit);

    // Kept for the record's sake: the folder is always saved, so the box is
    // never shown and never unticked.
    m_pFolderCheck = new QCheckBox(QStringLiteral("Include 'Folder to Search'"), this);
    m_pFolderCheck->setObjectName(QStringLiteral("includeFolderCheck"));
    m_pFolderCheck->setChecked(true);
    m_pFolderCheck->setVisible(false);

    auto* buttons = new QDialogButtonBox(this);
    m_pOkButton = buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    m_pOkButton->setObjectName(QStringLiteral("okButton"));
    m_pOkButton->setDefault(true);
    m_pOkButton->setEnabled(false);
    QPushButton* cancel =
        buttons->addButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole);
    cancel->setObjectName(QStringLiteral("cancelButton"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_pNameEdit, &QLineEdit::textChanged, this,
            [this](const QString& name) { m_pOkButton->setEnabled(!name.isEmpty()); });

    auto* nameRow = new QHBoxLayout;
    nameRow->addWidget(nameLabel);
    nameRow->addWidget(m_pNameEdit, 1);
    auto* main = new QVBoxLayout(this);
    main->addWidget(text);
    main->addLayout(nameRow);
    main->addWidget(m_pFolderCheck);
    main->addWidget(buttons);
    setMinimumWidth(360);
    m_pNameEdit->setFocus();
}

QString CAddFilterDlg::Name() const {
    return m_pNameEdit->text();
}

bool CAddFilterDlg::IncludeFolder() const {
    return m_pFolderCheck->isChecked();
}

} // namespace varnolt::ui
