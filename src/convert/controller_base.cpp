// CControllerBase: run options and the current-controller pointer.
#include "convert/controller_base.hpp"

#include <atomic>

namespace varnolt {
namespace {

std::atomic<const CControllerBase*> s_pCurrentController{nullptr};

} // namespace

CControllerBase::CControllerBase(const ISourceFileList* fileList, std::int32_t codePage,
                                 int outputOption, std::string outputArg, int unicodeFormat,
                                 bool utf8Meta, bool addBOM, bool entityToUnicode)
    : m_bEntityToUnicode(entityToUnicode), m_bAddBOM(addBOM),
      m_bUtf8Meta(utf8Meta && unicodeFormat == kFormatUtf8), m_nUnicodeFormat(unicodeFormat),
      m_strOutputArg(std::move(outputArg)), m_nOutputOption(outputOption), m_nCodePage(codePage),
      m_pFileList(fileList) {}

CControllerBase::~CControllerBase() {
    // A controller never outlives its registration.
    const CControllerBase* self = this;
    s_pCurrentController.compare_exchange_strong(self, nullptr);
}

COutputOptions CControllerBase::MakeOutputOptions(int overwriteRule) const {
    COutputOptions options;
    options.nOutputOption = m_nOutputOption;
    options.nUnicodeFormat = m_nUnicodeFormat;
    options.strPrefixOrFolder = m_strOutputArg;
    options.bAddBOM = m_bAddBOM;
    options.nOverwriteRule = overwriteRule;
    options.pPlaced = m_pPlacedFiles.get();
    return options;
}

const CControllerBase* CControllerBase::GetCurrent() {
    return s_pCurrentController.load();
}

void CControllerBase::SetCurrent(const CControllerBase* controller) {
    s_pCurrentController.store(controller);
}

} // namespace varnolt
