// How the codec dialog's HTML codec encodes: names or numbers, decimal or
// hexadecimal, with a fixed example of each choice.
#pragma once

#include <QDialog>
#include <QString>
#include <cstdint>

class QCheckBox;
class QLineEdit;
class QRadioButton;

namespace varnolt::ui {

class CHtmlCodecOptionDlg : public QDialog {
    Q_OBJECT

public:
    // `numericForm`: 0 decimal, 1 hexadecimal.
    CHtmlCodecOptionDlg(bool preferNames, std::int32_t numericForm, QWidget* parent = nullptr);

    // The choices as the controls hold them (read them after OK).
    bool PreferNames() const;
    std::int32_t NumericForm() const;

    // What the euro and ohm signs encode to under a choice: fixed texts.
    static QString ExampleOutput(bool preferNames, std::int32_t numericForm);

private:
    void UpdateExample();

    QCheckBox* m_pPreferCheck = nullptr;
    QRadioButton* m_pDecimalRadio = nullptr;
    QRadioButton* m_pHexRadio = nullptr;
    QLineEdit* m_pExampleOutput = nullptr;
};

} // namespace varnolt::ui
