// Source file list document.
#include "app/source_file_list_doc.hpp"

#include <algorithm>
#include <stdexcept>

namespace varnolt {

int CSourceFileListDoc::AddFile(const std::string& path, const std::string& baseFolder) {
    if (std::find(m_arrPaths.begin(), m_arrPaths.end(), path) != m_arrPaths.end()) {
        return -1;
    }
    m_arrPaths.push_back(path);
    m_arrBaseFolders.push_back(baseFolder);
    return static_cast<int>(m_arrPaths.size()) - 1;
}

std::string CSourceFileListDoc::GetPath(int index) const {
    return m_arrPaths.at(static_cast<std::size_t>(index));
}

std::string CSourceFileListDoc::GetBaseFolder(int index) const {
    return m_arrBaseFolders.at(static_cast<std::size_t>(index));
}

void CSourceFileListDoc::RemoveAt(int index) {
    if (index < 0 || index >= GetCount()) {
        throw std::out_of_range("CSourceFileListDoc::RemoveAt");
    }
    m_arrPaths.erase(m_arrPaths.begin() + index);
    m_arrBaseFolders.erase(m_arrBaseFolders.begin() + index);
}

void CSourceFileListDoc::RemoveAll() {
    m_arrPaths.clear();
    m_arrBaseFolders.clear();
}

} // namespace varnolt
