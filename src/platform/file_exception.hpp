// The file error every layer throws and catches: cause, OS error code, file.
#pragma once

#include <stdexcept>
#include <string>

namespace varnolt {

class CFileException : public std::runtime_error {
public:
    enum Cause {
        kGeneric,
        kFileNotFound,
        kAccessDenied,
        kDiskFull,
        kEndOfFile,
        kBadPath,
        kAlreadyExists,
    };

    CFileException(Cause cause, int osError, std::string fileName)
        : std::runtime_error("file error " + std::to_string(osError) + ": " + fileName),
          m_cause(cause), m_lOsError(osError), m_strFileName(std::move(fileName)) {}

    Cause m_cause;
    int m_lOsError;
    std::string m_strFileName;
};

// The cause that best describes an errno value.
inline CFileException::Cause CauseFromErrno(int error) {
    switch (error) {
    case 2: // ENOENT
        return CFileException::kFileNotFound;
    case 1:  // EPERM
    case 13: // EACCES
    case 30: // EROFS
        return CFileException::kAccessDenied;
    case 28:  // ENOSPC
    case 122: // EDQUOT
        return CFileException::kDiskFull;
    case 17: // EEXIST
        return CFileException::kAlreadyExists;
    case 36: // ENAMETOOLONG
        return CFileException::kBadPath;
    default:
        return CFileException::kGeneric;
    }
}

} // namespace varnolt
