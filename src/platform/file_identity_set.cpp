// A set of file identities: appended freely, sorted on the next look-up.
#include "platform/file_identity_set.hpp"

#include <algorithm>

namespace varnolt::platform {

void CFileIdentitySet::Add(const FileIdentity& identity) {
    std::lock_guard lock(m_lock);
    m_ids.push_back(identity);
}

void CFileIdentitySet::AddPath(const std::string& path) {
    if (const auto identity = IdentityOf(path)) {
        Add(*identity);
    }
}

void CFileIdentitySet::SortLocked() const {
    if (m_nSorted == m_ids.size()) {
        return;
    }
    std::sort(m_ids.begin(), m_ids.end());
    m_ids.erase(std::unique(m_ids.begin(), m_ids.end()), m_ids.end());
    m_nSorted = m_ids.size();
}

bool CFileIdentitySet::Contains(const FileIdentity& identity) const {
    std::lock_guard lock(m_lock);
    SortLocked();
    return std::binary_search(m_ids.begin(), m_ids.end(), identity);
}

bool CFileIdentitySet::ContainsPath(const std::string& path) const {
    const auto identity = IdentityOf(path);
    return identity && Contains(*identity);
}

} // namespace varnolt::platform
