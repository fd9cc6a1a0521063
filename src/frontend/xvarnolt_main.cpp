// xvarnolt: runs the main program's non-interactive mode from a terminal or a
// script, passing every argument on unchanged, and turns its exit code into a
// one-line message and its own exit code.
#include "app/cmd_line_info.hpp"
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

// Switches are written with "-": on Linux "/" begins a path.
constexpr std::string_view kUsage[] = {
    "xvarnolt -c cfg-profile [-l logfile] [-o] [y] files to convert...\n\n",
    "-c cfg-profile - The config profile used to perform the conversion\n",
    "-l logfile     - The filename of Log File. Default is varnolt.log\n",
    "-o             - Overwrite the Log File. Default: Append to existing log file\n",
    "-y             - Overwrite the destination file if the file already exists.\n",
    "                 Default: Skip the file\n",
    "-s             - Search files in sub-directories\n\n",
    "Note: Wildcard characters ('*' or '?') can be used to specify the files to be\n"
    "converted.\n",
    "\nWithout a profile:\n"
    "xvarnolt --from ENC [--to FORMAT] (--backup PREFIX|--prefix PREFIX|--out DIR)\n"
    "         [--bom] [--meta] [--entities] [-l logfile] [-o] [-y] [-s] files...\n"
    "Example: xvarnolt --from sjis --out converted --keep-folders -s 'docs/*.txt'\n\n",
};

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
// saved or for the files' encodings to be detected: the main program then converts nothing, and
// "Conversion OK!" would say otherwise.
bool ConvertsNothing(const std::vector<std::string>& args) {
    for (const std::string& arg : args) {
        if (arg == "--") {
            break;
        }
        if (arg == "--list-encodings" || arg == "--detect" || arg == "--save-profile" ||
            arg.rfind("--save-profile=", 0) == 0) {
            return true;
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
    const bool alone = args.size() == 1;
    if (alone && args.front() == "--version") {
        std::printf("xvarnolt %s\n", VARNOLT_VERSION);
        return Finish(0);
    }

    Print(kTitle);
    if (args.empty() || (alone && (args.front() == "--help" || args.front() == "-h"))) {
        for (const auto line : kUsage) {
            Print(line);
        }
        Print(LongOptionsUsage());
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
