// CSourceFileReader: the five reading modes over a file read in large blocks.
//
// The file is read in blocks of 256 KiB and the mode's state machine runs over
// memory; the chunks it cuts are those of reading one byte at a time: 8192
// bytes plus the rest of the character that crosses that mark, with NUL bytes
// between characters dropped.
#include "decode/source_file_reader.hpp"

#include "decode/armscii.hpp"
#include "decode/ascii.hpp"
#include "decode/code_page_decoder.hpp"
#include "decode/decode_exceptions.hpp"
#include "decode/source_guards.hpp"
#include "decode/unicode_converter.hpp"
#include "platform/file_exception.hpp"
#include "platform/source_file.hpp"
#include "settings/file_status.hpp"

#include <algorithm>
#include <bit>
#include <cstring>

namespace varnolt {

namespace {

constexpr std::size_t kBlockBytes = 256 * 1024;

bool IsHighSurrogate(char16_t u) {
    return u >= 0xD800 && u <= 0xDBFF;
}
bool IsLowSurrogate(char16_t u) {
    return u >= 0xDC00 && u <= 0xDFFF;
}

bool IsGb18030Trail(std::uint8_t b) {
    return (b >= 0x40 && b <= 0x7E) || (b >= 0x80 && b <= 0xFE);
}

bool IsContinuation(std::uint8_t b) {
    return (b & 0xC0) == 0x80;
}

// The length of the sequence at p (4 bytes readable) when the UTF-8 rule
// accepts it whole, else 0 (the byte-by-byte path then decides). It accepts
// exactly what that path accepts, lead bytes 0xF5-0xF7 included.
std::size_t WholeUtf8Sequence(const std::uint8_t* p) {
    const std::uint8_t b = p[0];
    if (b >= 0xC2 && b <= 0xDF) {
        return IsContinuation(p[1]) ? 2 : 0;
    }
    if ((b & 0xF0) == 0xE0) {
        const std::uint8_t lo = b == 0xE0 ? 0xA0 : 0x80;
        const std::uint8_t hi = b == 0xED ? 0x9F : 0xBF;
        return p[1] >= lo && p[1] <= hi && IsContinuation(p[2]) ? 3 : 0;
    }
    if ((b & 0xF8) == 0xF0) {
        const std::uint8_t lo = b == 0xF0 ? 0x90 : 0x80;
        return p[1] >= lo && p[1] <= 0xBF && IsContinuation(p[2]) && IsContinuation(p[3]) ? 4 : 0;
    }
    return 0;
}

char16_t ByteSwap(char16_t u) {
    return static_cast<char16_t>((u << 8) | (u >> 8));
}

// The run was stopped while this file was being read.
struct CReadStopped {};

// A guard found that the file is not in the run's encoding.
struct CSourceRefused {
    std::string strWhat;
};

// The length of the UTF-8 sequence that `lead` starts, as the reader takes it.
int Utf8SequenceLength(std::uint8_t lead) {
    return (lead & 0xE0) == 0xC0 ? 2 : (lead & 0xF0) == 0xE0 ? 3 : 4;
}

// The bytes of a GB18030 character taken so far, by the reader's state.
std::size_t Gb18030Taken(int state) {
    return state == 3 ? 1 : state == 4 ? 2 : 3;
}

} // namespace

CSourceFileReader::CSourceFileReader(CUnicodeConverter& converter, IFileStatusSink& status)
    : m_converter(converter), m_status(status), m_pFile(std::make_unique<platform::CSourceFile>()),
      m_pChunk(new std::uint8_t[kChunkSize + 4]), m_pText(new char16_t[kUtf16BlockSize / 2 + 8]),
      m_pBlock(new std::uint8_t[kBlockBytes]) {}

CSourceFileReader::~CSourceFileReader() = default;

CSourceFileReader::ReadMode CSourceFileReader::ReadModeOf(std::int32_t codePage) {
    switch (codePage) {
    case 1200:
        return kUtf16Le;
    case 1201:
        return kUtf16Be;
    case 54936:
        return kGb18030;
    case 65001:
        return kUtf8;
    default:
        return kGeneric;
    }
}

void CSourceFileReader::SetCodePage(std::int32_t codePage) {
    m_nCodePage = codePage;
    m_nReadMode = ReadModeOf(codePage);
    m_bHasLeadBytes = false;
    for (unsigned b = 0; b < 256; ++b) {
        m_aLead[b] = IsDBCSLeadByteEx(codePage, static_cast<std::uint8_t>(b));
        m_bHasLeadBytes = m_bHasLeadBytes || m_aLead[b];
    }
}

bool CSourceFileReader::Read(const std::string& path) {
    switch (m_nReadMode) {
    case kGeneric:
        return ReadMbcs(path);
    case kUtf8:
        return ReadUtf8(path);
    case kUtf16Le:
        return ReadUtf16(path, false);
    case kUtf16Be:
        return ReadUtf16(path, true);
    case kGb18030:
        return ReadGb18030(path);
    }
    std::abort(); // an impossible mode value
}

bool CSourceFileReader::ReadMbcs(const std::string& path) {
    m_nReadMode = kGeneric;
    return Guarded(path, &CSourceFileReader::ReadBytesBody);
}

bool CSourceFileReader::ReadUtf8(const std::string& path) {
    m_nReadMode = kUtf8;
    return Guarded(path, &CSourceFileReader::ReadBytesBody);
}

bool CSourceFileReader::ReadGb18030(const std::string& path) {
    m_nReadMode = kGb18030;
    return Guarded(path, &CSourceFileReader::ReadBytesBody);
}

bool CSourceFileReader::ReadUtf16(const std::string& path, bool bBigEndian) {
    m_nReadMode = bBigEndian ? kUtf16Be : kUtf16Le;
    m_bBigEndian = bBigEndian;
    return Guarded(path, &CSourceFileReader::ReadUtf16Body);
}

bool CSourceFileReader::Guarded(const std::string& path,
                                bool (CSourceFileReader::*body)(const std::string&)) {
    bool bResult = false;
    int message = 0;
    int level = kLevelError;
    int systemError = 0;
    m_strDetail.clear();
    try {
        bResult = (this->*body)(path);
    } catch (const CFileExceptionFromTargetFileWriter&) {
        message = kMsgTempAccessFailed;
    } catch (const CFileException& error) {
        // Every source-side file error fails the file, an end-of-file one
        // included: counting it as success would pass on a truncated text.
        message = kMsgSourceReadError;
        systemError = error.m_lOsError > 0 ? static_cast<int>(error.m_lOsError) : 0;
    } catch (const CSourceRefused& refused) {
        message = kMsgNotSourceEncoding;
        level = kLevelWarning;
        m_strDetail = refused.strWhat;
    } catch (const CMbcsToUnicodeException&) {
        message = kMsgInvalidCharacter;
    } catch (const CUtf16InvalidException&) {
        message = kMsgInvalidCharacter;
    } catch (const CSourceChangedException&) {
        message = kMsgSourceChanged;
    } catch (const CReadStopped&) {
        message = kMsgInterrupted;
    }
    if (message != 0 && message != kMsgTempAccessFailed) {
        // The writer may still hold text from before this failure (it can
        // run on a thread of its own): a write failure there came first, and
        // is the file's result, as it would be had each piece been written
        // at once.
        try {
            m_converter.SettleOutput();
        } catch (const CFileExceptionFromTargetFileWriter&) {
            message = kMsgTempAccessFailed;
            level = kLevelError;
            systemError = 0;
            m_strDetail.clear();
        }
    }
    m_pFile->Close();
    if (message != 0) {
        m_status.SetStatus(m_nLogIndex, level, message);
        if (systemError != 0) {
            m_status.SetReason(m_nLogIndex, systemError);
        }
        if (!m_strDetail.empty()) {
            m_status.SetDetail(m_nLogIndex, m_strDetail);
        }
    }
    return bResult;
}

const platform::FileState& CSourceFileReader::SourceState() const {
    return m_pFile->State();
}

void CSourceFileReader::CheckUnchanged() const {
    if (!m_pFile->Unchanged()) {
        throw CSourceChangedException();
    }
}

bool CSourceFileReader::Refill() {
    if (m_pStop != nullptr && m_pStop->load(std::memory_order_relaxed)) {
        throw CReadStopped();
    }
    const std::size_t n = m_pFile->Read(m_pBlock.get(), kBlockBytes);
    m_nBlockOffset = m_nRead;
    m_nRead += n;
    m_pNext = m_pBlock.get();
    m_pEnd = m_pNext + n;
    return n != 0;
}

void CSourceFileReader::CheckGuards() {
    // The first block holds the window (a short read happens only at the
    // end of the file), so the guards cost no read of their own.
    if (!m_bGuards || (m_pNext == m_pEnd && !Refill())) {
        return;
    }
    const std::size_t n = static_cast<std::size_t>(m_pEnd - m_pNext);
    if (auto finding = CheckSourceGuards(m_nCodePage, m_pNext, n, n < kBlockBytes)) {
        throw CSourceRefused{std::move(finding->strWhat)};
    }
}

void CSourceFileReader::FailInChunk(std::uint64_t offset, std::size_t taken, const int* next,
                                    const char* suffix) {
    std::uint8_t bytes[8];
    taken = std::min<std::size_t>({taken, m_nChunk, 7});
    std::memcpy(bytes, m_pChunk.get() + m_nChunk - taken, taken);
    std::size_t n = taken;
    if (next != nullptr) {
        bytes[n++] = static_cast<std::uint8_t>(*next);
    }
    m_strDetail = DescribeInvalidSequence(offset, bytes, n) + suffix;
    throw CMbcsToUnicodeException();
}

void CSourceFileReader::LocateInUtf16(const char16_t* text, std::size_t n,
                                      std::uint64_t blockStart) {
    // The first unit that is not legal text: NUL, U+FFFE, U+FFFF or a
    // surrogate without its partner (a pair may close over removed NULs).
    std::size_t at = n;
    for (std::size_t i = 0; i < n && at == n; ++i) {
        const char16_t u = text[i];
        if (u == 0 || u >= 0xFFFE || IsLowSurrogate(u)) {
            at = i;
        } else if (IsHighSurrogate(u)) {
            if (i + 1 < n && IsLowSurrogate(text[i + 1])) {
                ++i;
            } else {
                at = i;
            }
        }
    }
    if (at == n) {
        return;
    }
    const std::size_t dropped = static_cast<std::size_t>(
        std::upper_bound(m_droppedNuls.begin(), m_droppedNuls.end(), at) - m_droppedNuls.begin());
    const char16_t u = text[at];
    const std::uint8_t hi = static_cast<std::uint8_t>(u >> 8);
    const std::uint8_t lo = static_cast<std::uint8_t>(u & 0xFF);
    const std::uint8_t bytes[2] = {m_bBigEndian ? hi : lo, m_bBigEndian ? lo : hi};
    m_strDetail = DescribeInvalidSequence(blockStart + 2 * (at + dropped), bytes, 2);
}

void CSourceFileReader::LocateInChunk(const std::uint8_t* bytes, std::size_t n) {
    // Only the strict decoders fail a chunk, and they keep no state.
    const auto found = FindInvalidSequence(m_nCodePage, bytes, n, CDecoderState());
    if (!found) {
        return;
    }
    const auto [at, length] = *found;
    const std::size_t dropped = static_cast<std::size_t>(
        std::upper_bound(m_droppedNuls.begin(), m_droppedNuls.end(), at) - m_droppedNuls.begin());
    m_strDetail = DescribeInvalidSequence(m_nChunkStart + at + dropped, bytes + at, length);
}

std::size_t CSourceFileReader::Pull(std::uint8_t* out, std::size_t n) {
    std::size_t done = 0;
    while (done < n) {
        if (m_pNext == m_pEnd && !Refill()) {
            break;
        }
        const std::size_t take = std::min<std::size_t>(n - done, m_pEnd - m_pNext);
        std::memcpy(out + done, m_pNext, take);
        m_pNext += take;
        done += take;
    }
    return done;
}

void CSourceFileReader::EmitChunk() {
    m_pChunk[m_nChunk] = 0;
    const std::size_t n = m_nChunk;
    m_nChunk = 0;
    EmitChunk(m_pChunk.get(), n);
}

void CSourceFileReader::EmitChunk(const std::uint8_t* bytes, std::size_t n) {
    try {
        m_converter.ConvertChunk(bytes, n);
    } catch (const CMbcsToUnicodeException&) {
        LocateInChunk(bytes, n);
        throw;
    }
    m_nChunkStart += n + m_droppedNuls.size();
    m_droppedNuls.clear();
}

bool CSourceFileReader::ReadBytesBody(const std::string& path) {
    m_nState = 0;
    m_nChunk = 0;
    m_nUtf8Remaining = 0;
    m_bUtf8Second = false;
    m_pNext = m_pEnd = nullptr;
    m_nRead = m_nBlockOffset = m_nChunkStart = 0;
    m_droppedNuls.clear();
    m_pFile->Open(path);
    CheckGuards();
    for (;;) {
        if (m_pNext == m_pEnd && !Refill()) {
            break;
        }
        switch (m_nReadMode) {
        case kUtf8:
            m_pNext = FillUtf8(m_pNext, m_pEnd);
            break;
        case kGb18030:
            m_pNext = FillGb18030(m_pNext, m_pEnd);
            break;
        default:
            // A whole chunk without a NUL is the block's own bytes, converted
            // without a copy.
            if (const std::size_t whole = WholeChunkInBlock()) {
                m_pNext += whole;
                EmitChunk(m_pNext - whole, whole);
            } else {
                m_pNext = m_bHasLeadBytes ? FillDoubleByte(m_pNext, m_pEnd)
                                          : FillSingleByte(m_pNext, m_pEnd);
            }
            break;
        }
        if (m_nState == 0 && m_nChunk >= kChunkSize) {
            EmitChunk();
        }
    }
    // At the end, before anything is flushed: a file that moved meanwhile
    // may have ended early or late.
    CheckUnchanged();
    if (m_nState != 0) {
        // The file ends inside a character.
        const std::size_t taken = m_nReadMode == kUtf8
                                      ? Utf8SequenceLength(m_nUtf8Lead) - m_nUtf8Remaining + 1
                                  : m_nReadMode == kGb18030 ? Gb18030Taken(m_nState)
                                                            : 1;
        FailInChunk(m_nRead - taken, taken, nullptr, ", cut off by the end of the file");
    }
    if (m_nChunk != 0) {
        EmitChunk();
    }
    m_converter.Finish();
    m_pFile->Close();
    return true;
}

std::size_t CSourceFileReader::WholeChunkInBlock() const {
    // Only at a chunk's start, and not for the decoder that reads up to a
    // NUL terminator: it needs the chunk buffer.
    if (m_nChunk != 0 || m_nState != 0 || m_nCodePage == kArmsciiCodePage) {
        return 0;
    }
    // The chunk, and for a double-byte page the trail byte it may end with.
    const std::size_t reach = kChunkSize + (m_bHasLeadBytes ? 1 : 0);
    if (static_cast<std::size_t>(m_pEnd - m_pNext) < reach ||
        std::memchr(m_pNext, 0, reach) != nullptr) {
        return 0;
    }
    if (!m_bHasLeadBytes) {
        return kChunkSize;
    }
    // As FillDoubleByte cuts it: the lead-valued bytes at the end pair up
    // from the last byte that is not one, so an odd count leaves the last
    // lead byte waiting for the trail byte after the mark.
    std::size_t k = kChunkSize;
    while (k > 0 && m_aLead[m_pNext[k - 1]]) {
        --k;
    }
    return kChunkSize + ((kChunkSize - k) & 1);
}

const std::uint8_t* CSourceFileReader::FillSingleByte(const std::uint8_t* p,
                                                      const std::uint8_t* end) {
    std::uint8_t* chunk = m_pChunk.get();
    while (p < end && m_nChunk < kChunkSize) {
        const std::size_t n = std::min<std::size_t>(end - p, kChunkSize - m_nChunk);
        const void* nul = std::memchr(p, 0, n);
        const std::size_t run = nul != nullptr ? static_cast<const std::uint8_t*>(nul) - p : n;
        std::memcpy(chunk + m_nChunk, p, run);
        m_nChunk += run;
        p += run;
        if (nul != nullptr) {
            m_droppedNuls.push_back(m_nChunk);
            ++p; // a NUL byte between characters is dropped
        }
    }
    return p;
}

const std::uint8_t* CSourceFileReader::FillDoubleByte(const std::uint8_t* p,
                                                      const std::uint8_t* end) {
    std::uint8_t* const chunk = m_pChunk.get();
    std::size_t len = m_nChunk;
    if (m_nState == 2 && p < end) {
        // The trail byte of a lead byte that ended the previous block.
        const std::uint8_t trail = *p++;
        if (trail == 0) {
            // A lead byte followed by NUL is invalid.
            const int nul = 0;
            m_nChunk = len;
            FailInChunk(FileOffset(p - 1) - 1, 1, &nul);
        }
        chunk[len++] = trail;
        m_nState = 0;
    }
    while (m_nState == 0 && p < end && len < kChunkSize) {
        // Take the NUL-free stretch up to the mark whole, then find where its
        // last character ends. The byte after any non-lead byte starts a
        // character (a non-lead byte is a character of its own or a trail),
        // and so does the start of the stretch; the lead-valued bytes after
        // the last such point pair up, so an odd count leaves a lead byte
        // waiting for its trail.
        const std::size_t n = std::min<std::size_t>(end - p, kChunkSize - len);
        const void* nul = std::memchr(p, 0, n);
        const std::size_t clean =
            nul != nullptr ? static_cast<std::size_t>(static_cast<const std::uint8_t*>(nul) - p)
                           : n;
        if (clean == 0) {
            m_droppedNuls.push_back(len);
            ++p; // a NUL byte between characters is dropped
            continue;
        }
        std::memcpy(chunk + len, p, clean);
        std::size_t k = len + clean;
        while (k > len && m_aLead[chunk[k - 1]]) {
            --k;
        }
        const bool bLeadWaiting = ((len + clean - k) & 1) != 0;
        len += clean;
        p += clean;
        if (bLeadWaiting) {
            if (p == end) {
                m_nState = 2;
                break;
            }
            const std::uint8_t trail = *p++;
            if (trail == 0) {
                const int zero = 0;
                m_nChunk = len;
                FailInChunk(FileOffset(p - 1) - 1, 1, &zero);
            }
            chunk[len++] = trail;
        }
    }
    m_nChunk = len;
    return p;
}

const std::uint8_t* CSourceFileReader::FillUtf8(const std::uint8_t* p, const std::uint8_t* end) {
    std::uint8_t* const chunk = m_pChunk.get();
    std::size_t len = m_nChunk;
    for (;;) {
        // Between characters: ASCII runs and whole sequences, on locals only
        // (stores into the byte buffer could alias the members).
        if (m_nState == 0) {
            while (p < end && len < kChunkSize) {
                const std::uint8_t b = *p;
                if (b < 0x80) {
                    if (b == 0) {
                        m_droppedNuls.push_back(len);
                        ++p;
                    } else {
                        const std::size_t run = ascii::CopyNonNulAscii(
                            p, std::min<std::size_t>(end - p, kChunkSize - len), chunk + len);
                        len += run;
                        p += run;
                    }
                    continue;
                }
                const std::size_t length = end - p >= 4 ? WholeUtf8Sequence(p) : 0;
                if (length == 0) {
                    break;
                }
                std::memcpy(chunk + len, p, 4); // the chunk buffer has room for 4
                len += length;
                p += length;
            }
            if (p == end || len >= kChunkSize) {
                break;
            }
        } else if (p == end) {
            break;
        }
        // One byte through the state machine: a sequence that crosses the end
        // of the block, or one that is malformed.
        const std::uint8_t b = *p++;
        if (m_nState == 0) {
            if ((b & 0xE0) == 0xC0) {
                m_nUtf8Remaining = 2;
            } else if ((b & 0xF0) == 0xE0) {
                m_nUtf8Remaining = 3;
            } else if ((b & 0xF8) == 0xF0) {
                m_nUtf8Remaining = 4;
            } else {
                const int bad = b;
                m_nChunk = len;
                FailInChunk(FileOffset(p - 1), 0, &bad);
            }
            m_nUtf8Lead = b;
            m_bUtf8Second = true;
            m_nState = 1;
            chunk[len++] = b;
            continue;
        }
        const std::size_t taken = Utf8SequenceLength(m_nUtf8Lead) - m_nUtf8Remaining + 1;
        if ((b & 0xC0) != 0x80) {
            const int bad = b;
            m_nChunk = len;
            FailInChunk(FileOffset(p - 1) - taken, taken, &bad);
        }
        if (m_bUtf8Second) {
            m_bUtf8Second = false;
            const std::uint8_t lead = m_nUtf8Lead;
            if (lead == 0xC0 || lead == 0xC1 || (lead == 0xE0 && b <= 0x9F) ||
                (lead == 0xF0 && b <= 0x8F) || (lead == 0xED && b >= 0xA0)) {
                // Overlong, or an encoded surrogate.
                const int bad = b;
                m_nChunk = len;
                FailInChunk(FileOffset(p - 1) - taken, taken, &bad);
            }
        }
        chunk[len++] = b;
        if (--m_nUtf8Remaining == 1) {
            m_nState = 0;
        }
    }
    m_nChunk = len;
    return p;
}

const std::uint8_t* CSourceFileReader::FillGb18030(const std::uint8_t* p, const std::uint8_t* end) {
    std::uint8_t* const chunk = m_pChunk.get();
    std::size_t len = m_nChunk;
    for (;;) {
        // Between characters: ASCII runs and whole two-byte characters, on
        // locals only; four-byte characters and malformed input go through
        // the state machine below one byte at a time.
        if (m_nState == 0) {
            while (p < end && len < kChunkSize) {
                const std::uint8_t b = *p;
                if (b >= 0x81 && b <= 0xFE) {
                    if (end - p >= 2 && IsGb18030Trail(p[1])) {
                        chunk[len] = b;
                        chunk[len + 1] = p[1];
                        len += 2;
                        p += 2;
                        continue;
                    }
                    break;
                }
                if (b == 0) {
                    m_droppedNuls.push_back(len);
                    ++p; // a NUL byte between characters is dropped
                } else if (b < 0x80) {
                    const std::size_t run = ascii::CopyNonNulAscii(
                        p, std::min<std::size_t>(end - p, kChunkSize - len), chunk + len);
                    len += run;
                    p += run;
                } else {
                    chunk[len++] = b; // 0x80 and 0xFF stand alone
                    ++p;
                }
            }
            if (p == end || len >= kChunkSize) {
                break;
            }
        } else if (p == end) {
            break;
        }
        const std::uint8_t b = *p++;
        const auto FailGb18030 = [&](std::uint8_t bad, std::size_t length) {
            const int next = bad;
            const std::size_t taken = Gb18030Taken(m_nState);
            m_nChunk = length;
            FailInChunk(FileOffset(p - 1) - taken, taken, &next);
        };
        switch (m_nState) {
        case 0: // a lead byte
            m_nState = 3;
            break;
        case 3:
            if (IsGb18030Trail(b)) {
                m_nState = 0;
            } else if (b >= 0x30 && b <= 0x39) {
                m_nState = 4;
            } else {
                FailGb18030(b, len);
            }
            break;
        case 4:
            if (!(b >= 0x81 && b <= 0xFE)) {
                FailGb18030(b, len);
            }
            m_nState = 5;
            break;
        default:
            if (!(b >= 0x30 && b <= 0x39)) {
                FailGb18030(b, len);
            }
            m_nState = 0;
            break;
        }
        chunk[len++] = b;
    }
    m_nChunk = len;
    return p;
}

bool CSourceFileReader::ReadUtf16Body(const std::string& path) {
    m_pNext = m_pEnd = nullptr;
    m_nRead = m_nBlockOffset = 0;
    m_pFile->Open(path);
    std::uint64_t remaining = m_pFile->Length();
    CheckGuards();
    if (remaining % 2 != 0) {
        m_strDetail = "the file has an odd number of bytes (" + GroupThousands(remaining) + ")";
        throw CUtf16InvalidException();
    }
    std::uint64_t blockStart = 0;
    const bool bSwap = m_bBigEndian == (std::endian::native == std::endian::little);
    char16_t* text = m_pText.get();
    auto* bytes = reinterpret_cast<std::uint8_t*>(text);
    while (remaining > 0) {
        const std::size_t block =
            static_cast<std::size_t>(std::min<std::uint64_t>(kUtf16BlockSize, remaining));
        if (Pull(bytes, block) != block) {
            throw CFileException(CFileException::kGeneric, -1, path);
        }
        remaining -= block;
        m_droppedNuls.clear();
        std::size_t n = block / 2;
        if (bSwap) {
            for (std::size_t i = 0; i < n; ++i) {
                text[i] = ByteSwap(text[i]);
            }
        }
        if (IsHighSurrogate(text[n - 1])) {
            // A surrogate pair is never split between blocks.
            if (remaining < 2) {
                LocateInUtf16(text, n, blockStart);
                throw CUtf16InvalidException();
            }
            if (Pull(bytes + block, 2) != 2) {
                throw CFileException(CFileException::kGeneric, -1, path);
            }
            remaining -= 2;
            if (bSwap) {
                text[n] = ByteSwap(text[n]);
            }
            if (!IsLowSurrogate(text[n])) {
                LocateInUtf16(text, n + 1, blockStart);
                throw CUtf16InvalidException();
            }
            ++n;
        }
        // NUL units are removed, closing the gaps; where they were is kept
        // so that a failure can still name its offset in the file.
        std::size_t kept = n;
        if (ascii::HasNulUnit(text, n)) {
            kept = 0;
            for (std::size_t i = 0; i < n; ++i) {
                if (text[i] == 0) {
                    m_droppedNuls.push_back(kept);
                } else {
                    text[kept++] = text[i];
                }
            }
        }
        try {
            m_converter.ConvertUtf16Chunk(text, kept);
        } catch (const CUtf16InvalidException&) {
            LocateInUtf16(text, kept, blockStart);
            throw;
        }
        blockStart += 2 * n;
    }
    // The length was taken at the open: text added since would be left out.
    CheckUnchanged();
    m_converter.Finish();
    m_pFile->Close();
    return true;
}

} // namespace varnolt
