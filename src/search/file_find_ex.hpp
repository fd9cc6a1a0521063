// Filtered folder search: include/exclude filters (wildcards or patterns)
// over one folder's entries, and the recursive SearchFolder built on it.
#pragma once

#include "platform/dir_walk.hpp"
#include "search/atl_reg_exp.hpp"

#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace varnolt {

// Raised by MatchFilters when a filter pattern does not compile; the
// user-facing text is in CFileFindEx::GetErrorText().
class CRegExpException : public std::runtime_error {
public:
    CRegExpException() : std::runtime_error("Regular Expression Error") {}
};

// Where SearchFolder shows a filter error. The default writes it to standard
// error; the GUI passes one that shows a message box.
class ISearchMessageSink {
public:
    virtual ~ISearchMessageSink() = default;
    virtual void ShowFilterError(const std::string& text) = 0;
};

class CStdErrSearchMessageSink : public ISearchMessageSink {
public:
    void ShowFilterError(const std::string& text) override;
};

class CFileFindEx : public platform::CFileFind {
public:
    using platform::CFileFind::FindFile;

    // Stores the filters, rebuilds both pattern lists and starts the
    // enumeration of the folder (`mask`); false when it has no entry.
    virtual bool FindFile(const std::string& mask, std::string_view inclusion,
                          std::string_view exclusion, bool useRegExp);

    // Whether the current entry passes the filters; directories always do.
    // Throws CRegExpException when a pattern that has to be tried does not
    // compile.
    bool MatchFilters();

    bool FiltersActive() const { return m_bFiltersActive; }
    const std::string& GetErrorText() const { return m_strError; }
    RegExpResult GetLastResult() const { return m_eLastResult; }
    const std::vector<std::string>& GetInclusionList() const { return m_arrInclude; }
    const std::vector<std::string>& GetExclusionList() const { return m_arrExclude; }

private:
    struct Compiled {
        CAtlRegExp regExp;
        std::optional<RegExpResult> result; // compiled on first use
    };
    void BuildFilterLists();
    void SplitInto(std::string_view text, std::vector<std::string>& list);
    std::string NextToken();
    bool TryPattern(const std::string& pattern, Compiled& compiled, const char* side);

    std::string m_strError;
    std::string m_strInclude;
    std::string m_strExclude;
    std::string m_strSplit; // the splitter's working copy
    long m_nSplitPos = -1;  // where the next token starts; -1 when none is left
    bool m_bUseRegExp = false;
    RegExpResult m_eLastResult = RegExpResult::Ok;
    std::vector<std::string> m_arrInclude;
    std::vector<std::string> m_arrExclude;
    bool m_bFiltersActive = true;
    // Compiling a pattern twice gives the same result, so each pattern is
    // compiled once per folder, the first time an entry needs it.
    std::vector<Compiled> m_arrIncludeCompiled;
    std::vector<Compiled> m_arrExcludeCompiled;
};

// "^" + the wildcard with "*" -> ".*?", "?" -> "." and fifteen characters
// escaped + "$": a wildcard must match the whole name.
std::string WildcardToPattern(std::string_view wildcard);

// The text for a compile result code; "Unknown error" for any other value.
std::string FilterErrorText(int code);

// Appends every accepted file under the folder (sub-folders too with
// recurse), depth-first in pre-order, in each folder's enumeration order.
// Directories are never listed; links to folders are not followed. A filter
// that does not compile empties `results`, is shown through the sink (standard
// error when none is given) and ends the whole search.
void SearchFolder(std::vector<std::string>& results, bool recurse, const std::string& folder,
                  std::string_view inclusion, std::string_view exclusion, bool useRegExp,
                  ISearchMessageSink* sink = nullptr);

// The same search handing each file to `take` as it is found, so a search
// over any number of files needs no list of them all. False when a filter
// error ended it (what `take` received by then is not the whole result).
// With resolveLinks a link to a file is handed on as the file the kernel
// reaches through it (platform::ResolvePath), for callers that list files to
// convert; the folder should then be a resolved one too.
bool SearchFolderEach(const std::function<void(std::string&&)>& take, bool recurse,
                      const std::string& folder, std::string_view inclusion,
                      std::string_view exclusion, bool useRegExp,
                      ISearchMessageSink* sink = nullptr, bool resolveLinks = false);

} // namespace varnolt
