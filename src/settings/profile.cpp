// Reading and writing configuration profiles.
#include "settings/profile.hpp"

#include "platform/file_io.hpp"
#include "platform/small_file.hpp"
#include "platform/text_utf.hpp"
#include "settings/encoding_catalogue.hpp"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <limits>

namespace varnolt {
namespace {

constexpr std::string_view kSignature{"\xFF\xFE"
                                      "T\0a\0V\0o\0",
                                      10};
constexpr int kLineCount = 11;
// A profile we write is a few hundred bytes; anything whose first eleven
// lines are larger than this is not a profile, and the bound keeps a device
// or a huge file named by mistake from being read without end.
constexpr std::size_t kMaxProfileBytes = 1 << 20;

// Line n (from 0) of the UTF-16LE text: the units up to its line feed, which
// is dropped (a carriage return before it stays). A missing line is empty.
std::array<std::u16string, kLineCount> SplitLines(std::string_view bytes) {
    std::array<std::u16string, kLineCount> lines;
    std::size_t line = 0;
    for (std::size_t i = 0; i + 1 < bytes.size() && line < lines.size(); i += 2) {
        const auto unit = static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                                (static_cast<unsigned char>(bytes[i + 1]) << 8));
        if (unit == u'\n') {
            ++line;
        } else {
            lines[line] += unit;
        }
    }
    return lines;
}

// The decimal conversion of a numeric line: optional leading white space and
// sign, then digits up to the first other character; no digits give 0. Values
// beyond the 32-bit range saturate, so an absurd version still reads as "too
// high" and an absurd code page still fails validation later.
std::int32_t ToInt(std::u16string_view text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == u' ' || (text[i] >= u'\t' && text[i] <= u'\r'))) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }
    std::int64_t value = 0;
    constexpr std::int64_t kLimit = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
    for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
        value = value * 10 + (text[i] - u'0');
        if (value > kLimit) {
            value = kLimit;
        }
    }
    if (negative) {
        return static_cast<std::int32_t>(-value);
    }
    return static_cast<std::int32_t>(std::min(value, kLimit - 1));
}

// A text line as UTF-8. A NUL ends the text, as it would for every C string
// the text later becomes (a path must not mean one thing on screen and
// another to the file system).
std::string ToText(std::u16string_view line) {
    const std::size_t nul = line.find(u'\0');
    return Utf16ToUtf8(line.substr(0, nul));
}

void AppendUtf16(std::string& out, std::u16string_view text) {
    for (const char16_t unit : text) {
        out += static_cast<char>(unit & 0xFF);
        out += static_cast<char>(unit >> 8);
    }
}

void AppendLine(std::string& out, std::string_view utf8) {
    AppendUtf16(out, Utf8ToUtf16(utf8));
    AppendUtf16(out, u"\n");
}

// A text the line format carries unchanged: no line feed or NUL, and UTF-8
// that survives the trip to UTF-16 (a lenient conversion would silently turn
// a stray byte of a folder name into U+FFFD and point the profile elsewhere).
bool Writable(std::string_view text) {
    return text.find('\n') == std::string_view::npos && text.find('\0') == std::string_view::npos &&
           IsWellFormedUtf8(text);
}

} // namespace

ProfileStatus ParseProfile(std::string_view bytes, ProfileContent& content) {
    if (bytes.substr(0, kSignature.size()) != kSignature) {
        return ProfileStatus::BadSignature;
    }
    const auto lines = SplitLines(bytes);
    ProfileContent read;
    read.nVersion = ToInt(lines[1]);
    // Versions 0 to 2 exist; a negative one was never written by anybody.
    if (read.nVersion < 0 || read.nVersion > kProfileVersion) {
        return ProfileStatus::BadVersion;
    }
    ProfileOptions& o = read.options;
    o.nCodePage = ToInt(lines[2]);
    o.nOutputOption = ToInt(lines[3]);
    o.strBackupPrefix = ToText(lines[4]);
    o.strDestPrefix = ToText(lines[5]);
    o.strOutputFolder = ToText(lines[6]);
    o.nUnicodeFormat = ToInt(lines[7]);
    o.bUtf8Meta = ToInt(lines[8]) != 0;
    o.bEntityToUnicode = ToInt(lines[9]) != 0;
    // Versions 0 and 1 had no byte-order-mark switch and always wrote one.
    o.bAddBOM = read.nVersion >= 2 ? ToInt(lines[10]) != 0 : true;
    content = std::move(read);
    return ProfileStatus::Ok;
}

ProfileStatus ReadProfile(const std::string& path, ProfileContent& content, int* error) {
    std::string bytes;
    bool tooLarge = false;
    int lineFeeds = 0;
    std::size_t scanned = 0;
    const auto consume = [&](std::string_view chunk) {
        bytes.append(chunk);
        if (bytes.size() >= kSignature.size() &&
            bytes.compare(0, kSignature.size(), kSignature) != 0) {
            return false; // no profile: the rest does not matter
        }
        // Only the first eleven lines are ever used.
        for (; scanned + 1 < bytes.size(); scanned += 2) {
            if (bytes[scanned] == '\n' && bytes[scanned + 1] == '\0' && ++lineFeeds == kLineCount) {
                return false;
            }
        }
        if (bytes.size() > kMaxProfileBytes) {
            tooLarge = true;
            return false;
        }
        return true;
    };
    if (!platform::ReadFileChunks(path, consume, error) || tooLarge) {
        if (tooLarge && error != nullptr) {
            *error = EFBIG;
        }
        return ProfileStatus::CannotRead;
    }
    return ParseProfile(bytes, content);
}

ProfileDialogValues ToDialogValues(const ProfileContent& content) {
    const ProfileOptions& o = content.options;
    ProfileDialogValues v;
    v.nEncodingIndex = std::max(EncodingCatalogue::IndexOf(o.nCodePage), 0);
    v.nOutputOption = o.nOutputOption;
    v.strBackupPrefix = o.strBackupPrefix;
    v.strDestPrefix = o.strDestPrefix;
    v.strOutputFolder = o.strOutputFolder;
    // A negative format is no index either: it would select before the list.
    const bool validFormat =
        o.nUnicodeFormat >= 0 && o.nUnicodeFormat < EncodingCatalogue::FormatCount();
    v.nUnicodeFormatIndex = validFormat ? o.nUnicodeFormat : 0;
    v.bMetaEnabled = v.nUnicodeFormatIndex == 2;
    v.bUtf8Meta = o.bUtf8Meta;
    v.bEntityToUnicode = o.bEntityToUnicode;
    v.bAddBOM = o.bAddBOM;
    return v;
}

ProfileStatus ReadForRun(const std::string& path, ProfileRunOptions& options, int* error) {
    ProfileContent content;
    const ProfileStatus status = ReadProfile(path, content, error);
    if (status != ProfileStatus::Ok) {
        return status;
    }
    return ToRunOptions(content, options);
}

ProfileStatus ToRunOptions(const ProfileContent& content, ProfileRunOptions& options) {
    const ProfileOptions& o = content.options;
    ProfileRunOptions run;
    run.nVersion = content.nVersion;
    run.nCodePage = o.nCodePage; // checked by the run's validation
    run.nOutputOption = o.nOutputOption;
    switch (o.nOutputOption) {
    case 0:
        run.strOutputArg = o.strBackupPrefix;
        break;
    case 1:
        run.strOutputArg = o.strDestPrefix;
        break;
    case 2:
        run.strOutputArg = o.strOutputFolder;
        break;
    default:
        return ProfileStatus::BadOutputOption;
    }
    if (o.nUnicodeFormat < 0 || o.nUnicodeFormat > 2) {
        return ProfileStatus::BadUnicodeFormat;
    }
    run.nUnicodeFormat = o.nUnicodeFormat;
    run.bUtf8Meta = o.nUnicodeFormat == 2 && o.bUtf8Meta;
    run.bEntityToUnicode = o.bEntityToUnicode;
    run.bAddBOM = o.bAddBOM;
    options = std::move(run);
    return ProfileStatus::Ok;
}

std::string ProfileFailureReason(ProfileStatus status, int error) {
    switch (status) {
    case ProfileStatus::Ok:
        return {};
    case ProfileStatus::CannotRead:
        if (error == ENOENT) {
            return "it does not exist";
        }
        if (error == platform::kErrNotRegularFile) {
            return "it is not a regular file";
        }
        if (error == EFBIG) {
            return "it is too large to be a profile";
        }
        return error > 0 ? std::string("it cannot be read: ") + std::strerror(error)
                         : std::string("it cannot be read");
    case ProfileStatus::BadSignature:
        return "it does not begin with the profile signature";
    case ProfileStatus::BadVersion:
        return "its version is not one this program reads (0 to " +
               std::to_string(kProfileVersion) + ")";
    case ProfileStatus::BadOutputOption:
        return "its output option is not 0, 1 or 2";
    case ProfileStatus::BadUnicodeFormat:
        return "its Unicode format is not 0, 1 or 2";
    }
    return {};
}

std::string FormatProfile(const ProfileOptions& options) {
    std::string out;
    AppendUtf16(out, u"\uFEFFTaVo\n");
    AppendLine(out, std::to_string(kProfileVersion));
    AppendLine(out, std::to_string(options.nCodePage));
    AppendLine(out, std::to_string(options.nOutputOption));
    AppendLine(out, options.strBackupPrefix);
    AppendLine(out, options.strDestPrefix);
    AppendLine(out, options.strOutputFolder);
    AppendLine(out, std::to_string(options.nUnicodeFormat));
    AppendLine(out, options.bUtf8Meta ? "1" : "0");
    AppendLine(out, options.bEntityToUnicode ? "1" : "0");
    AppendLine(out, options.bAddBOM ? "1" : "0");
    return out;
}

bool WriteProfile(const std::string& path, const ProfileOptions& options) {
    if (!Writable(options.strBackupPrefix) || !Writable(options.strDestPrefix) ||
        !Writable(options.strOutputFolder)) {
        return false;
    }
    return platform::WriteFileAtomically(path, FormatProfile(options));
}

} // namespace varnolt
