// varnolt: the main program.
#include "app/varnolt_app.hpp"
#ifdef VARNOLT_HAVE_GUI
#include "ui/interactive_start.hpp"
#endif

#include <cstdio>
#include <cstring>

namespace {

constexpr const char* kUsage =
    "Usage: varnolt -u -c cfg-profile [-l logfile] [-o] [-y] [-s] files to convert...\n"
    "\n"
    "-u             - Convert without a window (non-interactive mode)\n"
    "-c cfg-profile - The config profile used to perform the conversion\n"
    "-l logfile     - The filename of Log File. Default is varnolt.log\n"
    "-o             - Overwrite the Log File. Default: Append to existing log file\n"
    "-y             - Overwrite the destination file if the file already exists.\n"
    "                 Default: Skip the file\n"
    "-s             - Search files in sub-directories\n"
    "-p pid         - Write one line per file to the console of that process\n"
    "--dry-run      - Check every file and show where it would go; write nothing\n"
    "                 but the log\n"
    "--force        - Convert also files that seem not to be in the source\n"
    "                 encoding (UTF-8, UTF-16 or binary files). Default: skip them\n";

} // namespace

int main(int argc, char** argv) {
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("varnolt %s\n", VARNOLT_VERSION);
        return 0;
    }
    varnolt::CVarnoltApp app(argc, argv);
#ifdef VARNOLT_HAVE_GUI
    // Only the program links the GUI: the application object stays below it.
    app.m_pfnRunInteractive = [&argc, argv](varnolt::CVarnoltApp& self) {
        return varnolt::ui::RunInteractive(argc, argv, self);
    };
#endif
    app.InitInstance();
    return app.ExitInstance();
}
