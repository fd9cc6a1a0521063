// The interactive run's controller: converts the list on the progress
// dialog's worker thread, reports progress and honours cancel.
#pragma once

#include "convert/controller_base.hpp"

#include <atomic>
#include <string>

namespace varnolt {

class CAppSettings;
class IOverwriteQuestion;

// What the progress dialog receives (posted as messages by the GUI).
class IProgressSink {
public:
    virtual ~IProgressSink() = default;
    virtual void FileBegun() = 0;   // once per file begun, before any work on it
    virtual void RunFinished() = 0; // once, after every worker has left the loop
};

class CConvController : public CControllerBase {
public:
    // `owner` is the dialog that made the controller; `question` answers the
    // overwrite question (rule Ask). Clears s_bCancelRequested.
    CConvController(void* owner, const ISourceFileList* fileList, std::int32_t codePage,
                    int outputOption, std::string outputArg, int unicodeFormat, bool utf8Meta,
                    bool addBOM, bool entityToUnicode, CAppSettings& settings,
                    IOverwriteQuestion* question);

    virtual bool Run();

    IProgressSink* m_hProgressWnd = nullptr;
    void* m_pOwnerDlg;

    // Set by the progress dialog's cancel; read before each file.
    static std::atomic<bool> s_bCancelRequested;

private:
    CAppSettings& m_settings;
    IOverwriteQuestion* m_pQuestion;
};

} // namespace varnolt
