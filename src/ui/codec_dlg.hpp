// The Unicode encoder/decoder tool: text in the upper box is encoded into
// HTML character references or Java escapes in the lower box, and back, by
// the conversion pipeline's own codecs. Its choices persist in CodecOptions.
#pragma once

#include "codecs/html_entity_codec.hpp"
#include "codecs/java_codec.hpp"

#include <QDialog>
#include <QList>
#include <QPlainTextEdit>
#include <QUrl>
#include <array>
#include <cstdint>
#include <vector>

class QComboBox;
class QPushButton;

namespace varnolt {
class CAppSettings;
}

namespace varnolt::ui {

// The 12 bytes of CodecOptions: three little-endian 32-bit fields.
struct CCodecOptions {
    static constexpr std::size_t kSize = 12;

    std::int32_t nCodec = 0;       // 0 HTML Char Entity, 1 Java Unicode Notation
    std::int32_t nNumericForm = 0; // 0 decimal, 1 hexadecimal
    // Byte 0 is the preference for names (any value but 0 is yes); the other
    // three are kept as they were read.
    std::array<std::uint8_t, 4> aPreference{1, 0, 0, 0};

    bool PreferNames() const { return aPreference[0] != 0; }

    // The options from the stored value (`stored` null when it could not be
    // read or is not binary). A value of another size gives the defaults;
    // a field out of its range is reset. `dirty` is set when the options
    // differ from what is stored, so they must be written back.
    static CCodecOptions FromStored(const std::vector<std::uint8_t>* stored, bool& dirty);
    std::vector<std::uint8_t> ToBytes() const;
};

// An edit box of the codec dialog: a file dropped from a file manager is
// reported (as a copy, never a move) instead of being inserted as text.
class CCodecEdit : public QPlainTextEdit {
    Q_OBJECT

public:
    using QPlainTextEdit::QPlainTextEdit;

    // The box's text with every character kept (a no-break space stays one)
    // and lines ended by LF.
    QString Text() const;

signals:
    void filesDropped(const QList<QUrl>& urls);

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
};

class CCodecDlg : public QDialog {
    Q_OBJECT

public:
    enum Codec : std::int32_t { kCodecHtml = 0, kCodecJava = 1 };

    // Reads CodecOptions from `settings`, which must outlive the dialog.
    explicit CCodecDlg(CAppSettings& settings, QWidget* parent = nullptr);
    // Writes CodecOptions when the options changed or had to be repaired.
    ~CCodecDlg() override;

    // Upper box to lower box, and back; an ill-formed text (an unpaired
    // surrogate) is reported and leaves the target box as it was.
    void OnEncode();
    void OnDecode();
    // The encoder options dialog; OK applies and keeps its choices.
    void OnOption();

    // Replaces the box's text with the text of the first dropped file (a
    // link or launcher followed, only a regular file taken). A file that
    // cannot be read is reported and leaves the box as it was. True when
    // the box was filled.
    bool DropFiles(CCodecEdit* box, const QList<QUrl>& urls);

    const CCodecOptions& Options() const { return m_options; }
    bool IsDirty() const { return m_bDirty; }

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void OnCodecChanged(int index);
    CUnicodeCodec& SelectedCodec();
    void ApplyToHtmlCodec();
    void UpdateEditButtons();
    void ShowFailure(const QString& text);

    CAppSettings& m_settings;
    CCodecOptions m_options;
    bool m_bDirty = false;
    bool m_bShownOnce = false;
    CHtmlEntityCodec m_htmlCodec;
    CJavaCodec m_javaCodec;

    QComboBox* m_pCodecCombo = nullptr;
    QPushButton* m_pOptionButton = nullptr;
    CCodecEdit* m_pUnicodeEdit = nullptr;
    CCodecEdit* m_pEncodedEdit = nullptr;
    // Cut, copy, paste of the upper box, then of the lower box.
    std::array<QPushButton*, 6> m_apEditButtons{};
};

} // namespace varnolt::ui
