// The list of files the next conversion run converts, with their base folders.
#pragma once

#include "convert/controller_base.hpp"

#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace varnolt {

// A run may list hundreds of thousands of files, so an entry costs little:
// its folder (and base folder) is stored once per distinct folder, its name in
// one shared buffer, and a hash index finds a listed path without a scan.
class CSourceFileListDoc : public ISourceFileList {
public:
    // Names are kept in chunks of this size (tests use small ones).
    explicit CSourceFileListDoc(std::size_t chunkBytes = std::size_t{1} << 20)
        : m_nChunkBytes(chunkBytes) {}

    // -1 when the path is already listed, else the new entry's index. Paths
    // compare exactly: POSIX file systems are case-sensitive, so two names
    // that differ in case are two files.
    int AddFile(const std::string& path, const std::string& baseFolder = {});
    std::string GetPath(int index) const override;
    std::string GetBaseFolder(int index) const override;
    int GetCount() const override { return static_cast<int>(m_arrEntries.size()); }
    void RemoveAt(int index);
    // Removes the entries from `index` to the end.
    void RemoveFrom(int index);
    void RemoveAll();

private:
    struct CEntry {
        // chunk index << 32 | offset in it; a name ends where the next one in
        // the same chunk starts, or at the chunk's end
        std::uint64_t nName;
        std::uint32_t nFolder; // index in m_arrFolders ("" is 0)
        std::uint32_t nBase;   // base folder, index in m_arrFolders
    };

    std::uint32_t InternFolder(std::string_view folder);
    std::string_view NameAt(std::size_t index) const;
    // The slot that holds the entry for (folder, name), or the empty slot
    // where it would go.
    std::size_t FindSlot(std::uint32_t folder, std::string_view name) const;
    void RebuildIndex();

    std::deque<CEntry> m_arrEntries; // grows without copying what it holds
    // The names, back to back, in chunks that are never reallocated: growing
    // one buffer would copy it and leave the old copy in the heap.
    std::vector<std::string> m_arrChunks;
    std::size_t m_nChunkBytes;
    std::vector<std::string> m_arrFolders;
    std::unordered_map<std::string, std::uint32_t> m_mapFolders;
    std::vector<std::uint32_t> m_arrSlots; // entry index + 1; 0 is free
};

} // namespace varnolt
