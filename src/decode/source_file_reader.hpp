// CSourceFileReader: reads one source file and feeds the converter chunks
// that never split a character; records every read or decode failure.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace varnolt {

class CUnicodeConverter;
class IFileStatusSink;

namespace platform {
class CSourceFile;
struct FileState;
} // namespace platform

class CSourceFileReader {
public:
    enum ReadMode : int { kGeneric = 0, kUtf8 = 1, kUtf16Le = 2, kUtf16Be = 3, kGb18030 = 4 };

    static constexpr std::size_t kChunkSize = 8192; // bytes per chunk, plus the rest of a character
    static constexpr std::size_t kUtf16BlockSize = 16384; // bytes per UTF-16 block

    CSourceFileReader(CUnicodeConverter& converter, IFileStatusSink& status);
    virtual ~CSourceFileReader();
    CSourceFileReader(const CSourceFileReader&) = delete;
    CSourceFileReader& operator=(const CSourceFileReader&) = delete;

    // Once per run: the code page sets the read mode (and the lead bytes).
    void SetCodePage(std::int32_t codePage);
    static ReadMode ReadModeOf(std::int32_t codePage);
    ReadMode Mode() const { return m_nReadMode; }
    void SetLogIndex(std::int64_t logIndex) { m_nLogIndex = logIndex; }
    // When the flag is set, a file being read fails at its next block
    // (5016), so a stopped run does not wait for a long file.
    void SetStopFlag(const std::atomic<bool>* stop) { m_pStop = stop; }
    // With the guards on, a file whose first bytes show that it is not in
    // the run's encoding (see source_guards.hpp) is refused before anything
    // of it is converted: a warning (kMsgNotSourceEncoding) with the finding
    // as its detail.
    void SetGuards(bool bOn) { m_bGuards = bOn; }

    // The operation of the run's read mode. A source that changed while it
    // was read fails (kMsgSourceChanged).
    bool Read(const std::string& path);
    // The last file read, as it was when opened (valid after Read).
    const platform::FileState& SourceState() const;
    // The file the reader reads from: the job's probe hands it the open
    // descriptor (CSourceFile::Adopt), so a file is opened once.
    platform::CSourceFile& SourceFile() { return *m_pFile; }

    // Each returns true when the whole file was read and passed on, false
    // when it failed (the failure is already recorded).
    bool ReadMbcs(const std::string& path);
    bool ReadUtf8(const std::string& path);
    bool ReadUtf16(const std::string& path, bool bBigEndian);
    bool ReadGb18030(const std::string& path);

private:
    template <class Fill> bool ReadBytes(const std::string& path, Fill fill);
    bool Guarded(const std::string& path, bool (CSourceFileReader::*body)(const std::string&));
    bool ReadBytesBody(const std::string& path);
    bool ReadUtf16Body(const std::string& path);
    // Converts the chunk: the one gathered in m_pChunk, or `n` bytes without
    // a NUL straight from the block.
    void EmitChunk();
    void EmitChunk(const std::uint8_t* bytes, std::size_t n);
    // The length of the chunk that starts at m_pNext, between chunks, when
    // it lies whole in the block without a NUL (as the Fill rules would cut
    // it), else 0.
    std::size_t WholeChunkInBlock() const;
    void CheckGuards();
    // The file offset of a byte of the current block.
    std::uint64_t FileOffset(const std::uint8_t* p) const {
        return m_nBlockOffset + static_cast<std::uint64_t>(p - m_pBlock.get());
    }
    // Fails the file at an invalid sequence: the last `taken` bytes of the
    // chunk (the start of the character) and then `next`, if any.
    [[noreturn]] void FailInChunk(std::uint64_t offset, std::size_t taken, const int* next,
                                  const char* suffix = "");
    void LocateInChunk(const std::uint8_t* bytes, std::size_t n);
    void LocateInUtf16(const char16_t* text, std::size_t n, std::uint64_t blockStart);
    void CheckUnchanged() const;
    bool Refill();
    std::size_t Pull(std::uint8_t* out, std::size_t n);
    // The mode rules: take bytes from [p, end) into the chunk until it is
    // full at a character boundary or the bytes run out.
    const std::uint8_t* FillSingleByte(const std::uint8_t* p, const std::uint8_t* end);
    const std::uint8_t* FillDoubleByte(const std::uint8_t* p, const std::uint8_t* end);
    const std::uint8_t* FillUtf8(const std::uint8_t* p, const std::uint8_t* end);
    const std::uint8_t* FillGb18030(const std::uint8_t* p, const std::uint8_t* end);

    CUnicodeConverter& m_converter;
    IFileStatusSink& m_status;
    std::int32_t m_nCodePage = 1252;
    ReadMode m_nReadMode = kGeneric;
    bool m_bHasLeadBytes = false;
    bool m_bBigEndian = false;
    bool m_aLead[256] = {};
    std::int64_t m_nLogIndex = -1;
    const std::atomic<bool>* m_pStop = nullptr;
    bool m_bGuards = false;

    // Where the bytes are in the file, so that a failure can name its offset:
    // the bytes read so far, the offset of the current block and of the
    // current chunk's first byte, and the chunk lengths at which a NUL byte
    // was dropped from it (a NUL is never part of a character).
    std::uint64_t m_nRead = 0;
    std::uint64_t m_nBlockOffset = 0;
    std::uint64_t m_nChunkStart = 0;
    std::vector<std::size_t> m_droppedNuls;
    std::string m_strDetail; // the failure's detail, recorded by Guarded

    std::unique_ptr<platform::CSourceFile> m_pFile;
    std::unique_ptr<std::uint8_t[]> m_pChunk; // one chunk plus its NUL terminator
    std::size_t m_nChunk = 0;
    std::unique_ptr<char16_t[]> m_pText;      // one UTF-16 block
    std::unique_ptr<std::uint8_t[]> m_pBlock; // bytes read from the file, not yet taken
    const std::uint8_t* m_pNext = nullptr;
    const std::uint8_t* m_pEnd = nullptr;

    // Position inside a multi-byte character; 0 between characters.
    int m_nState = 0;
    int m_nUtf8Remaining = 0;
    std::uint8_t m_nUtf8Lead = 0;
    bool m_bUtf8Second = false;
};

} // namespace varnolt
