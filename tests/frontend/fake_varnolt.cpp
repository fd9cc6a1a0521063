// A stand-in for the main program in the front end's tests: prints its
// arguments one per line as "argv[i]=<text>", its parent's process id as
// "ppid=<id>", then exits with $FAKE_VARNOLT_EXIT (default 0); with
// $FAKE_VARNOLT_SIGNAL set it ends itself with that signal instead.
// $FAKE_VARNOLT_SIGNAL_PARENT first sends that signal to the front end, as a
// terminal or a `kill` would; for SIGTERM it then waits (up to 10 s) for the
// front end to pass it on and exits 143 when it came, 99 when not.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <unistd.h>

int main(int argc, char** argv) {
    for (int i = 0; i < argc; ++i) {
        std::printf("argv[%d]=<%s>\n", i, argv[i]);
    }
    std::printf("ppid=%ld\n", static_cast<long>(::getppid()));
    std::fflush(stdout);
    if (const char* sig = std::getenv("FAKE_VARNOLT_SIGNAL_PARENT")) {
        const int n = std::atoi(sig);
        sigset_t term;
        sigemptyset(&term);
        sigaddset(&term, SIGTERM);
        sigprocmask(SIG_BLOCK, &term, nullptr);
        ::kill(::getppid(), n);
        if (n == SIGTERM) {
            const timespec limit{10, 0};
            return sigtimedwait(&term, nullptr, &limit) == SIGTERM ? 143 : 99;
        }
    }
    if (const char* sig = std::getenv("FAKE_VARNOLT_SIGNAL")) {
        std::signal(std::atoi(sig), SIG_DFL);
        std::raise(std::atoi(sig));
    }
    const char* code = std::getenv("FAKE_VARNOLT_EXIT");
    return code != nullptr ? std::atoi(code) : 0;
}
