// xvarnolt: runs the main program's non-interactive mode from a terminal or a
// script, passing every argument on unchanged, and turns its exit code into a
// one-line message and its own exit code.
#include "app/switch_table.hpp"
#include "platform/console.hpp"
#include "platform/paths.hpp"
#include "platform/process.hpp"
#include "platform/stop_signals.hpp"

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace {

using namespace varnolt;

constexpr std::string_view kTitle = "Varnolt Command-Line Mode\n\n";

// The usage around the switches' own lines, which come from the switch
// table. Switches are written with "-": on Linux "/" begins a path.
constexpr std::string_view kSynopsis =
    "xvarnolt -c cfg-profile [-l logfile] [-o] [y] files to convert...\n\n";
constexpr std::string_view kNotes =
    "\n"
    "Note: Wildcard characters ('*' or '?') can be used to specify the files to be\n"
    "converted.\n"
    "\nWithout a profile:\n"
    "xvarnolt --from ENC [--to FORMAT] (--backup PREFIX|--prefix PREFIX|--out DIR)\n"
    "         [--bom] [--meta] [--entities] [-l logfile] [-o] [-y] [-s] files...\n"
    "Example: xvarnolt --from sjis --out converted --keep-folders -s 'docs/*.txt'\n\n";

constexpr std::string_view kNotFound = "Error:Unable to locate varnolt.exe\n";
constexpr std::string_view kOk = "Conversion OK!\n";
constexpr std::string_view kInterrupted =
    "The conversion was interrupted. Please read the log file for details\n";

// The main program's codes for a run stopped by SIGHUP, SIGINT, SIGTERM.
constexpr int kExitHangUp = 129;
constexpr int kExitInterrupt = 130;
constexpr int kExitTerminate = 143;

struct ExitMessage {
    int nCode;
    std::string_view strText;
};

constexpr ExitMessage kMessages[] = {
    {16, "Warning occured during conversion. Please read the log file for details"},
    {130, "Unknown command line switch is specified"},
    {132, "No Configuration profile is specified. Please check the -C switch"},
    {134, "The Log file is not specified following the -L switch"},
    {140, "The configuration profile is invalid or inaccessible"},
    {142, "No source file is specified in the command line argument"},
    {144, "The Code Page specified in configuration profile is not supported by this computer"},
    {146, "\"Overwrite after backup original files\" setting is invalid."},
    {148, "\"Add a filename prefix to converted files\" setting is invalid."},
    {150, "\"Output to a folder\" specified in configuration profile is invalid."},
    {155, "Failed to save log file"},
    {160, "Error occured during conversion. Please read the log file for details"},
};

void Print(std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), stdout);
}

void PrintUnexpected(int code) {
    std::printf("Unexpected Error! Error Code=%d\n", code);
}

// The exit status of the process for a result of -1 is 255, as exit(-1) gives.
int Finish(int result) {
    std::fflush(stdout);
    return result & 0xFF;
}

// VARNOLT_EXE when set, else `varnolt` beside this program, else on PATH.
std::string LocateMainProgram() {
    if (const auto fromEnv = platform::GetEnv("VARNOLT_EXE"); fromEnv && !fromEnv->empty()) {
        // Named explicitly: it must exist; whether it starts is found out by starting it.
        return platform::IsRegularFile(*fromEnv) ? *fromEnv : std::string();
    }
    const std::string beside = platform::ExecutableFolder() + "varnolt";
    if (platform::IsExecutableFile(beside)) {
        return beside;
    }
    return platform::FindOnPath("varnolt").value_or(std::string());
}

// True when the arguments ask for the encoding list, for a profile to be
// saved or for the files' encodings to be detected: the main program then
// converts nothing, and "Conversion OK!" would say otherwise. A long
// option's next argument is its value ("--prefix --detect"), not a switch.
bool ConvertsNothing(const std::vector<std::string>& args) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--") {
            break;
        }
        if (arg.rfind("--", 0) != 0) {
            continue;
        }
        const std::size_t equals = arg.find('=');
        const std::string_view name = std::string_view(arg).substr(2, equals - 2);
        if (name.empty()) {
            continue;
        }
        const SwitchDef* option = FindLongOption(name);
        if (option == nullptr) {
            continue;
        }
        if (option->bConvertsNothing) {
            return true;
        }
        if (option->eValue != ValueKind::kNone && equals == std::string::npos) {
            ++i;
        }
    }
    return false;
}

} // namespace

int main(int argc, char** argv) {
    // A reader that goes away early (`xvarnolt ... | head`) must not cost us
    // the main program's exit code.
    platform::IgnoreBrokenPipe();
    const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    // Help and version are asked for alone; among other arguments the same
    // texts belong to the main program's grammar (a file, or a switch it
    // rejects), so a run never silently converts nothing.
    const SoleRequest request =
        args.size() == 1 ? SoleArgumentRequest(args.front()) : SoleRequest::kNone;
    if (request == SoleRequest::kVersion) {
        std::printf("xvarnolt %s\n", VARNOLT_VERSION);
        return Finish(0);
    }

    Print(kTitle);
    if (args.empty() || request == SoleRequest::kHelp) {
        Print(kSynopsis);
        Print(LetterSwitchesUsage(kForXVarnolt));
        Print(kNotes);
        Print(LongOptionsUsage(kForXVarnolt));
        return Finish(0);
    }

    const std::string program = LocateMainProgram();
    if (program.empty()) {
        Print(kNotFound);
        return Finish(-1);
    }

    std::vector<std::string> childArgs{"-u", "-p", std::to_string(platform::CurrentProcessId())};
    childArgs.insert(childArgs.end(), args.begin(), args.end());
    // The child writes to the same standard output: our title must be out first.
    std::fflush(stdout);
    platform::ChildExit child;
    int ownSignal = 0;
    {
        // Ctrl-C reaches both processes: we wait for the child to stop
        // cleanly and then report, instead of leaving it alone.
        const platform::CForwardSignalGuard forward;
        child = platform::RunAndWait(program, childArgs);
        ownSignal = platform::StopSignal();
    }

    int result = -1;
    if (child.bStarted && child.bSignalled) {
        // Shell convention for a program ended by a signal; never looked up in
        // the table, where 130 or 134 would name a wrong cause.
        result = 128 + child.nCode;
        PrintUnexpected(result);
        return Finish(result);
    }
    if (child.bStarted) {
        result = child.nCode;
    }
    if (result == 0) {
        if (!ConvertsNothing(args)) {
            Print(kOk);
        }
        return Finish(0);
    }
    // 130 is also the code for an unknown switch; it means an interrupted
    // run only when the stop signal reached us too (Ctrl-C on the terminal,
    // or a SIGTERM we passed on). 129 and 143 mean nothing else.
    if (result == kExitHangUp || result == kExitTerminate ||
        (result == kExitInterrupt && ownSignal != 0)) {
        Print(kInterrupted);
        return Finish(result);
    }
    for (const auto& message : kMessages) {
        if (message.nCode == result) {
            std::printf("%.*s\n", static_cast<int>(message.strText.size()), message.strText.data());
            return Finish(result);
        }
    }
    PrintUnexpected(result);
    return Finish(result);
}
