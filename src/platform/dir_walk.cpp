// Folder enumeration on POSIX: readdir with d_type, fstatat where needed.
#include "platform/dir_walk.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

namespace varnolt::platform {

CFileFind::~CFileFind() = default;

bool CFileFind::FindFile(const std::string& folder) {
    Close();
    m_strFolder = folder;
    if (m_strFolder.empty() || m_strFolder.back() != '/') {
        m_strFolder += '/';
    }
    if (!Load(m_strFolder)) {
        return false;
    }
    m_bOpen = true;
    return FindNextFile();
}

bool CFileFind::FindNextFile() {
    if (!m_bOpen || m_nNext >= m_strEntries.size()) {
        Close();
        return false;
    }
    m_eKind = static_cast<Kind>(m_strEntries[m_nNext]);
    m_strName.assign(m_strEntries.c_str() + m_nNext + 1);
    m_nNext += m_strName.size() + 2;
    return true;
}

void CFileFind::Close() {
    m_bOpen = false;
    m_strEntries.clear();
    m_strEntries.shrink_to_fit();
    m_nNext = 0;
}

std::string CFileFind::GetFilePath() const {
    return m_strFolder + m_strName;
}

bool CFileFind::Load(const std::string& folder) {
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) {
        return false;
    }
    const int fd = ::dirfd(dir);
    while (const dirent* entry = ::readdir(dir)) {
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
                kind = Kind::File;
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
    ::closedir(dir);
    return !m_strEntries.empty();
}

} // namespace varnolt::platform
