// String table: exact texts across the id ranges, unknown ids, per-file messages.
#include "settings/file_status.hpp"
#include "settings/string_table.hpp"

#include <climits>
#include <gtest/gtest.h>
#include <string_view>

namespace varnolt {
namespace {

struct Sample {
    int nId;
    std::string_view strExpected;
};

// Texts spelled out independently of the table, byte for byte: line ends,
// embedded quotes, tabs, trailing blanks, placeholders and UTF-8.
constexpr Sample kSamples[] = {
    {104, "Text Files (*.txt)|*.txt|All Files (*.*)|*.*||"},
    {3000,
     "Unsupported Character-Set!\x0a\x0aThe Encoding of Source File is not supported on your "
     "computer.\x0aPlease install the language support files from Regional Options of Control "
     "Panel or Windows Update."},
    {3003, "\x22Overwrite after backup original files\x22 setting is invalid."},
    {3011, "The specified config profile is invalid. "},
    {4000,
     "The file '%1' already exists in folder '%2'.\x0a\x0aWould you like Varnolt to overwrite "
     "the existing file?\x0a"},
    {4011, "%d files found"},
    {4031, "Click Delete button to remove %s."},
    {5004, "Unable to backup the original file. Does the file already exist??"},
    {5012, "-- ok --"},
    {5150, "./varnolt.log"},
    {5201, "Output Option: "},
    {5202, "Overwrite after backup original files by adding filename prefix: %1\x0d\x0a"},
    {5211, "\x0d\x0a=====\x0d\x0a"},
    {5503, " -->\x0d\x0a<!-- *  End  * Removed by Varnolt -->\x0d\x0a\x0d\x0a"},
    {5504, "<meta http-equiv=\x22"
           "Content-Type\x22 content=\x22text/html; charset=UTF-8\x22 />"},
    {6001, "Don't Overwrite"},
    {6163,
     "Convert HTML Character Entity References to raw Unicode characters.\x0a\x0a"
     "For Example,\x22&copy; &#0165;\x22 in a HTML file is converted to \x22\xc2\xa9 \xc2\xa5\x22 "
     "during Unicode Conversion. This option has effect on HTML-based files only."},
    {7002, " [failed]\x0a"},
    {32787, "&Search Files...\x09"
            "Ctrl-F"},
    {57344, "Varnolt"},
};

TEST(StringTable, SamplesAreByteExact) {
    for (const Sample& s : kSamples) {
        EXPECT_EQ(LoadString(s.nId), s.strExpected) << "id " << s.nId;
    }
}

TEST(StringTable, UnknownIdsGiveEmptyView) {
    // Gaps inside ranges, neighbours of the first and last entries, extremes.
    for (int id :
         {INT_MIN, -1, 0, 101, 5011, 5206, 5210, 5499, 6002, 6158, 57343, 57345, INT_MAX}) {
        const std::string_view text = LoadString(id);
        EXPECT_TRUE(text.empty()) << "id " << id << " gave \"" << text << "\"";
    }
}

TEST(StringTable, EveryPerFileMessageHasText) {
    // The log and the result list print these by id; a missing one would show
    // a file's result as blank.
    for (int id :
         {kMsgSourceUnreadable, kMsgSourceReadError, kMsgInvalidCharacter, kMsgTempCreateFailed,
          kMsgBackupFailed, kMsgDestExistsSkipped, kMsgDestOverwritten, kMsgDestWriteFailed,
          kMsgUnexpectedFileAccess, kMsgNoMetaTag, kMsgTempAccessFailed, kMsgOk, kMsgSourceEmpty}) {
        EXPECT_FALSE(LoadString(id).empty()) << "id " << id;
    }
}

TEST(StringTable, FirstAndLastEntriesAreReachable) {
    // The binary search must find both ends of the table.
    EXPECT_EQ(LoadString(102).substr(0, 16), "Text/HTML Files|");
    EXPECT_EQ(LoadString(57344), "Varnolt");
}

} // namespace
} // namespace varnolt
