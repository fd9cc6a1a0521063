// Configuration profiles (.vnp): one complete set of conversion options in a
// small UTF-16LE text file, written by the main dialog and read by the dialog
// and by non-interactive runs.
//
// File layout, one value per line, each line ended by a single line feed
// (0A 00): the signature U+FEFF "TaVo"; the format version (2); the source
// code page; the output option; the backup prefix; the converted-file prefix;
// the output folder; the Unicode format index; then 1 or 0 for the meta-tag,
// entity and byte-order-mark switches (the last one only from version 2).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace varnolt {

inline constexpr std::int32_t kProfileVersion = 2;
inline constexpr std::string_view kProfileExtension = "vnp";

// Everything a profile holds, as the main dialog shows it. Strings are UTF-8.
struct ProfileOptions {
    std::int32_t nCodePage = 1252;
    std::int32_t nOutputOption = 0;
    std::string strBackupPrefix;
    std::string strDestPrefix;
    std::string strOutputFolder;
    std::int32_t nUnicodeFormat = 0;
    bool bUtf8Meta = false;
    bool bEntityToUnicode = false;
    bool bAddBOM = true;
};

// The lines of a profile as read, before any use decides what to do with
// them: numbers as the decimal conversion gives them, switches as "nonzero",
// bAddBOM already defaulted to on for versions 0 and 1.
struct ProfileContent {
    std::int32_t nVersion = 0;
    ProfileOptions options;
};

// The options of one non-interactive run that come from a profile; the run's
// controller copies them.
struct ProfileRunOptions {
    std::int32_t nCodePage = 0;
    std::int32_t nOutputOption = 0;
    // The backup prefix (option 0), converted-file prefix (1) or output folder (2).
    std::string strOutputArg;
    std::int32_t nUnicodeFormat = 0;
    bool bUtf8Meta = false; // only ever true with UTF-8 (format 2)
    bool bEntityToUnicode = false;
    bool bAddBOM = true;
    std::int32_t nVersion = 0;
};

enum class ProfileStatus {
    Ok,
    CannotRead,       // the file cannot be opened or read
    BadSignature,     // the first ten bytes are not U+FEFF "TaVo"
    BadVersion,       // version 3 or more, or negative
    BadOutputOption,  // ReadForRun only: outside 0 to 2
    BadUnicodeFormat, // ReadForRun only: outside 0 to 2
};

// Parses the bytes of a profile file (the common reading of both users).
// Only BadSignature and BadVersion can fail here.
ProfileStatus ParseProfile(std::string_view bytes, ProfileContent& content);

// Reads and parses a profile file. The dialog's reading uses this and then
// applies its own rules (catalogue lookup, format range, enabling).
// On CannotRead, `error` (when given) receives the errno value, EFBIG for a
// file too large to be a profile, or platform::kErrNotRegularFile: a FIFO or
// device is refused without blocking.
ProfileStatus ReadProfile(const std::string& path, ProfileContent& content, int* error = nullptr);

// What the main dialog shows for a profile it opens.
struct ProfileDialogValues {
    int nEncodingIndex = 0;         // first catalogue entry with the code page, else 0
    std::int32_t nOutputOption = 0; // as read: outside 0-2 selects no radio button
    std::string strBackupPrefix;
    std::string strDestPrefix;
    std::string strOutputFolder;
    int nUnicodeFormatIndex = 0; // as read when a valid index, else 0
    bool bMetaEnabled = false;   // the meta-tag check box is usable only with UTF-8
    bool bUtf8Meta = false;      // the check box's state, kept even while disabled
    bool bEntityToUnicode = false;
    bool bAddBOM = true;
};

// The dialog's reading rules applied to a parsed profile.
ProfileDialogValues ToDialogValues(const ProfileContent& content);

// Reads a profile for a non-interactive run. On Ok every field of `options`
// is filled; on failure `options` is left unchanged. The caller shows
// "The specified config profile is invalid. " (string 3011) for BadVersion
// only; every failure ends the run with exit code 140.
ProfileStatus ReadForRun(const std::string& path, ProfileRunOptions& options, int* error = nullptr);

// The run's rules of ReadForRun applied to options already read: options
// given on the command line become a run exactly as the same profile would.
ProfileStatus ToRunOptions(const ProfileContent& content, ProfileRunOptions& options);

// Why a profile could not be used, for a person to act on: "it does not
// exist", "it is not a regular file", "it does not begin with the profile
// signature", ... (`error` as ReadProfile gives it).
std::string ProfileFailureReason(ProfileStatus status, int error);

// The bytes of a profile holding `options` (version 2, 11 lines).
std::string FormatProfile(const ProfileOptions& options);

// Creates or replaces the profile at `path`. False when it cannot be written
// (the caller shows string 3012), and also when one of the three texts holds
// a line feed or a NUL or is not well-formed UTF-8, which the file cannot
// carry unchanged (a line feed would shift every later line).
bool WriteProfile(const std::string& path, const ProfileOptions& options);

} // namespace varnolt
