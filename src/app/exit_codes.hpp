// Exit codes of the main program in non-interactive mode.
#pragma once

namespace varnolt {

enum ExitCode : int {
    kExitOk = 0,
    kExitWarning = 16,
    kExitUnknownSwitch = 130,
    kExitNoProfile = 132,
    kExitNoLogFile = 134,
    kExitBadProfile = 140,
    kExitNoSourceFiles = 142,
    kExitCodePageNotInstalled = 144,
    kExitBadBackupPrefix = 146,
    kExitBadDestPrefix = 148,
    kExitBadOutputFolder = 150,
    kExitLogNotWritten = 155,
    kExitFileFailed = 160,
};

} // namespace varnolt
