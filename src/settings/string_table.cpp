// String table: numbered texts (UTF-8), looked up by id.
#include "settings/string_table.hpp"

#include <algorithm>
#include <array>

namespace varnolt {
namespace {

struct StringEntry {
    int nId;
    std::string_view strText;
};

// Sorted by id.
constexpr StringEntry kStrings[] = {
    {3011, "The specified config profile is invalid. "},
    {3012, "Unable to create the config profile!"},
    {5000, "Unable to read the source file"},
    {5001, "Error when reading source file"},
    {5002, "Invalid character is found during Unicode conversion"},
    {5003, "Unable to create temporary file during conversion"},
    {5004, "Unable to backup the original file. Does the file already exist??"},
    {5005, "The file is not converted because the destination file already exists."},
    {5006, "The destination file already exists and it is overwritten."},
    {5007, "Unable to write to the destination file"},
    {5008, "Unexpected problem occured during file access"},
    {5009, "No UTF-8 charset Meta Tag is added/updated."},
    {5010, "Error when accessing temporary file. The conversion is not completed."},
    {5013, "The source file is empty. No conversion is performed."},
    {7000, " [ok]\n"},
    {7001, " [warning]\n"},
    {7002, " [failed]\n"},
    {57344, "Varnolt"},
};

} // namespace

std::string_view LoadString(int id) {
    const auto it = std::lower_bound(std::begin(kStrings), std::end(kStrings), id,
                                     [](const StringEntry& e, int key) { return e.nId < key; });
    if (it == std::end(kStrings) || it->nId != id) {
        return {};
    }
    return it->strText;
}

} // namespace varnolt
