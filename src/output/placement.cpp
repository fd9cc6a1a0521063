// Putting a finished temporary file in place: backup, prefixed copy, output
// folder, and the rules for a destination that already exists.
//
// Nothing here ever deletes a destination before its replacement is ready:
// every replacement is one atomic rename (or a flushed copy renamed into
// place across file systems), so a failure leaves the old file as it was.
#include "output/placement_paths.hpp"
#include "output/target_file_writer.hpp"
#include "platform/file_exception.hpp"
#include "platform/file_identity_set.hpp"
#include "platform/file_io.hpp"
#include "platform/process.hpp"
#include "platform/stop_signals.hpp"
#include "settings/string_table.hpp"

#include <atomic>
#include <cerrno>

namespace varnolt {
namespace {

std::string ReplaceArg(std::string text, std::string_view marker, std::string_view value) {
    const std::size_t at = text.find(marker);
    if (at != std::string::npos) {
        text.replace(at, marker.size(), value);
    }
    return text;
}

bool HasParentComponent(std::string_view path) {
    std::size_t i = 0;
    while (i <= path.size()) {
        std::size_t j = path.find('/', i);
        if (j == std::string_view::npos) {
            j = path.size();
        }
        if (path.substr(i, j - i) == "..") {
            return true;
        }
        i = j + 1;
    }
    return false;
}

// The file system has no hard links (or refuses this one to us).
bool NoHardLinks(int err) {
    return err == EPERM || err == EOPNOTSUPP || err == ENOSYS || err == EMLINK;
}

} // namespace

bool CTargetFileWriter::Commit() {
    if (m_strTempPath.empty()) {
        Record(kLevelError, kMsgUnexpectedFileAccess);
        return false;
    }
    try {
        if (m_file.IsOpen()) {
            Close();
        }
    } catch (const CFileException&) {
        Fail(kMsgTempAccessFailed);
        return false;
    }
    // A temporary file that missed a write is incomplete: it never replaces
    // anything, whatever the caller believed.
    if (m_file.HasFailed()) {
        Fail(kMsgTempAccessFailed);
        return false;
    }
    try {
        // The converted text stands for the file that was read: if the path
        // names another file now, or the file moved since, placing it would
        // destroy or misrepresent what is there.
        if (m_sourceState && !SourceStillAsRead(*m_sourceState)) {
            Fail(kMsgSourceChanged);
            return false;
        }
        // Owner and group before the mode, and both from the file that was
        // read; a user who may not give files away keeps the mode alone.
        const auto source = m_sourceState ? m_sourceState : platform::StateOf(m_strSourcePath);
        if (source && m_bNameless) {
            // Made by this process with the source's mode: usually nothing
            // to change, and the look tells what file the name will link.
            platform::MatchOwnerAndPermissionsOf(m_file.Handle(), source->nUid, source->nGid,
                                                 source->nMode, m_tempIdentity);
        } else if (source) {
            platform::SetOwnerAndPermissionsOf(m_file.Handle(), source->nUid, source->nGid,
                                               source->nMode);
        }
        // A named file is closed before it is placed, so that an error only
        // the close reports still keeps it from replacing anything; a
        // nameless one needs its descriptor until it has its name.
        if (!m_bNameless) {
            try {
                m_file.Close();
            } catch (const CFileException&) {
                Fail(kMsgTempAccessFailed);
                return false;
            }
        }
        switch (m_nOutputOption) {
        case kOutputOverBackup:
            return PlaceOverBackup();
        case kOutputPrefixedCopy:
            return PlaceWithPrefix();
        default:
            return PlaceInFolder();
        }
    } catch (...) {
        Fail(kMsgUnexpectedFileAccess);
        return false;
    }
}

bool CTargetFileWriter::StageBesideSource() {
    if (m_bNameless) {
        return true; // made in the source's own folder
    }
    const auto temp = platform::StateOf(m_strTempPath);
    if (!m_sourceState || !temp || temp->identity.nDevice == m_sourceState->identity.nDevice) {
        return true;
    }
    // A name that is never made empty first: a hidden name in the user's
    // folder only ever holds a complete copy, even after a kill.
    static std::atomic<unsigned> s_nStaged{0};
    std::string staged;
    int err = EEXIST;
    for (int attempt = 0; attempt < 100 && err == EEXIST; ++attempt) {
        staged = FolderOf(m_strSourcePath) + ".vnt" + std::to_string(platform::CurrentProcessId()) +
                 "s" + std::to_string(s_nStaged.fetch_add(1));
        // Tracked as soon as it has its name: a second stop signal removes it.
        const platform::CBlockStopSignals block;
        err = platform::MoveFile(m_strTempPath, staged, /*replace=*/false);
        if (err == 0) {
            platform::TrackTempFile(staged);
        }
    }
    if (err != 0) {
        Fail(kMsgDestWriteFailed);
        return false;
    }
    m_strTempPath = staged; // from now on, Discard removes the staged copy
    return true;
}

bool CTargetFileWriter::PlaceOverBackup() {
    // A copy across file systems takes as long as the file is big: it is
    // done first, so that the last look at the source and the rename over
    // it follow each other at once.
    if (!StageBesideSource()) {
        return false;
    }
    const std::string backup = BackupPathOf(m_strSourcePath, m_strPrefixOrFolder);
    // The backup is a second name for the original, so the source path holds
    // the original until the converted file replaces it in one rename.
    bool linked = true;
    int err = platform::HardLink(m_strSourcePath, backup);
    if (NoHardLinks(err)) {
        linked = false;
        err = platform::RenameNoReplace(m_strSourcePath, backup);
    }
    if (err != 0) {
        Fail(kMsgBackupFailed, err);
        return false;
    }
    const auto undoBackup = [&] {
        if (linked) {
            platform::RemoveFile(backup);
        } else {
            platform::RenameNoReplace(backup, m_strSourcePath);
        }
    };
    // Another file may have been saved over the path between the check and
    // the link: the backup must be the file that was read.
    std::optional<platform::FileState> kept;
    if (m_sourceState) {
        kept = platform::StateOf(backup);
        if (!kept || !m_sourceState->SameContent(*kept)) {
            undoBackup();
            Fail(kMsgSourceChanged);
            return false;
        }
    }
    err = SyncTemp();
    // Last look right before the rename (the link moved the change time, so
    // the file as linked is the reference). A save between this look and
    // the rename cannot be excluded with POSIX calls, so nothing may come
    // between them. Without the link the path is empty now and the rename
    // below refuses whatever appears there.
    if (err == 0 && linked && kept && !SourceStillAsRead(*kept)) {
        undoBackup();
        Fail(kMsgSourceChanged);
        return false;
    }
    if (err == 0) {
        err = PlaceTemp(m_strSourcePath, /*replace=*/linked);
    }
    if (err != 0) {
        // Undo the backup: the original is at the source path again.
        undoBackup();
        Fail(kMsgDestWriteFailed);
        return false;
    }
    TempPlaced();
    NotePlaced(m_strSourcePath);
    return true;
}

bool CTargetFileWriter::SourceStillAsRead(const platform::FileState& reference) const {
    const auto now = platform::StateOf(m_strSourcePath);
    return now && reference.Unchanged(*now);
}

void CTargetFileWriter::NotePlaced(const std::string& destination) {
    if (m_pPlaced == nullptr) {
        return;
    }
    // A nameless file's name is a link to the file Commit looked at; a
    // named one may have been copied on its way, so its new name is looked up.
    if (m_tempIdentity) {
        m_pPlaced->Add(*m_tempIdentity);
    } else {
        m_pPlaced->AddPath(destination);
    }
}

bool CTargetFileWriter::PlaceWithPrefix() {
    return MoveIntoPlace(FolderOf(m_strSourcePath) + m_strPrefixOrFolder + NameOf(m_strSourcePath));
}

std::optional<std::string> CTargetFileWriter::FolderDestination() const {
    if (m_strBaseFolder.empty()) {
        return AppendPath(m_strPrefixOrFolder, NameOf(m_strSourcePath));
    }
    const std::size_t common = CommonPrefixLength(m_strSourcePath, m_strBaseFolder);
    const std::string_view relative = std::string_view(m_strSourcePath).substr(common);
    // A relative part that climbs out of the output folder is refused like an
    // empty one: the result must land below the output folder.
    if (relative.empty() || relative == "/" || HasParentComponent(relative)) {
        return std::nullopt;
    }
    return AppendPath(m_strPrefixOrFolder, relative);
}

bool CTargetFileWriter::PlaceInFolder() {
    const auto destination = FolderDestination();
    if (!destination) {
        Fail(kMsgUnexpectedFileAccess);
        return false;
    }
    if (!m_strBaseFolder.empty()) {
        // As with the shell's folder creation, the result is not looked at: a
        // folder that cannot be made shows up as a failed move (5007).
        platform::CreateFolders(FolderOf(*destination));
    }
    return MoveIntoPlace(*destination);
}

std::string CTargetFileWriter::PlanCommit(std::int64_t logIndex, const std::string& sourcePath,
                                          const std::string& baseFolder,
                                          const std::function<bool(const std::string&)>& claim) {
    m_nLogIndex = logIndex;
    m_strSourcePath = sourcePath;
    m_strBaseFolder = baseFolder;
    std::string destination;
    if (m_nOutputOption == kOutputOverBackup) {
        // The backup link fails on an existing name, as the real run's does.
        const std::string backup = BackupPathOf(m_strSourcePath, m_strPrefixOrFolder);
        if (platform::EntryExists(backup) || !claim(backup)) {
            Record(kLevelError, kMsgBackupFailed);
            m_log.SetReason(m_nLogIndex, EEXIST);
        }
        return m_strSourcePath;
    }
    if (m_nOutputOption == kOutputPrefixedCopy) {
        destination = FolderOf(m_strSourcePath) + m_strPrefixOrFolder + NameOf(m_strSourcePath);
    } else {
        const auto inFolder = FolderDestination();
        if (!inFolder) {
            Record(kLevelError, kMsgUnexpectedFileAccess);
            return {};
        }
        destination = *inFolder;
    }
    // The rules of MoveIntoPlace for a destination that exists; a question
    // is never asked, the answer "overwrite" is assumed.
    const bool taken = !claim(destination);
    if (taken || platform::EntryExists(destination)) {
        if (IsSourceEntry(destination) ||
            (m_pRunSources != nullptr && m_pRunSources->ContainsPath(destination)) ||
            m_nOverwriteRule == kRuleSkip) {
            Record(kLevelError, kMsgDestExistsSkipped);
        } else {
            Record(kLevelWarning, kMsgDestOverwritten);
        }
    }
    return destination;
}

bool CTargetFileWriter::IsSourceEntry(const std::string& destination) const {
    if (destination == m_strSourcePath) {
        return true;
    }
    // The same directory entry reached through another folder path (a link
    // to the source folder, "/a/./b"): replacing it would replace the source.
    return NameOf(destination) == NameOf(m_strSourcePath) &&
           platform::SameFile(FolderOf(destination).empty() ? "." : FolderOf(destination),
                              FolderOf(m_strSourcePath).empty() ? "." : FolderOf(m_strSourcePath));
}

bool CTargetFileWriter::MoveIntoPlace(const std::string& destination) {
    // A second pass only when another worker or process took the name
    // between the check and the move: its file then meets the rule too.
    for (int attempt = 0;; ++attempt) {
        bool replace = false;
        // A nameless file's first try is its link, which refuses any
        // existing name by itself (then the next pass looks): a look before
        // it would cost every new file a call. A named file's move may be a
        // long copy across file systems, so it looks first.
        const bool look = attempt > 0 || !m_bNameless;
        if (look && platform::EntryExists(destination)) {
            // Outside option 0 the source is never replaced, whatever the
            // rule, and no other source of the run is either: its own
            // conversion may still need it, and its text would be gone.
            if (IsSourceEntry(destination) ||
                (m_pRunSources != nullptr && m_pRunSources->ContainsPath(destination))) {
                Fail(kMsgDestExistsSkipped);
                return false;
            }
            if (m_nOverwriteRule == kRuleSkip) {
                Fail(kMsgDestExistsSkipped);
                return false;
            }
            if (m_nOverwriteRule == kRuleAsk) {
                std::string message(LoadString(4000));
                message = ReplaceArg(std::move(message), "%1", NameOf(destination));
                message = ReplaceArg(std::move(message), "%2", FolderOf(destination));
                if (!ConfirmOverwrite(m_pQuestion, message)) {
                    Fail(kMsgDestExistsSkipped);
                    return false;
                }
            }
            Record(kLevelWarning, kMsgDestOverwritten);
            replace = true;
        }
        int err = 0;
        if (replace) {
            // The old file goes away with this rename: the new content must be
            // on disk first.
            err = SyncTemp();
        }
        if (err == 0) {
            err = PlaceTemp(destination, replace);
        }
        if (err == EEXIST && !replace && attempt == 0) {
            continue;
        }
        if (err == EEXIST && !replace) {
            Fail(kMsgDestExistsSkipped);
            return false;
        }
        if (err != 0) {
            Fail(kMsgDestWriteFailed);
            return false;
        }
        TempPlaced();
        NotePlaced(destination);
        return true;
    }
}

std::optional<std::string> CTargetFileWriter::DestinationFolder() const {
    std::string folder;
    if (m_nOutputOption == kOutputOverBackup || m_nOutputOption == kOutputPrefixedCopy) {
        folder = FolderOf(m_strSourcePath);
    } else {
        const auto destination = FolderDestination();
        if (!destination) {
            return std::nullopt;
        }
        folder = FolderOf(*destination);
    }
    return folder.empty() ? std::string("./") : folder;
}

int CTargetFileWriter::SyncTemp() {
    return m_bNameless ? platform::SyncFile(m_file.Handle()) : platform::SyncPath(m_strTempPath);
}

int CTargetFileWriter::PlaceTemp(const std::string& to, bool replace) {
    if (m_bNameless) {
        return platform::NameAnonymousFile(m_file.Handle(), to, replace);
    }
    return platform::MoveFile(m_strTempPath, to, replace);
}

void CTargetFileWriter::TempPlaced() {
    m_file.Abort(); // closes a nameless file's descriptor; it has its name now
    m_strTempPath.clear();
    m_bNameless = false;
}

} // namespace varnolt
