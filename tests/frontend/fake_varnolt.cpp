// A stand-in for the main program in the front end's tests: prints its
// arguments one per line as "argv[i]=<text>", its parent's process id as
// "ppid=<id>", then exits with $FAKE_VARNOLT_EXIT (default 0); with
// $FAKE_VARNOLT_SIGNAL set it ends itself with that signal instead.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

int main(int argc, char** argv) {
    for (int i = 0; i < argc; ++i) {
        std::printf("argv[%d]=<%s>\n", i, argv[i]);
    }
    std::printf("ppid=%ld\n", static_cast<long>(::getppid()));
    std::fflush(stdout);
    if (const char* sig = std::getenv("FAKE_VARNOLT_SIGNAL")) {
        std::signal(std::atoi(sig), SIG_DFL);
        std::raise(std::atoi(sig));
    }
    const char* code = std::getenv("FAKE_VARNOLT_EXIT");
    return code != nullptr ? std::atoi(code) : 0;
}
