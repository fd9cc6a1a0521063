// The HTML 4.01 entity names, read from the built-in table on first use.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace varnolt {

struct SEntityRecord {
    std::string strName;
    std::uint32_t nCode = 0;
};

// Reads the records of an entity table (see html_entity_table.hpp) up to its
// end record. Returns false, with the records read so far, when a record runs
// past the end of the bytes or the end record is missing.
bool ParseEntityTable(const unsigned char* bytes, std::size_t size,
                      std::vector<SEntityRecord>& records);

class CHtmlEntityMap {
public:
    static constexpr std::size_t kBuckets = 349;

    CHtmlEntityMap();
    virtual ~CHtmlEntityMap() = default;

    // Both load the table first when it has not been loaded yet.
    // The code point of a name (case-sensitive), or false.
    bool FindCode(std::u16string_view name, std::uint32_t& code);
    // The name of a code point, or null.
    const std::u16string* FindName(std::uint32_t code);

    bool IsLoaded() const { return m_bLoaded; }
    std::size_t Size() const { return m_names.size(); }

private:
    struct SViewHash {
        using is_transparent = void;
        std::size_t operator()(std::u16string_view s) const {
            return std::hash<std::u16string_view>{}(s);
        }
    };

    void Load();

    std::unordered_map<std::u16string, std::uint32_t, SViewHash, std::equal_to<>> m_names;
    std::unordered_map<std::uint32_t, std::u16string> m_codes;
    bool m_bLoaded = false;
};

} // namespace varnolt
