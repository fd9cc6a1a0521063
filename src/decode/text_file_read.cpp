// The text file reader: byte-order mark, blocks, characters and lines.
#include "decode/text_file_read.hpp"

#include "platform/file_exception.hpp"
#include "platform/text_utf.hpp"

#include <algorithm>

namespace varnolt {

namespace {

constexpr char16_t kReplacement = 0xFFFD;
constexpr char16_t kCr = 0x0D;
constexpr char16_t kLf = 0x0A;
// A dropped file may be large: the first reservation stays modest and the
// string grows as usual beyond it.
constexpr std::uint64_t kMaxReserve = 16u << 20;

bool IsContinuation(std::uint8_t byte) {
    return (byte & 0xC0) == 0x80;
}

} // namespace

CTextFileBase::~CTextFileBase() = default;

CTextFileRead::CTextFileRead(const std::string& path) {
    auto file = std::make_unique<platform::CSourceFile>();
    try {
        file->Open(path);
    } catch (const CFileException&) {
        return;
    }
    m_pFile = std::move(file);
    DetectEncoding();
}

void CTextFileRead::DetectEncoding() {
    std::uint8_t first = 0;
    if (!PeekByte(first)) {
        return;
    }
    // The whole mark lies in the first block, which PeekByte has read.
    const auto at = [this](int i) { return i < m_nBlockLength ? m_block[i] : -1; };
    if (at(0) == 0xFE && at(1) == 0xFF) {
        m_nEncoding = kUtf16BE;
        m_nPosition = 1;
    } else if (at(0) == 0xFF && at(1) == 0xFE) {
        m_nEncoding = kUtf16LE;
        m_nPosition = 1;
    } else if (at(0) == 0xEF && at(1) == 0xBB && at(2) == 0xBF) {
        m_nEncoding = kUtf8;
        m_nPosition = 2;
    } else {
        m_nEncoding = kAnsi;
        m_nPosition = -1;
    }
}

bool CTextFileRead::PeekByte(std::uint8_t& byte) {
    if (m_nPosition + 1 >= m_nBlockLength) {
        if (m_bEndReached) {
            return false;
        }
        const std::size_t got = m_pFile->Read(m_block.data(), m_block.size());
        m_nBlockLength = static_cast<std::int32_t>(got);
        m_nPosition = -1;
        if (got < m_block.size()) {
            m_bEndReached = true;
        }
        if (got == 0) {
            return false;
        }
    }
    byte = m_block[static_cast<std::size_t>(m_nPosition + 1)];
    return true;
}

bool CTextFileRead::NextByte(std::uint8_t& byte) {
    if (!PeekByte(byte)) {
        return false;
    }
    ++m_nPosition;
    return true;
}

bool CTextFileRead::NextUtf8Char(char16_t& ch) {
    if (m_nPendingReplacements > 0) {
        --m_nPendingReplacements;
        ch = kReplacement;
        return true;
    }
    std::uint8_t lead = 0;
    if (!NextByte(lead)) {
        return false;
    }
    std::uint8_t next = 0;
    if (lead < 0x80) {
        ch = lead;
    } else if ((lead & 0xE0) == 0xC0) {
        // A byte that does not continue the sequence is read again as a
        // character of its own, so a cut sequence never swallows a line end.
        if (PeekByte(next) && IsContinuation(next)) {
            NextByte(next);
            ch = static_cast<char16_t>(((lead & 0x1F) << 6) | (next & 0x3F));
        } else {
            ch = kReplacement;
        }
    } else if ((lead & 0xF0) == 0xE0) {
        std::uint8_t middle = 0;
        if (!PeekByte(middle) || !IsContinuation(middle)) {
            ch = kReplacement;
        } else {
            NextByte(middle);
            if (PeekByte(next) && IsContinuation(next)) {
                NextByte(next);
                ch = static_cast<char16_t>(((lead & 0x0F) << 12) | ((middle & 0x3F) << 6) |
                                           (next & 0x3F));
            } else {
                // One U+FFFD per byte taken, as for every byte that is not
                // part of a whole sequence.
                ch = kReplacement;
                m_nPendingReplacements = 1;
            }
        }
    } else {
        // A stray continuation byte, or any byte of a four-byte sequence.
        ch = kReplacement;
    }
    return true;
}

bool CTextFileRead::NextChar(char16_t& ch) {
    std::uint8_t byte = 0;
    switch (m_nEncoding) {
    case kUtf16BE:
    case kUtf16LE: {
        std::uint8_t second = 0;
        if (!NextByte(byte)) {
            return false;
        }
        if (!NextByte(second)) {
            ch = kReplacement; // an odd byte at the end
            return true;
        }
        ch = m_nEncoding == kUtf16BE ? static_cast<char16_t>((byte << 8) | second)
                                     : static_cast<char16_t>((second << 8) | byte);
        return true;
    }
    case kUtf8:
        return NextUtf8Char(ch);
    default:
        if (!NextByte(byte)) {
            return false;
        }
        ch = byte;
        return true;
    }
}

bool CTextFileRead::ReadLine(std::u16string& line) {
    char16_t ch = 0;
    if (!m_bStartOfText) {
        // Skip the line end that ended the previous line: one CR, then one LF.
        bool have = m_bPushedBack ? (ch = m_chPushedBack, true) : NextChar(ch);
        m_bPushedBack = false;
        if (have && ch == kCr) {
            have = NextChar(ch);
        }
        if (have && ch != kLf) {
            m_bPushedBack = true;
            m_chPushedBack = ch;
        }
    }
    m_bStartOfText = false;

    // ANSI lines are collected as bytes and decoded whole, so that a
    // multi-byte character is never cut in two.
    std::string bytes;
    bool textEnded = false; // a NUL ended the line's text
    bool endedByLineEnd = false;
    for (;;) {
        if (m_bPushedBack) {
            ch = m_chPushedBack;
            m_bPushedBack = false;
        } else if (!NextChar(ch)) {
            break;
        }
        if (ch == kCr || ch == kLf) {
            m_bPushedBack = true;
            m_chPushedBack = ch;
            endedByLineEnd = true;
            break;
        }
        if (ch == 0) {
            textEnded = true;
        }
        if (textEnded) {
            continue;
        }
        if (m_nEncoding == kAnsi) {
            bytes.push_back(static_cast<char>(ch));
        } else {
            line.push_back(ch);
        }
    }
    if (m_nEncoding == kAnsi) {
        // The system's ANSI code page: UTF-8 on Linux, decoded without failing.
        line += Utf8ToUtf16(bytes);
    }
    return endedByLineEnd;
}

bool CTextFileRead::ReadAll(std::u16string& text, std::u16string_view separator) {
    if (!m_pFile) {
        return false;
    }
    if (m_bAllRead) {
        return true;
    }
    std::uint64_t units = m_pFile->Length();
    if (m_nEncoding == kUtf16BE || m_nEncoding == kUtf16LE) {
        units /= 2;
    }
    text.reserve(text.size() + static_cast<std::size_t>(std::min(units, kMaxReserve)));
    std::u16string line;
    for (;;) {
        line.clear();
        const bool more = ReadLine(line);
        text += line;
        if (!more) {
            break;
        }
        text += separator;
    }
    m_bAllRead = true;
    return true;
}

} // namespace varnolt
