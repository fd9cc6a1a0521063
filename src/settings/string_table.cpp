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
    {4000, "The file '%1' already exists in folder '%2'.\n\nWould you like Varnolt to overwrite "
           "the existing file?\n"},
    {4025, "Overwrite All"},
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
    {5012, "-- ok --"},
    {5013, "The source file is empty. No conversion is performed."},
    {5200, "Varnolt Unicode Conversion Log"},
    {5201, "Output Option: "},
    {5202, "Overwrite after backup original files by adding filename prefix: %1\r\n"},
    {5203, "Add a filename prefix to converted files: %1\r\n"},
    {5204, "Output to Folder %1\r\n"},
    {5205, "Unicode Format: %1\r\n"},
    {5207, "UTF-8"},
    {5208, "Unicode (UTF-16 Little Endian)"},
    {5209, "Unicode (UTF-16 Big Endian)"},
    {5211, "\r\n=====\r\n"},
    {5212, "Add / Update UTF-8 charset Meta Tag to HTML files:Yes\r\n"},
    {5213, "Add / Update UTF-8 charset Meta Tag to HTML files:No\r\n"},
    {5214, "File: %1\r\n"},
    {5215, "Status: "},
    {5216, "OK"},
    {5217, "Warning - "},
    {5218, "Error - "},
    {5219, "Source Encoding:"},
    {5220, "Convert HTML Character Entity to Raw Unicode:Yes\r\n"},
    {5221, "Convert HTML Character Entity to Raw Unicode:No\r\n"},
    {5222, "Add Byte-Order Mark to Converted Files:Yes\r\n"},
    {5223, "Add Byte-Order Mark to Converted Files:No\r\n"},
    {6000, "&Overwrite"},
    {6001, "Don't Overwrite"},
    {6003, "File Already Exists - Varnolt"},
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
