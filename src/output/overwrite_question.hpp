// The question asked when a destination exists under the rule Ask, and the
// run-wide "Overwrite All" answer.
#pragma once

#include <string_view>

namespace varnolt {

struct OverwriteAnswer {
    bool bOverwrite = false;
    bool bApplyToAll = false; // "Overwrite All" ticked; only counts with bOverwrite
};

// Implemented by the GUI: shows the yes/no question with the apply-to-all
// choice. Called under the process-wide question lock, one worker at a time.
class IOverwriteQuestion {
public:
    virtual ~IOverwriteQuestion() = default;
    virtual OverwriteAnswer AskOverwrite(std::string_view message) = 0;
};

// True to overwrite. Under one process-wide lock: true at once when
// s_bOverwriteAll is set; otherwise asks (no question object counts as "no")
// and sets s_bOverwriteAll when the user overwrites and applies it to all.
bool ConfirmOverwrite(IOverwriteQuestion* question, std::string_view message);

// Clears s_bOverwriteAll; every run does this when it starts.
void ClearOverwriteAll();
bool IsOverwriteAllSet();

} // namespace varnolt
