// Filter lists, filter matching and the recursive folder search.
#include "search/file_find_ex.hpp"

#include "platform/paths.hpp"

#include <cstdio>
#include <functional>

namespace varnolt {

void CStdErrSearchMessageSink::ShowFilterError(const std::string& text) {
    std::fputs(text.c_str(), stderr);
    std::fputc('\n', stderr);
    std::fflush(stderr);
}

bool CFileFindEx::FindFile(const std::string& mask, std::string_view inclusion,
                           std::string_view exclusion, bool useRegExp) {
    m_strInclude = inclusion;
    m_strExclude = exclusion;
    m_bUseRegExp = useRegExp;
    m_bFiltersActive = !m_strInclude.empty() || !m_strExclude.empty();
    BuildFilterLists();
    return FindFile(mask);
}

void CFileFindEx::BuildFilterLists() {
    SplitInto(m_strInclude, m_arrInclude);
    SplitInto(m_strExclude, m_arrExclude);
    m_arrIncludeCompiled = std::vector<Compiled>(m_arrInclude.size());
    m_arrExcludeCompiled = std::vector<Compiled>(m_arrExclude.size());
}

// Tokens at "|", taken while non-empty: the first empty token ends the list,
// so "a||b" gives only "a" and a leading "|" gives nothing. Blanks are kept.
void CFileFindEx::SplitInto(std::string_view text, std::vector<std::string>& list) {
    list.clear();
    if (text.empty()) {
        return;
    }
    m_strSplit = text;
    m_nSplitPos = 0;
    for (std::string token = NextToken(); !token.empty(); token = NextToken()) {
        list.push_back(m_bUseRegExp ? token : WildcardToPattern(token));
    }
}

std::string CFileFindEx::NextToken() {
    if (m_nSplitPos < 0) {
        return {};
    }
    const auto start = static_cast<std::size_t>(m_nSplitPos);
    const std::size_t bar = m_strSplit.find('|', start);
    if (bar == std::string::npos) {
        m_nSplitPos = -1;
        return m_strSplit.substr(start);
    }
    m_nSplitPos = static_cast<long>(bar + 1);
    return m_strSplit.substr(start, bar - start);
}

bool CFileFindEx::TryPattern(const std::string& pattern, Compiled& compiled, const char* side) {
    if (!compiled.result) {
        compiled.result = compiled.regExp.Compile(pattern);
    }
    m_eLastResult = *compiled.result;
    if (m_eLastResult != RegExpResult::Ok) {
        m_strError = std::string(side) + " Filter: Error on regex " + pattern + " : " +
                     FilterErrorText(static_cast<int>(m_eLastResult));
        throw CRegExpException();
    }
    return compiled.regExp.Match(GetFileName());
}

bool CFileFindEx::MatchFilters() {
    if (IsDirectory()) {
        return true;
    }
    bool included = m_arrInclude.empty();
    for (std::size_t i = 0; !included && i < m_arrInclude.size(); ++i) {
        included = TryPattern(m_arrInclude[i], m_arrIncludeCompiled[i], "Include");
    }
    if (!included) {
        return false;
    }
    for (std::size_t i = 0; i < m_arrExclude.size(); ++i) {
        if (TryPattern(m_arrExclude[i], m_arrExcludeCompiled[i], "Exclude")) {
            return false;
        }
    }
    return true;
}

std::string WildcardToPattern(std::string_view wildcard) {
    static constexpr std::string_view kEscaped = " !$()+-.[\\]^{|}";
    std::string out = "^";
    for (const char c : wildcard) {
        if (c == '*') {
            out += ".*?";
        } else if (c == '?') {
            out += '.';
        } else {
            if (kEscaped.find(c) != std::string_view::npos) {
                out += '\\';
            }
            out += c;
        }
    }
    out += '$';
    return out;
}

std::string FilterErrorText(int code) {
    static constexpr const char* kTexts[] = {
        "Worked OK",        "Out of memory",     "Brace expected", "Paren expected",
        "Bracket expected", "Unexpected syntax", "Empty range",    "Invalid group",
        "Invalid range",    "Invalid repeator",  "Invalid input",
    };
    if (code < 0 || code >= static_cast<int>(std::size(kTexts))) {
        return "Unknown error";
    }
    return kTexts[code];
}

namespace {

// False when a filter error ended the search.
bool SearchLevel(const std::function<void(std::string&&)>& take, bool recurse,
                 const std::string& folder, std::string_view inclusion, std::string_view exclusion,
                 bool useRegExp, ISearchMessageSink& sink, bool resolveLinks) {
    CFileFindEx finder;
    try {
        for (bool more = finder.FindFile(folder, inclusion, exclusion, useRegExp); more;
             more = finder.FindNextFile()) {
            if (finder.IsDots()) {
                continue;
            }
            if (finder.IsDirectory()) {
                if (recurse && !SearchLevel(take, recurse, finder.GetFilePath(), inclusion,
                                            exclusion, useRegExp, sink, resolveLinks)) {
                    return false;
                }
                continue;
            }
            if (!finder.IsFile()) {
                continue;
            }
            if (finder.FiltersActive() && !finder.MatchFilters()) {
                continue;
            }
            // Only links need the kernel's resolution: every other entry's
            // path is its folder's, which the caller resolved once.
            take(resolveLinks && finder.IsLinkToFile() ? platform::ResolvePath(finder.GetFilePath())
                                                       : finder.GetFilePath());
        }
    } catch (const CRegExpException&) {
        // Say why once and stop (enclosing folders would only meet the same
        // pattern again); the caller drops what was found so far.
        finder.Close();
        sink.ShowFilterError(finder.GetErrorText());
        return false;
    }
    return true;
}

} // namespace

bool SearchFolderEach(const std::function<void(std::string&&)>& take, bool recurse,
                      const std::string& folder, std::string_view inclusion,
                      std::string_view exclusion, bool useRegExp, ISearchMessageSink* sink,
                      bool resolveLinks) {
    if (folder.empty() || !platform::IsDirectory(folder)) {
        return true;
    }
    CStdErrSearchMessageSink stdErr;
    return SearchLevel(take, recurse, folder, inclusion, exclusion, useRegExp,
                       sink != nullptr ? *sink : stdErr, resolveLinks);
}

void SearchFolder(std::vector<std::string>& results, bool recurse, const std::string& folder,
                  std::string_view inclusion, std::string_view exclusion, bool useRegExp,
                  ISearchMessageSink* sink) {
    const bool complete =
        SearchFolderEach([&results](std::string&& path) { results.push_back(std::move(path)); },
                         recurse, folder, inclusion, exclusion, useRegExp, sink);
    if (!complete) {
        // Partial results would look like a complete search.
        results.clear();
    }
}

} // namespace varnolt
