// The options of one conversion run, shared by both controllers.
#pragma once

#include "output/output_options.hpp"
#include "platform/file_identity_set.hpp"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace varnolt {

// The files of a run: path and base folder of entry i. The source file list
// document provides it; the controllers only read it.
class ISourceFileList {
public:
    virtual ~ISourceFileList() = default;
    virtual int GetCount() const = 0;
    virtual std::string GetPath(int index) const = 0;
    virtual std::string GetBaseFolder(int index) const = 0;
};

// Copied in when the controller is made and never changed during the run.
class CControllerBase {
public:
    // The meta flag is kept only for UTF-8 output.
    CControllerBase(const ISourceFileList* fileList, std::int32_t codePage, int outputOption,
                    std::string outputArg, int unicodeFormat, bool utf8Meta, bool addBOM,
                    bool entityToUnicode);
    virtual ~CControllerBase();
    CControllerBase(const CControllerBase&) = delete;
    CControllerBase& operator=(const CControllerBase&) = delete;

    // What one worker's writer needs of the run.
    COutputOptions MakeOutputOptions(int overwriteRule) const;

    // The controller of the run under way (the log header prints its
    // options); null when none. The application object sets it.
    static const CControllerBase* GetCurrent();
    static void SetCurrent(const CControllerBase* controller);

    bool m_bEntityToUnicode;
    bool m_bAddBOM;
    bool m_bUtf8Meta;
    std::int32_t m_nUnicodeFormat;
    std::string m_strOutputArg;
    std::int32_t m_nOutputOption;
    std::int32_t m_nCodePage;
    const ISourceFileList* m_pFileList; // not owned
    // Every file is read and decoded and gets its record, but nothing is
    // written except the log: no temporary file, folder, backup or output.
    bool m_bDryRun = false;
    // Turns the guards off: files that seem not to be in the source
    // encoding (see decode/source_guards.hpp) are converted all the same.
    bool m_bForce = false;
    // The run's own files (profile, log) by identity: never converted.
    std::vector<platform::FileIdentity> m_runOwnFiles;
    // The destinations the run placed, noted by the writers as they go.
    std::shared_ptr<platform::CFileIdentitySet> m_pPlacedFiles =
        std::make_shared<platform::CFileIdentitySet>();
};

} // namespace varnolt
