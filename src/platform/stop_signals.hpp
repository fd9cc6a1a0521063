// Stopping a run cleanly on SIGINT, SIGTERM and SIGHUP, and the table of
// temporary files that a second signal removes before the process ends.
//
// A run converts users' files in place: being killed by the default action
// of these signals would leave temporary files of any size behind. Instead
// the first signal only sets a flag the job reads (no new file is begun, a
// file being read is discarded at its next block); a second one, from a user
// who will not wait, removes every temporary file of the run and ends the
// process at once. Placement is one rename, so no partial destination exists
// at any moment.
#pragma once

#include <atomic>
#include <csignal>
#include <string>
#include <sys/types.h>

namespace varnolt::platform {

// While alive, SIGINT, SIGTERM and SIGHUP no longer end the process: the
// first sets StopFlag() and is remembered (StopSignal()); a second removes
// every tracked temporary file and ends the process with 128 + its number.
// Signals sent by the parent (a front end passing SIGTERM on) are counted
// apart from all others, so a SIGTERM to the whole process group, which
// reaches us directly and again through the front end, is one request.
// A signal ignored when the guard is made (nohup) stays ignored. The
// destructor restores the previous actions; the remembered signal stays
// readable. One guard at a time.
class CStopSignalGuard {
public:
    CStopSignalGuard();
    ~CStopSignalGuard();
    CStopSignalGuard(const CStopSignalGuard&) = delete;
    CStopSignalGuard& operator=(const CStopSignalGuard&) = delete;

private:
    struct sigaction m_old[3];
    bool m_bInstalled[3] = {};
};

// For a program that waits for a child (the console front end): while
// alive, SIGINT, SIGTERM and SIGHUP are remembered instead of ending this
// process, and SIGTERM is passed on to the child named by SetSignalChild.
// SIGINT and SIGHUP come from the terminal to both processes at once, so
// passing them on would count twice in the child.
class CForwardSignalGuard {
public:
    CForwardSignalGuard();
    ~CForwardSignalGuard();
    CForwardSignalGuard(const CForwardSignalGuard&) = delete;
    CForwardSignalGuard& operator=(const CForwardSignalGuard&) = delete;

private:
    struct sigaction m_old[3];
    bool m_bInstalled[3] = {};
};

// The child that a CForwardSignalGuard passes SIGTERM on to (0: none). A
// SIGTERM that came before the child existed is passed on now.
void SetSignalChild(pid_t pid);

// The first stop signal received since the last guard was made, 0 for none.
int StopSignal();
// Set together with the first stop signal.
const std::atomic<bool>& StopFlag();

// Blocks the stop signals in the calling thread for its lifetime. Threads
// started meanwhile inherit the mask, so they never take the signals: the
// handler then always runs on the thread that made them.
class CBlockStopSignals {
public:
    CBlockStopSignals();
    ~CBlockStopSignals();
    CBlockStopSignals(const CBlockStopSignals&) = delete;
    CBlockStopSignals& operator=(const CBlockStopSignals&) = delete;

private:
    sigset_t m_old;
};

// The temporary files a second signal removes. Tracking is lock-free and
// never allocates (the handler reads the table); a path that does not fit
// or a full table leaves the file untracked, as before. A path is untracked
// by the thread that tracked it.
void TrackTempFile(const std::string& path);
void UntrackTempFile(const std::string& path);

} // namespace varnolt::platform
