// The exceptions of the decoding pipeline, caught by the source reader.
#pragma once

#include "platform/file_exception.hpp"

#include <exception>

namespace varnolt {

// A byte chunk cannot be decoded (or the reader found a malformed sequence).
class CMbcsToUnicodeException : public std::exception {
public:
    const char* what() const noexcept override { return "invalid multi-byte sequence"; }
};

// A UTF-16 chunk holds an illegal code unit (or the file is malformed UTF-16).
class CUtf16InvalidException : public std::exception {
public:
    const char* what() const noexcept override { return "invalid UTF-16 text"; }
};

// The source grew, shrank or was written to while it was read: the text
// read may mix old and new, so it is not converted.
class CSourceChangedException : public std::exception {
public:
    const char* what() const noexcept override { return "source changed while read"; }
};

// Writing the decoded text to the target failed: the writer's file error, kept
// apart from the source's own file errors so that the reader can tell them apart.
class CFileExceptionFromTargetFileWriter : public CFileException {
public:
    explicit CFileExceptionFromTargetFileWriter(const CFileException& error)
        : CFileException(error.m_cause, error.m_lOsError, error.m_strFileName) {}
};

} // namespace varnolt
