// Reads a whole small text file into one UTF-16 string: the encoding comes
// from the byte-order mark, lines are joined with the caller's separator.
// Not part of the conversion pipeline; the codec dialog shows dropped files
// with it.
#pragma once

#include "platform/source_file.hpp"

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace varnolt {

class CTextFileBase {
public:
    enum TextEncoding : std::int32_t {
        kAnsi = 0, // no mark: the system's ANSI code page (UTF-8 on Linux)
        kUtf16BE = 1,
        kUtf16LE = 2,
        kUtf8 = 3,
    };
    static constexpr std::int32_t kBlockSize = 4096;

    virtual ~CTextFileBase();

    TextEncoding GetEncoding() const { return static_cast<TextEncoding>(m_nEncoding); }

protected:
    CTextFileBase() = default;

    std::int32_t m_nEncoding = kAnsi;
    std::unique_ptr<platform::CSourceFile> m_pFile;
    bool m_bEndReached = false;
    std::array<std::uint8_t, kBlockSize> m_block{};
    std::int32_t m_nPosition = -1; // the last byte taken from the block
    std::int32_t m_nBlockLength = 0;
    bool m_bStartOfText = true; // no line read yet: nothing to skip
    bool m_bPushedBack = false;
    char16_t m_chPushedBack = 0;  // the character that ended the previous line
    std::int32_t m_nCodePage = 0; // ANSI files; 0 is the system's ANSI code page
};

class CTextFileRead : public CTextFileBase {
public:
    // Opens the file and detects its encoding. A file that cannot be opened,
    // or is not a regular file (a FIFO, a folder), leaves the reader without
    // a file. A read error while looking for the mark raises CFileException.
    explicit CTextFileRead(const std::string& path);

    bool IsOpen() const { return m_pFile != nullptr; }

    // Appends the rest of the file to `text`, lines joined by `separator`
    // (none after the last line; a final line end gives an empty last line).
    // CR, LF and CR LF each end a line; a NUL ends the text of its line.
    // False, with `text` untouched, when there is no open file. A read error
    // raises CFileException; `text` may then hold part of the file.
    bool ReadAll(std::u16string& text, std::u16string_view separator);

private:
    void DetectEncoding();
    // The next byte of the file, false at its end.
    bool NextByte(std::uint8_t& byte);
    // The next byte without taking it, false at the end.
    bool PeekByte(std::uint8_t& byte);
    // The next character in the file's encoding (ANSI: a byte), false at the end.
    bool NextChar(char16_t& ch);
    bool NextUtf8Char(char16_t& ch);
    // Reads one line into `line`; true when a line end (not the file's end)
    // ended it.
    bool ReadLine(std::u16string& line);

    int m_nPendingReplacements = 0; // U+FFFD still owed for a cut UTF-8 sequence
    bool m_bAllRead = false;
};

} // namespace varnolt
