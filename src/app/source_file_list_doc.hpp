// The list of files the next conversion run converts, with their base folders.
#pragma once

#include "convert/controller_base.hpp"

#include <string>
#include <vector>

namespace varnolt {

class CSourceFileListDoc : public ISourceFileList {
public:
    // -1 when the path is already listed, else the new entry's index. Paths
    // compare exactly: POSIX file systems are case-sensitive, so two names
    // that differ in case are two files.
    int AddFile(const std::string& path, const std::string& baseFolder = {});

    std::string GetPath(int index) const override;
    std::string GetBaseFolder(int index) const override;
    int GetCount() const override { return static_cast<int>(m_arrPaths.size()); }
    void RemoveAt(int index);
    void RemoveAll();

private:
    std::vector<std::string> m_arrPaths;
    std::vector<std::string> m_arrBaseFolders;
};

} // namespace varnolt
