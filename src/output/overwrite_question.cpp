// s_bOverwriteAll and the lock that serialises the overwrite question.
#include "output/overwrite_question.hpp"

#include <mutex>

namespace varnolt {
namespace {

std::mutex s_overwriteMutex;
bool s_bOverwriteAll = false; // guarded by s_overwriteMutex

} // namespace

bool ConfirmOverwrite(IOverwriteQuestion* question, std::string_view message) {
    std::lock_guard lock(s_overwriteMutex);
    if (s_bOverwriteAll) {
        return true;
    }
    if (question == nullptr) {
        return false;
    }
    const OverwriteAnswer answer = question->AskOverwrite(message);
    if (answer.bOverwrite && answer.bApplyToAll) {
        s_bOverwriteAll = true;
    }
    return answer.bOverwrite;
}

void ClearOverwriteAll() {
    std::lock_guard lock(s_overwriteMutex);
    s_bOverwriteAll = false;
}

bool IsOverwriteAllSet() {
    std::lock_guard lock(s_overwriteMutex);
    return s_bOverwriteAll;
}

} // namespace varnolt
