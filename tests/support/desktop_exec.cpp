// An independent reader of launcher Exec lines for the tests.
#include "support/desktop_exec.hpp"

namespace varnolt::test {

std::optional<std::string> DesktopEntryValue(std::string_view text, std::string_view key) {
    bool inEntry = false;
    std::optional<std::string> found;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (line.starts_with('[')) {
            inEntry = line == "[Desktop Entry]";
            continue;
        }
        const std::size_t equals = line.find('=');
        if (!inEntry || equals == std::string_view::npos) {
            continue;
        }
        std::string_view name = line.substr(0, equals);
        while (name.ends_with(' ')) {
            name.remove_suffix(1);
        }
        if (name != key) {
            continue;
        }
        if (found) {
            return std::nullopt; // a key given twice
        }
        std::string_view value = line.substr(equals + 1);
        while (value.starts_with(' ')) {
            value.remove_prefix(1);
        }
        std::string out;
        for (std::size_t i = 0; i < value.size(); ++i) {
            if (value[i] != '\\') {
                out += value[i];
                continue;
            }
            if (++i == value.size()) {
                return std::nullopt;
            }
            switch (value[i]) {
            case 's':
                out += ' ';
                break;
            case 'n':
                out += '\n';
                break;
            case 't':
                out += '\t';
                break;
            case 'r':
                out += '\r';
                break;
            case '\\':
                out += '\\';
                break;
            default:
                // Only those five are string escapes; a backslash meant for
                // the Exec quoting must itself be escaped.
                return std::nullopt;
            }
        }
        found = out;
    }
    return found;
}

std::optional<std::vector<std::string>> SplitDesktopExec(std::string_view exec) {
    std::vector<std::string> argv;
    std::size_t i = 0;
    while (true) {
        while (i < exec.size() && exec[i] == ' ') {
            ++i;
        }
        if (i == exec.size()) {
            break;
        }
        std::string argument;
        if (exec[i] == '"') {
            for (++i;; ++i) {
                if (i == exec.size()) {
                    return std::nullopt;
                }
                if (exec[i] == '"') {
                    ++i;
                    break;
                }
                if (exec[i] == '\\') {
                    if (++i == exec.size() ||
                        std::string_view("\"`$\\").find(exec[i]) == std::string_view::npos) {
                        return std::nullopt;
                    }
                }
                argument += exec[i];
            }
            // A quoted argument is a whole argument.
            if (i < exec.size() && exec[i] != ' ') {
                return std::nullopt;
            }
        } else {
            for (; i < exec.size() && exec[i] != ' '; ++i) {
                if (std::string_view("\"'\\`$<>|&;*?#()~\t\n").find(exec[i]) !=
                    std::string_view::npos) {
                    return std::nullopt; // reserved: only inside quotes
                }
                argument += exec[i];
            }
        }
        std::string unpercented;
        for (std::size_t k = 0; k < argument.size(); ++k) {
            if (argument[k] == '%') {
                if (k + 1 == argument.size() || argument[k + 1] != '%') {
                    return std::nullopt;
                }
                ++k;
            }
            unpercented += argument[k];
        }
        argv.push_back(unpercented);
    }
    return argv;
}

} // namespace varnolt::test
