// Stop-signal handlers and the lock-free table of temporary files.
//
// The handlers run at any moment on the thread that did not block the
// signals, so they only touch lock-free atomics and call unlink, kill and
// _exit: no allocation, no locks.
#include "platform/stop_signals.hpp"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <pthread.h>
#include <unistd.h>

namespace varnolt::platform {
namespace {

constexpr int kStopSignals[3] = {SIGINT, SIGTERM, SIGHUP};

std::atomic<int> s_nSignal{0};
std::atomic<bool> s_bStop{false};

// ---- temporary file table ----
// A slot is claimed (free -> filling), filled and published (ready) by one
// thread, and given back (ready -> free) by the same thread. The handler
// takes a ready slot (ready -> removing) before it reads the path, so the
// path is never read while being written.
enum SlotState : int { kFree, kFilling, kReady, kRemoving };

constexpr std::size_t kSlots = 512;      // two per worker at most
constexpr std::size_t kPathBytes = 4096; // PATH_MAX: longer names cannot be made

struct Slot {
    std::atomic<int> nState{kFree};
    std::atomic<std::uint64_t> nOwner{0};
    char szPath[kPathBytes];
};

Slot s_slots[kSlots];
// Slots from here on have never been used: scans stop here.
std::atomic<std::size_t> s_nUsed{0};
std::atomic<std::uint64_t> s_nNextOwner{1};

static_assert(std::atomic<int>::is_always_lock_free);
static_assert(std::atomic<std::size_t>::is_always_lock_free);
static_assert(std::atomic<std::uint64_t>::is_always_lock_free);
static_assert(std::atomic<pid_t>::is_always_lock_free);

std::uint64_t ThisThreadOwner() {
    thread_local const std::uint64_t owner = s_nNextOwner.fetch_add(1);
    return owner;
}

void RemoveTrackedFiles() {
    const std::size_t used = s_nUsed.load(std::memory_order_acquire);
    for (std::size_t i = 0; i < used; ++i) {
        int ready = kReady;
        if (s_slots[i].nState.compare_exchange_strong(ready, kRemoving,
                                                      std::memory_order_acq_rel)) {
            ::unlink(s_slots[i].szPath);
        }
    }
}

// Stop signals counted by where they came from. A front end passes a
// SIGTERM on to us, and when the whole process group was sent SIGTERM we get
// it twice, once from the sender and once from the parent: that is still one
// request to stop. A second request from the same side ends the run at once.
std::atomic<int> s_nFromParent{0};
std::atomic<int> s_nFromElsewhere{0};

extern "C" void OnStopSignal(int sig, siginfo_t* info, void* /*context*/) {
    const int savedErrno = errno;
    const bool fromParent =
        info != nullptr && info->si_code == SI_USER && info->si_pid == ::getppid();
    const int requests = (fromParent ? s_nFromParent : s_nFromElsewhere).fetch_add(1) + 1;
    int none = 0;
    s_nSignal.compare_exchange_strong(none, sig);
    s_bStop.store(true);
    if (requests < 2) {
        errno = savedErrno;
        return;
    }
    RemoveTrackedFiles();
    ::_exit(128 + sig);
}

// ---- passing SIGTERM on to a child ----
std::atomic<pid_t> s_nChild{0};
// A SIGTERM not yet passed on; whoever clears it passes it on, so each
// signal reaches the child once.
std::atomic<bool> s_bTermPending{false};

void PassOnPendingTerm() {
    const pid_t child = s_nChild.load();
    if (child > 0 && s_bTermPending.exchange(false)) {
        ::kill(child, SIGTERM);
    }
}

extern "C" void OnForwardedSignal(int sig, siginfo_t* /*info*/, void* /*context*/) {
    const int savedErrno = errno;
    int none = 0;
    s_nSignal.compare_exchange_strong(none, sig);
    s_bStop.store(true);
    if (sig == SIGTERM) {
        s_bTermPending.store(true);
        PassOnPendingTerm();
    }
    errno = savedErrno;
}

void Install(void (*handler)(int, siginfo_t*, void*), struct sigaction (&old)[3],
             bool (&installed)[3]) {
    s_nSignal.store(0);
    s_bStop.store(false);
    s_nFromParent.store(0);
    s_nFromElsewhere.store(0);
    struct sigaction action {};
    action.sa_sigaction = handler;
    action.sa_flags = SA_RESTART | SA_SIGINFO;
    sigemptyset(&action.sa_mask);
    for (const int sig : kStopSignals) {
        sigaddset(&action.sa_mask, sig);
    }
    for (int i = 0; i < 3; ++i) {
        if (::sigaction(kStopSignals[i], nullptr, &old[i]) != 0 || old[i].sa_handler == SIG_IGN) {
            continue; // ignored on purpose by whoever started us
        }
        installed[i] = ::sigaction(kStopSignals[i], &action, nullptr) == 0;
    }
}

void Restore(const struct sigaction (&old)[3], const bool (&installed)[3]) {
    for (int i = 0; i < 3; ++i) {
        if (installed[i]) {
            ::sigaction(kStopSignals[i], &old[i], nullptr);
        }
    }
}

} // namespace

CStopSignalGuard::CStopSignalGuard() {
    Install(&OnStopSignal, m_old, m_bInstalled);
}

CStopSignalGuard::~CStopSignalGuard() {
    Restore(m_old, m_bInstalled);
}

CForwardSignalGuard::CForwardSignalGuard() {
    s_bTermPending.store(false);
    Install(&OnForwardedSignal, m_old, m_bInstalled);
}

CForwardSignalGuard::~CForwardSignalGuard() {
    Restore(m_old, m_bInstalled);
    s_nChild.store(0);
}

void SetSignalChild(pid_t pid) {
    s_nChild.store(pid);
    PassOnPendingTerm();
}

int StopSignal() {
    return s_nSignal.load();
}

const std::atomic<bool>& StopFlag() {
    return s_bStop;
}

CBlockStopSignals::CBlockStopSignals() {
    sigset_t block;
    sigemptyset(&block);
    for (const int sig : kStopSignals) {
        sigaddset(&block, sig);
    }
    ::pthread_sigmask(SIG_BLOCK, &block, &m_old);
}

CBlockStopSignals::~CBlockStopSignals() {
    ::pthread_sigmask(SIG_SETMASK, &m_old, nullptr);
}

void TrackTempFile(const std::string& path) {
    if (path.empty() || path.size() >= kPathBytes) {
        return;
    }
    for (std::size_t i = 0; i < kSlots; ++i) {
        Slot& slot = s_slots[i];
        int free = kFree;
        if (!slot.nState.compare_exchange_strong(free, kFilling, std::memory_order_acquire)) {
            continue;
        }
        slot.nOwner.store(ThisThreadOwner(), std::memory_order_relaxed);
        std::memcpy(slot.szPath, path.c_str(), path.size() + 1);
        // The handler scans up to s_nUsed: raise it before the slot is ready.
        std::size_t used = s_nUsed.load();
        while (used < i + 1 && !s_nUsed.compare_exchange_weak(used, i + 1)) {
        }
        slot.nState.store(kReady, std::memory_order_release);
        return;
    }
}

void UntrackTempFile(const std::string& path) {
    const std::uint64_t owner = ThisThreadOwner();
    const std::size_t used = s_nUsed.load(std::memory_order_acquire);
    for (std::size_t i = 0; i < used; ++i) {
        Slot& slot = s_slots[i];
        // Only the owner writes a slot's path, and only before publishing
        // it; the state is read first so that a slot another thread took
        // over shows that thread as its owner.
        if (slot.nState.load(std::memory_order_acquire) != kReady ||
            slot.nOwner.load(std::memory_order_relaxed) != owner ||
            std::strcmp(slot.szPath, path.c_str()) != 0) {
            continue;
        }
        int ready = kReady;
        // A failed exchange means a second signal is removing it: the
        // process is ending, the slot stays taken.
        slot.nState.compare_exchange_strong(ready, kFree, std::memory_order_acq_rel);
        return;
    }
}

} // namespace varnolt::platform
