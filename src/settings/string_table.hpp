// The program's numbered texts, exactly as the user sees them.
//
// Every layer records message ids and looks texts up here, so the table sits
// at the bottom of the core, beside the settings.
#pragma once

#include <string_view>

namespace varnolt {

// The text with that id, or an empty view when there is none.
std::string_view LoadString(int id);

} // namespace varnolt
