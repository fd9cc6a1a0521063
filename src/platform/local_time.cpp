// Locale date and time text through newlocale and strftime_l (thread-safe:
// the process-wide locale is never changed).
#include "platform/local_time.hpp"

#include <clocale>
#include <cstring>
#include <ctime>
#include <langinfo.h>
#include <locale.h>
#include <mutex>

namespace varnolt::platform {
namespace {

bool IsAscii(const std::string& text) {
    for (const unsigned char c : text) {
        if (c >= 0x80) {
            return false;
        }
    }
    return true;
}

std::string Format(const char* format, const std::tm& when, locale_t loc) {
    char buffer[256];
    const std::size_t n = ::strftime_l(buffer, sizeof buffer, format, &when, loc);
    return std::string(buffer, n);
}

LocalDateTimeText FormatWith(const std::tm& when, locale_t loc) {
    // glibc has no "long date" item; weekday, day, month name and year in
    // the locale's language is the long date readers expect.
    LocalDateTimeText text;
    text.strDate = Format("%A, %-d %B %Y", when, loc);
    const char* timeFormat = ::nl_langinfo_l(T_FMT, loc);
    text.strTime =
        Format(timeFormat != nullptr && *timeFormat != '\0' ? timeFormat : "%H:%M:%S", when, loc);
    return text;
}

} // namespace

LocalDateTimeText FormatLocalDateTimeNow() {
    // glibc loads and frees locale data behind newlocale/freelocale with
    // its own shared state; one writer at a time keeps that out of reach of
    // concurrent log writes (and ThreadSanitizer, which cannot see glibc's
    // internal locks, quiet). A log is written once per run: no cost.
    static std::mutex s_localeLock;
    std::lock_guard lock(s_localeLock);
    const std::time_t now = std::time(nullptr);
    std::tm when{};
    ::localtime_r(&now, &when);

    LocalDateTimeText text;
    bool done = false;
    if (locale_t user = ::newlocale(LC_TIME_MASK | LC_CTYPE_MASK, "", nullptr)) {
        text = FormatWith(when, user);
        const char* codeset = ::nl_langinfo_l(CODESET, user);
        const bool utf8 = codeset != nullptr &&
                          (std::strcmp(codeset, "UTF-8") == 0 || std::strcmp(codeset, "utf8") == 0);
        // The log is Unicode: text in another charset is only taken when it
        // is plain ASCII.
        done = utf8 || (IsAscii(text.strDate) && IsAscii(text.strTime));
        ::freelocale(user);
    }
    if (!done) {
        if (locale_t c = ::newlocale(LC_ALL_MASK, "C", nullptr)) {
            text = FormatWith(when, c);
            ::freelocale(c);
        }
    }
    return text;
}

} // namespace varnolt::platform
