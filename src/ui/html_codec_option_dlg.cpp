// The HTML entity encoder options dialog.
#include "ui/html_codec_option_dlg.hpp"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace varnolt::ui {

CHtmlCodecOptionDlg::CHtmlCodecOptionDlg(bool preferNames, std::int32_t numericForm,
                                         QWidget* parent)
    : QDialog(parent) {
    setObjectName(QStringLiteral("htmlCodecOptionDialog"));
    setWindowTitle(QStringLiteral("HTML Entity Encoder Options"));

    m_pPreferCheck =
        new QCheckBox(QStringLiteral("Prefer character entities to numeric entities"), this);
    m_pPreferCheck->setObjectName(QStringLiteral("preferNamesCheck"));
    m_pPreferCheck->setChecked(preferNames);

    auto* numeric = new QGroupBox(QStringLiteral("Numeric Entities"), this);
    numeric->setObjectName(QStringLiteral("numericEntitiesGroup"));
    m_pDecimalRadio = new QRadioButton(QStringLiteral("Decimal Number"), numeric);
    m_pDecimalRadio->setObjectName(QStringLiteral("decimalRadio"));
    m_pHexRadio = new QRadioButton(QStringLiteral("Hexadecimal Number"), numeric);
    m_pHexRadio->setObjectName(QStringLiteral("hexadecimalRadio"));
    (numericForm == 1 ? m_pHexRadio : m_pDecimalRadio)->setChecked(true);
    auto* numericLayout = new QVBoxLayout(numeric);
    numericLayout->addWidget(m_pDecimalRadio);
    numericLayout->addWidget(m_pHexRadio);

    auto* example = new QGroupBox(QStringLiteral("Example"), this);
    example->setObjectName(QStringLiteral("exampleGroup"));
    auto* exampleInput = new QLineEdit(QStringLiteral("\u20AC\u2126"), example);
    exampleInput->setObjectName(QStringLiteral("exampleInputEdit"));
    exampleInput->setReadOnly(true);
    m_pExampleOutput = new QLineEdit(example);
    m_pExampleOutput->setObjectName(QStringLiteral("exampleOutputEdit"));
    m_pExampleOutput->setReadOnly(true);
    auto* exampleLayout = new QGridLayout(example);
    exampleLayout->addWidget(exampleInput, 0, 0);
    exampleLayout->addWidget(new QLabel(QStringLiteral("Encode to"), example), 0, 1);
    exampleLayout->addWidget(m_pExampleOutput, 0, 2);
    exampleLayout->setColumnStretch(0, 1);
    exampleLayout->setColumnStretch(2, 2);

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* ok = buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    ok->setObjectName(QStringLiteral("okButton"));
    ok->setDefault(true);
    QPushButton* cancel =
        buttons->addButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole);
    cancel->setObjectName(QStringLiteral("cancelButton"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_pPreferCheck);
    layout->addWidget(numeric);
    layout->addWidget(example);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    for (QAbstractButton* button : {static_cast<QAbstractButton*>(m_pPreferCheck),
                                    static_cast<QAbstractButton*>(m_pDecimalRadio),
                                    static_cast<QAbstractButton*>(m_pHexRadio)}) {
        connect(button, &QAbstractButton::toggled, this, [this] { UpdateExample(); });
    }
    UpdateExample();
}

bool CHtmlCodecOptionDlg::PreferNames() const {
    return m_pPreferCheck->isChecked();
}

std::int32_t CHtmlCodecOptionDlg::NumericForm() const {
    return m_pHexRadio->isChecked() ? 1 : 0;
}

QString CHtmlCodecOptionDlg::ExampleOutput(bool preferNames, std::int32_t numericForm) {
    if (numericForm == 1) {
        return preferNames ? QStringLiteral("&euro;&#x2126;") : QStringLiteral("&#x20ac;&#x2126;");
    }
    return preferNames ? QStringLiteral("&euro;&#8486;") : QStringLiteral("&#8364;&#8486;");
}

void CHtmlCodecOptionDlg::UpdateExample() {
    m_pExampleOutput->setText(ExampleOutput(PreferNames(), NumericForm()));
}

} // namespace varnolt::ui
