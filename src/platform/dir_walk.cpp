// Folder enumeration on POSIX: readdir with d_type, fstatat where needed.
#include "platform/dir_walk.hpp"

#include <cstdint>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

namespace varnolt::platform {

CFileFind::~CFileFind() {
    CloseDirectory();
}

bool CFileFind::FindFile(const std::string& folder) {
    Close();
    m_strFolder = folder;
    if (m_strFolder.empty() || m_strFolder.back() != '/') {
        m_strFolder += '/';
    }
    m_pDir = ::opendir(m_strFolder.c_str());
    if (m_pDir == nullptr) {
        return false;
    }
    m_bOpen = true;
    return FindNextFile();
}

bool CFileFind::FindNextFile() {
    if (!m_bOpen) {
        return false;
    }
    if (m_nNext >= m_strEntries.size()) {
        m_strEntries.clear();
        m_nNext = 0;
        ReadEntries(kBatch);
    }
    if (m_nNext >= m_strEntries.size()) {
        Close();
        return false;
    }
    m_eKind = static_cast<Kind>(m_strEntries[m_nNext]);
    m_strName.assign(m_strEntries.c_str() + m_nNext + 1);
    m_nNext += m_strName.size() + 2;
    if (m_eKind == Kind::Directory && !IsDots()) {
        // The caller may descend into it now: the rest of this folder is
        // read first, so a search of any depth holds one descriptor.
        ReadEntries(SIZE_MAX);
    }
    return true;
}

void CFileFind::Close() {
    m_bOpen = false;
    CloseDirectory();
    m_strEntries.clear();
    m_strEntries.shrink_to_fit();
    m_nNext = 0;
}

std::string CFileFind::GetFilePath() const {
    return m_strFolder + m_strName;
}

void CFileFind::CloseDirectory() {
    if (m_pDir != nullptr) {
        ::closedir(static_cast<DIR*>(m_pDir));
        m_pDir = nullptr;
    }
}

void CFileFind::ReadEntries(std::size_t count) {
    DIR* dir = static_cast<DIR*>(m_pDir);
    if (dir == nullptr) {
        return;
    }
    const int fd = ::dirfd(dir);
    for (std::size_t n = 0; n < count; ++n) {
        const dirent* entry = ::readdir(dir);
        if (entry == nullptr) {
            CloseDirectory();
            return;
        }
        unsigned char type = entry->d_type;
        struct stat st {};
        if (type == DT_UNKNOWN) {
            // Some file systems leave the type to a stat call.
            if (::fstatat(fd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0) {
                type = S_ISDIR(st.st_mode)   ? DT_DIR
                       : S_ISREG(st.st_mode) ? DT_REG
                       : S_ISLNK(st.st_mode) ? DT_LNK
                                             : DT_UNKNOWN;
            }
        }
        Kind kind = Kind::Other;
        if (type == DT_LNK) {
            // A link to a file is found like the file; any other link is
            // left alone (a link to a folder could make the search loop).
            if (::fstatat(fd, entry->d_name, &st, 0) == 0 && S_ISREG(st.st_mode)) {
                kind = Kind::LinkToFile;
            }
        } else if (type == DT_DIR) {
            kind = Kind::Directory;
        } else if (type == DT_REG) {
            kind = Kind::File;
        }
        // Devices, pipes and sockets stay Other: opening a pipe would block a
        // conversion run.
        m_strEntries += static_cast<char>(kind);
        m_strEntries += entry->d_name;
        m_strEntries += '\0';
    }
}

} // namespace varnolt::platform
