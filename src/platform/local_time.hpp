// The current local date and time as the user's locale writes them.
#pragma once

#include <string>

namespace varnolt::platform {

struct LocalDateTimeText {
    std::string strDate; // long date, e.g. "Wednesday, 9 December 2026" (UTF-8)
    std::string strTime; // time of day in the locale's format, e.g. "14:03:11"
};

// Names of days and months and the time format come from the user's LC_TIME
// locale (LC_ALL, LC_TIME, LANG); an unusable locale falls back to "C".
LocalDateTimeText FormatLocalDateTimeNow();

} // namespace varnolt::platform
