// String table: numbered texts (UTF-8), looked up by id.
#include "settings/string_table.hpp"

#include <algorithm>
#include <iterator>
#include <string_view>

namespace varnolt {
namespace {

struct StringEntry {
    int nId;
    std::string_view strText;
};

// Sorted by id, each id once (checked at compile time below). Texts are kept
// byte for byte as the user has always seen them, typos and trailing blanks
// included.
constexpr StringEntry kStrings[] = {
    // File-dialog filters.
    {102, "Text/HTML Files|*.txt;*.htm;*.html;*.shtml;*.asp;*.php;*.php3;*.phtml|HTML "
          "Files|*.htm;*.html;*.shtml;*.asp;*.php;*.php3;*.phtml|Text Files (*.txt)|*.txt|HTML "
          "Files (*.htm;*.html;*.shtml)|*.htm;*.html|ASP Files (*.asp)|*.asp|PHP Files "
          "(*.php,*.php3;*.phtml)|*.php;*.php3;*.phtml|All Files (*.*)|*.*||"},
    {104, "Text Files (*.txt)|*.txt|All Files (*.*)|*.*||"},
    {111, "Varnolt Config. Profile (*.vnp)|*.vnp|All Files (*.*)|*.*||"},
    // Message boxes: invalid input and failed profile or log files.
    {3000, "Unsupported Character-Set!\n\nThe Encoding of Source File is not supported on your "
           "computer.\nPlease install the language support files from Regional Options of Control "
           "Panel or Windows Update."},
    {3002, "No file is selected for conversion."},
    {3003, "\"Overwrite after backup original files\" setting is invalid."},
    {3004, "\"Add a filename prefix to converted files\" setting is invalid."},
    {3005, "Output Folder specified is invalid or unaccessible."},
    {3006, "Unable to create the log file!"},
    {3010, "The File Extension is invalid."},
    {3011, "The specified config profile is invalid. "},
    {3012, "Unable to create the config profile!"},
    {3013, "The specified folder is invalid."},
    // Questions, dialog titles and labels.
    {4000, "The file '%1' already exists in folder '%2'.\n\nWould you like Varnolt to overwrite "
           "the existing file?\n"},
    {4006, "Cancel"},
    {4010, "Please choose folder to search"},
    {4011, "%d files found"},
    {4012, "Last Used"},
    {4013, "Delete selected Saved Search?"},
    {4016, "Preferences"},
    {4018,
     "Varnolt Version %1 is available.  Click Download Now button to obtain the latest version."},
    {4019, "Create Shoruct on Desktop"},
    {4020, "Append to the file"},
    {4025, "Overwrite All"},
    {4026, "Don't show again"},
    {4027, "Warning!!"},
    {4028,
     "Before you understand how Varnolt works, please use dummy files or extra copies of your data "
     "files to test and evaluate Varnolt.  Improper use of Varnolt may result loss of data."},
    {4029, "Delete"},
    {4030, "Delete?"},
    {4031, "Click Delete button to remove %s."},
    // Per-file results of a conversion.
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
    {5014, "The source file was changed during conversion. The file is not converted."},
    {5015, "The file is the profile or the log of this run. It is not converted."},
    {5016, "The conversion was interrupted. The file is not converted."},
    {5017, "The encoding of the source file could not be detected with confidence. The file is "
           "not converted."},
    // Result list columns and the default log file name.
    {5100, "File"},
    {5101, "Error/Warning Message"},
    {5150, "./varnolt.log"},
    // Conversion log file.
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
    // Marker comments and tags written into HTML files.
    {5500, "\r\n<!-- * Begin * Added by Varnolt -->\r\n"},
    {5501, "\r\n<!-- *  End  * Added by Varnolt -->\r\n\r\n"},
    {5502, "\r\n<!-- * Begin * Removed by Varnolt -->\r\n<!-- "},
    {5503, " -->\r\n<!-- *  End  * Removed by Varnolt -->\r\n\r\n"},
    {5504, "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=UTF-8\" />"},
    {5505, "<head>"},
    {5506, "</head>"},
    // Overwrite question, file-list columns and tooltips.
    {6000, "&Overwrite"},
    {6001, "Don't Overwrite"},
    {6003, "File Already Exists - Varnolt"},
    {6100, "Name"},
    {6101, "In Folder"},
    {6157, "- To add files, please drag-and-drop the files here\n- To remove files, select the "
           "files. Then, drop the files outside the main window"},
    {6159,
     "During Unicode conversion, Varnolt will\n\n- create backup of original files by adding a "
     "filename prefix\n- overwrite converted text over the original files\n\nPlease enter the "
     "filename prefix of backup files into the edit box.\n\nClick '?' icon for more information"},
    {6160, "During Unicode conversion, Varnolt will\n\n- add a filename prefix to converted "
           "files\n- keep the original files unchanged\n\nPlease enter the filename prefix of "
           "converted files into the edit box.\n\nClick '?' icon for more information"},
    {6161, "During Unicode conversion, Varnolt will\n\n- write converted files to the specified "
           "folder\n\nPlease enter the output folder into the edit box.\n\nClick '?' icon for more "
           "information"},
    {6162, "To add a Byte-Order Mark (BOM) at the begining of converted file.  BOM is a signature "
           "defining the byte order and encoding form of Unicode Data Stream.\n\nIf you are not "
           "sure the usage of BOM, just keep this option checked. "},
    {6163, "Convert HTML Character Entity References to raw Unicode characters.\n\nFor "
           "Example,\"&copy; &#0165;\" in a HTML file is converted to \"© ¥\" during Unicode "
           "Conversion. This option has effect on HTML-based files only."},
    // Console result after each file's path.
    {7000, " [ok]\n"},
    {7001, " [warning]\n"},
    {7002, " [failed]\n"},
    // Cue text of the find-files folder box.
    {8004, "Specify Folder to search"},
    // Main menu items, under their command identifiers.
    {32771, "&Contents"},
    {32772, "Save Configuration &As..."},
    {32773, "&Open Configuration..."},
    {32774, "&Exit"},
    {32778, "&About Varnolt..."},
    {32779, "Send &Question/Feedback"},
    {32783, "&Preferences..."},
    {32784, "&Unicode Codec...\tF5"},
    {32787, "&Search Files...\tCtrl-F"},
    {32791, "Check for Updates..."},
    // Application title.
    {57344, "Varnolt"},
};

constexpr bool IsStrictlySorted() {
    for (std::size_t i = 1; i < std::size(kStrings); ++i) {
        if (kStrings[i - 1].nId >= kStrings[i].nId) {
            return false;
        }
    }
    return true;
}

// The lookup is a binary search: an out-of-order or repeated id would make
// some texts unreachable.
static_assert(IsStrictlySorted(), "string table must be sorted by id with unique ids");

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
