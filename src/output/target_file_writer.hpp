// Encodes one file's converted text into a temporary file and puts it in place.
#pragma once

#include "output/file_buffered.hpp"
#include "output/output_options.hpp"
#include "output/overwrite_question.hpp"
#include "output/text_sink.hpp"
#include "platform/file_io.hpp"
#include "settings/file_status.hpp"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace varnolt {

// Each worker owns one writer for the whole run and reuses it per file:
// OpenTemp -> WriteUnicode... -> Close -> Commit (or Discard).
class CTargetFileWriter : public CTextSink {
public:
    // The options are fixed for the writer's life. Statuses go to `log`;
    // `question` answers the rule Ask (none counts as "don't overwrite").
    CTargetFileWriter(COutputOptions options, IFileStatusSink& log,
                      IOverwriteQuestion* question = nullptr);
    ~CTargetFileWriter() override;
    CTargetFileWriter(const CTargetFileWriter&) = delete;
    CTargetFileWriter& operator=(const CTargetFileWriter&) = delete;

    // Creates the temporary file for one source and writes the byte-order
    // mark. False (5003 recorded) when no temporary file can be made.
    // Where the destination's folder exists and its file system has nameless
    // files, the file is made there without a name and only named when
    // placed (a link, or a rename within that folder): a killed run leaves
    // nothing, and no rename crosses folders. Otherwise it is a named file
    // in the temporary folder, as GetTempPath shows. A nameless file is
    // created with `mode`, the mode the converted file will get (the
    // source's), which then usually needs no change at Commit.
    bool OpenTemp(std::int64_t logIndex, const std::string& sourcePath,
                  const std::string& baseFolder = {}, mode_t mode = 0600);

    // The buffered write; throws CFileException.
    void Write(const void* data, std::uint64_t count);
    // Writes text in the run's format; throws CFileException.
    void WriteUnicode(std::u16string_view text) override;
    // UTF-8 straight from the bytes; the other formats through their units.
    void WriteMapped(const std::uint8_t* bytes, std::size_t n, const CByteTextMap& map) override;
    bool TakesMappedBytes() const override { return m_nUnicodeFormat == kFormatUtf8; }
    bool WritesUtf8() const override { return m_nUnicodeFormat == kFormatUtf8; }
    void WriteEncoded(const std::uint8_t* bytes, std::size_t n) override { Write(bytes, n); }
    void WriteUtf16Be(std::u16string_view text);
    void WriteUtf8(std::u16string_view text);

    // Writes out the buffer; throws CFileException. A surrogate half still
    // waiting for its partner is written as U+FFFD first. The temporary file
    // stays open until Commit or Discard: Commit sets its owner and mode
    // through the descriptor, and a nameless one would vanish on closing.
    void Close();
    // The source as the reader opened it. Commit then places the converted
    // file only while the source path still names that file, unchanged, and
    // gives it that file's owner, group and mode. Cleared by OpenTemp.
    void SetSourceState(const platform::FileState& state) { m_sourceState = state; }

    // Places the closed temporary file by the output option; true when the
    // converted file is in place. Every other outcome is recorded.
    bool Commit();
    // Dry runs: where Commit would place the converted text of
    // `sourcePath`, recording what Commit would record about the
    // destination (an existing file or backup name, a name that climbs out
    // of the output folder) without creating, linking or moving anything.
    // `claim` takes a destination for this file and is false when another
    // file of the run took it first, which then counts as existing. Returns
    // the destination, empty when there is none.
    std::string PlanCommit(std::int64_t logIndex, const std::string& sourcePath,
                           const std::string& baseFolder,
                           const std::function<bool(const std::string&)>& claim);
    // Deletes the temporary file (a failure to delete is ignored).
    void Discard();
    void ClearSourcePath() {
        m_strSourcePath.clear();
        m_sourceState.reset();
    }

    // The named temporary file, or for a nameless one the folder it lives in
    // (ending in '/'); empty when there is none.
    const std::string& GetTempPath() const { return m_strTempPath; }
    bool IsTempNameless() const { return m_bNameless; }
    const std::string& GetSourcePath() const { return m_strSourcePath; }
    bool HasWriteFailed() const { return m_file.HasFailed(); }

    // Opens an arbitrary file as the output, with no placement to follow;
    // for benchmarks of the encoding paths.
    void OpenForBenchmark(const std::string& path);

private:
    bool PlaceOverBackup();
    // Option 0: moves the temporary file into the source's folder under a
    // hidden unique name when it is on another file system.
    bool StageBesideSource();
    bool PlaceWithPrefix();
    bool PlaceInFolder();
    // Option 2's destination; nullopt when the source's path below its base
    // folder would leave the output folder.
    std::optional<std::string> FolderDestination() const;
    bool MoveIntoPlace(const std::string& destination);
    // Where the converted file will be placed; none when that is not known
    // yet (a name that leaves the output folder).
    std::optional<std::string> DestinationFolder() const;
    // The temporary file's flush and its placement at `to`, whichever kind it is.
    int SyncTemp();
    int PlaceTemp(const std::string& to, bool replace);
    // The temporary file is in place: nothing of it is ours any more.
    void TempPlaced();
    bool SourceStillAsRead(const platform::FileState& reference) const;
    void NotePlaced(const std::string& destination);
    // `systemError`: the errno of the failing call, shown beside the
    // console line where it explains the message.
    void Fail(int messageId, int systemError = 0);
    void Record(int level, int messageId);
    bool IsSourceEntry(const std::string& destination) const;

    CFileBuffered m_file;
    bool m_bAddBOM;
    int m_nOutputOption;
    int m_nUnicodeFormat;
    std::string m_strPrefixOrFolder;
    std::string m_strTempPath;
    bool m_bNameless = false; // O_TMPFILE in the destination's folder
    // A nameless file's identity, known from the look Commit takes at it:
    // the name it gets is a link to that very file.
    std::optional<platform::FileIdentity> m_tempIdentity;
    std::string m_strSourcePath;
    std::string m_strBaseFolder;
    std::unique_ptr<char16_t[]> m_pSwapBuffer;
    std::uint64_t m_nSwapCapacity = 65536;
    // The UTF-8 buffer, grown to at least `bytes` (it never shrinks).
    std::uint8_t* Utf8Room(std::uint64_t bytes);
    std::unique_ptr<std::uint8_t[]> m_pUtf8Buffer;
    std::uint64_t m_nUtf8Capacity = 131072;
    std::int64_t m_nLogIndex = -1;
    int m_nOverwriteRule;
    IFileStatusSink& m_log;
    IOverwriteQuestion* m_pQuestion;
    const platform::CFileIdentitySet* m_pRunSources;
    platform::CFileIdentitySet* m_pPlaced;
    std::optional<platform::FileState> m_sourceState;
    // A high surrogate that ended a UTF-8 piece, kept so that a pair split
    // between two pieces is still encoded as one character.
    char16_t m_chPendingHigh = 0;
    // A large file's space is set aside a step ahead of its writes once it
    // has passed kReserveFrom bytes (see platform::ReserveSpace).
    static constexpr std::uint64_t kReserveFrom = 8 << 20;
    static constexpr std::uint64_t kReserveStep = 16 << 20;
    std::uint64_t m_nWritten = 0;
    std::uint64_t m_nReservedEnd = 0;
    bool m_bReserve = true;
};

} // namespace varnolt
