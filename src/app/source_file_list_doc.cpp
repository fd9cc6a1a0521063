// Source file list document: compact entries and an open-addressing index.
#include "app/source_file_list_doc.hpp"

#include <algorithm>
#include <functional>
#include <stdexcept>

namespace varnolt {
namespace {

// The folder part keeps its final "/", so folder + name is the path again.
std::size_t NameStart(std::string_view path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? 0 : slash + 1;
}

std::size_t ChunkOf(std::uint64_t name) {
    return static_cast<std::size_t>(name >> 32);
}

std::size_t OffsetOf(std::uint64_t name) {
    return static_cast<std::size_t>(name & 0xFFFFFFFFu);
}

std::size_t HashOf(std::uint32_t folder, std::string_view name) {
    return std::hash<std::string_view>{}(name) ^ (folder * 0x9E3779B97F4A7C15ull);
}

} // namespace

std::uint32_t CSourceFileListDoc::InternFolder(std::string_view folder) {
    if (m_arrFolders.empty()) {
        m_arrFolders.emplace_back();
        m_mapFolders.emplace(std::string(), 0);
    }
    if (folder.empty()) {
        return 0; // the base folder of every command-line entry
    }
    // Files of one folder usually arrive together.
    if (m_arrFolders.back() == folder) {
        return static_cast<std::uint32_t>(m_arrFolders.size() - 1);
    }
    const auto [it, added] =
        m_mapFolders.emplace(std::string(folder), static_cast<std::uint32_t>(m_arrFolders.size()));
    if (added) {
        m_arrFolders.emplace_back(folder);
    }
    return it->second;
}

std::string_view CSourceFileListDoc::NameAt(std::size_t index) const {
    const std::uint64_t at = m_arrEntries[index].nName;
    const std::string& chunk = m_arrChunks[ChunkOf(at)];
    const std::size_t start = OffsetOf(at);
    const bool nextInChunk =
        index + 1 < m_arrEntries.size() && ChunkOf(m_arrEntries[index + 1].nName) == ChunkOf(at);
    const std::size_t end = nextInChunk ? OffsetOf(m_arrEntries[index + 1].nName) : chunk.size();
    return std::string_view(chunk).substr(start, end - start);
}

std::size_t CSourceFileListDoc::FindSlot(std::uint32_t folder, std::string_view name) const {
    const std::size_t mask = m_arrSlots.size() - 1;
    for (std::size_t slot = HashOf(folder, name) & mask;; slot = (slot + 1) & mask) {
        const std::uint32_t held = m_arrSlots[slot];
        if (held == 0) {
            return slot;
        }
        if (m_arrEntries[held - 1].nFolder == folder && NameAt(held - 1) == name) {
            return slot;
        }
    }
}

void CSourceFileListDoc::RebuildIndex() {
    // At most half full, so a probe ends soon at a free slot.
    std::size_t size = 16;
    while (size < m_arrEntries.size() * 2) {
        size *= 2;
    }
    // The old table goes first: never two tables in memory at once.
    m_arrSlots.clear();
    m_arrSlots.shrink_to_fit();
    m_arrSlots.resize(size, 0);
    for (std::size_t i = 0; i < m_arrEntries.size(); ++i) {
        m_arrSlots[FindSlot(m_arrEntries[i].nFolder, NameAt(i))] =
            static_cast<std::uint32_t>(i + 1);
    }
}

int CSourceFileListDoc::AddFile(const std::string& path, const std::string& baseFolder) {
    const std::size_t nameStart = NameStart(path);
    const std::string_view name = std::string_view(path).substr(nameStart);
    const std::uint32_t folder = InternFolder(std::string_view(path).substr(0, nameStart));
    if (m_arrSlots.empty()) {
        RebuildIndex();
    }
    std::size_t slot = FindSlot(folder, name);
    if (m_arrSlots[slot] != 0) {
        return -1;
    }
    if (m_arrEntries.size() >= static_cast<std::size_t>(INT32_MAX)) {
        throw std::length_error("CSourceFileListDoc: too many files");
    }
    if (m_arrChunks.empty() ||
        m_arrChunks.back().size() + name.size() > m_arrChunks.back().capacity()) {
        m_arrChunks.emplace_back().reserve(std::max(m_nChunkBytes, name.size()));
    }
    std::string& chunk = m_arrChunks.back();
    m_arrEntries.push_back(CEntry{(std::uint64_t{m_arrChunks.size() - 1} << 32) | chunk.size(),
                                  folder, InternFolder(baseFolder)});
    chunk.append(name);
    if (m_arrEntries.size() * 2 > m_arrSlots.size()) {
        RebuildIndex();
    } else {
        m_arrSlots[slot] = static_cast<std::uint32_t>(m_arrEntries.size());
    }
    return static_cast<int>(m_arrEntries.size()) - 1;
}

std::string CSourceFileListDoc::GetPath(int index) const {
    const std::size_t at = static_cast<std::size_t>(index);
    std::string path = m_arrFolders[m_arrEntries.at(at).nFolder];
    path += NameAt(at);
    return path;
}

std::string CSourceFileListDoc::GetBaseFolder(int index) const {
    return m_arrFolders[m_arrEntries.at(static_cast<std::size_t>(index)).nBase];
}

void CSourceFileListDoc::RemoveAt(int index) {
    if (index < 0 || index >= GetCount()) {
        throw std::out_of_range("CSourceFileListDoc::RemoveAt");
    }
    const std::size_t at = static_cast<std::size_t>(index);
    const std::size_t nameLength = NameAt(at).size();
    const std::uint64_t name = m_arrEntries[at].nName;
    m_arrChunks[ChunkOf(name)].erase(OffsetOf(name), nameLength);
    for (std::size_t i = at + 1;
         i < m_arrEntries.size() && ChunkOf(m_arrEntries[i].nName) == ChunkOf(name); ++i) {
        m_arrEntries[i].nName -= nameLength;
    }
    m_arrEntries.erase(m_arrEntries.begin() + index);
    RebuildIndex();
}

void CSourceFileListDoc::RemoveFrom(int index) {
    if (index < 0 || index > GetCount()) {
        throw std::out_of_range("CSourceFileListDoc::RemoveFrom");
    }
    if (index < GetCount()) {
        const std::uint64_t name = m_arrEntries[static_cast<std::size_t>(index)].nName;
        m_arrChunks.resize(ChunkOf(name) + 1);
        m_arrChunks.back().resize(OffsetOf(name));
    }
    m_arrEntries.resize(static_cast<std::size_t>(index));
    RebuildIndex();
}

void CSourceFileListDoc::RemoveAll() {
    m_arrEntries.clear();
    m_arrChunks.clear();
    m_arrFolders.clear();
    m_mapFolders.clear();
    m_arrSlots.clear();
}

} // namespace varnolt
