// Loading the entity names from the built-in table, and looking them up.
#include "codecs/html_entity_map.hpp"

#include "codecs/html_entity_table.hpp"

#include <cstdio>
#include <cstdlib>

namespace varnolt {

namespace {

std::uint32_t ReadLe32(const unsigned char* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

constexpr std::size_t kRecordHeader = 12;

// The entries every HTML document may use that the table leaves to the loader.
struct SBuiltIn {
    const char16_t* pszName;
    std::uint32_t nCode;
};
constexpr SBuiltIn kAddedEntities[] = {
    {u"lt", 60}, {u"gt", 62}, {u"amp", 38}, {u"quot", 34}, {u"nbsp", 160}};

} // namespace

bool ParseEntityTable(const unsigned char* bytes, std::size_t size,
                      std::vector<SEntityRecord>& records) {
    std::size_t pos = 0;
    while (size - pos >= kRecordHeader) {
        const std::uint32_t length = ReadLe32(bytes + pos);
        const std::uint32_t code = ReadLe32(bytes + pos + 4);
        pos += kRecordHeader;
        if (length == 0) {
            return true;
        }
        if (length > size - pos) {
            return false;
        }
        records.push_back({std::string(reinterpret_cast<const char*>(bytes + pos), length), code});
        pos += length;
    }
    return false;
}

CHtmlEntityMap::CHtmlEntityMap() : m_names(kBuckets), m_codes(kBuckets) {}

void CHtmlEntityMap::Load() {
    std::vector<SEntityRecord> records;
    if (!ParseEntityTable(kHtmlEntityTable, kHtmlEntityTableSize, records)) {
        // The table is built into the program; a damaged one is a build fault.
        std::fputs("Unexpected internal Error: the HTML entity table is damaged\n", stderr);
        std::abort();
    }
    for (const SEntityRecord& record : records) {
        // Names are ASCII: widening each byte is the whole conversion.
        const std::u16string name(record.strName.begin(), record.strName.end());
        m_names.emplace(name, record.nCode);
        m_codes.emplace(record.nCode, name);
    }
    m_bLoaded = true;
    for (const SBuiltIn& entry : kAddedEntities) {
        m_names.emplace(entry.pszName, entry.nCode);
        m_codes.emplace(entry.nCode, entry.pszName);
    }
}

bool CHtmlEntityMap::FindCode(std::u16string_view name, std::uint32_t& code) {
    if (!m_bLoaded) {
        Load();
    }
    const auto it = m_names.find(name);
    if (it == m_names.end()) {
        return false;
    }
    code = it->second;
    return true;
}

const std::u16string* CHtmlEntityMap::FindName(std::uint32_t code) {
    if (!m_bLoaded) {
        Load();
    }
    const auto it = m_codes.find(code);
    return it == m_codes.end() ? nullptr : &it->second;
}

} // namespace varnolt
