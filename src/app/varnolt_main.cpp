// varnolt: the main program.
#include "app/switch_table.hpp"
#include "app/varnolt_app.hpp"
#ifdef VARNOLT_HAVE_GUI
#include "ui/interactive_start.hpp"
#endif

#include <cstdio>

namespace {

// The synopsis lines; each switch's own line comes from the switch table.
constexpr const char* kSynopsis =
    "Usage: varnolt -u -c cfg-profile [-l logfile] [-o] [-y] [-s] files to convert...\n\n";
constexpr const char* kWithoutProfile =
    "\n"
    "Without a profile:\n"
    "varnolt -u --from ENC [--to FORMAT] (--backup PREFIX|--prefix PREFIX|--out DIR)\n"
    "        [--bom] [--meta] [--entities] [-l logfile] [-o] [-y] [-s] files...\n"
    "\n";

} // namespace

int main(int argc, char** argv) {
    using varnolt::SoleRequest;
    const SoleRequest request =
        argc == 2 ? varnolt::SoleArgumentRequest(argv[1]) : SoleRequest::kNone;
    if (request == SoleRequest::kHelp) {
        std::fputs(kSynopsis, stdout);
        std::fputs(varnolt::LetterSwitchesUsage(varnolt::kForVarnolt).c_str(), stdout);
        std::fputs(kWithoutProfile, stdout);
        std::fputs(varnolt::LongOptionsUsage(varnolt::kForVarnolt).c_str(), stdout);
        return 0;
    }
    if (request == SoleRequest::kVersion) {
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
