// The file error every layer throws and catches: cause, OS error code, file.
#pragma once

#include <cerrno>
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
    case ENOENT:
        return CFileException::kFileNotFound;
    case EPERM:
    case EACCES:
    case EROFS:
        return CFileException::kAccessDenied;
    case 28: // ENOSPC
    case EDQUOT:
        return CFileException::kDiskFull;
    case EEXIST:
        return CFileException::kAlreadyExists;
    case ENAMETOOLONG:
        return CFileException::kBadPath;
    default:
        return CFileException::kGeneric;
    }
}

} // namespace varnolt
