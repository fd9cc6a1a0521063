// Interactive controller.
#include "convert/conv_controller.hpp"

#include "convert/conversion_job.hpp"
#include "convert/log.hpp"
#include "output/overwrite_question.hpp"

namespace varnolt {

std::atomic<bool> CConvController::s_bCancelRequested{false};

CConvController::CConvController(void* owner, const ISourceFileList* fileList,
                                 std::int32_t codePage, int outputOption, std::string outputArg,
                                 int unicodeFormat, bool utf8Meta, bool addBOM,
                                 bool entityToUnicode, CAppSettings& settings,
                                 IOverwriteQuestion* question)
    : CControllerBase(fileList, codePage, outputOption, std::move(outputArg), unicodeFormat,
                      utf8Meta, addBOM, entityToUnicode),
      m_pOwnerDlg(owner), m_settings(settings), m_pQuestion(question) {
    s_bCancelRequested.store(false);
}

bool CConvController::Run() {
    ClearOverwriteAll();
    struct Progress : IJobObserver {
        IProgressSink* sink;
        void FileBegun() override {
            if (sink != nullptr) {
                sink->FileBegun();
            }
        }
    } progress;
    progress.sink = m_hProgressWnd;

    JobOptions options;
    options.nOverwriteRule = kRuleAsk;
    options.pQuestion = m_pQuestion;
    options.bInteractive = true;
    options.pCancel = &s_bCancelRequested;
    RunConversionJob(*this, m_settings, CLog::Instance(), options, &progress);
    if (m_hProgressWnd != nullptr) {
        m_hProgressWnd->RunFinished();
    }
    return true;
}

} // namespace varnolt
