// A set of file identities shared by the workers of a run: the run's
// sources, and the destinations the run placed.
#pragma once

#include "platform/file_io.hpp"

#include <mutex>
#include <vector>

namespace varnolt::platform {

// 16 bytes per file, kept sorted for the look-ups, so a run of 100,000 files
// costs a couple of megabytes at most. Safe to use from several threads.
class CFileIdentitySet {
public:
    void Add(const FileIdentity& identity);
    // Adds the identity of the file a path names; nothing when there is none.
    void AddPath(const std::string& path);
    bool Contains(const FileIdentity& identity) const;
    // Whether the file a path names now is in the set.
    bool ContainsPath(const std::string& path) const;

private:
    void SortLocked() const;

    mutable std::mutex m_lock;
    mutable std::vector<FileIdentity> m_ids;
    mutable std::size_t m_nSorted = 0; // m_ids[0, m_nSorted) is sorted and unique
};

} // namespace varnolt::platform
