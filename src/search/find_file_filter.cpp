// The stored form of the saved searches: a count and one record per entry.
#include "search/find_file_filter.hpp"

#include "platform/text_utf.hpp"
#include "settings/app_settings.hpp"
#include "settings/string_table.hpp"

#include <limits>

namespace varnolt {

namespace {

constexpr std::uint8_t kByteEscape = 0xFF;
constexpr std::uint16_t kWordEscape = 0xFFFF;
constexpr std::uint16_t kUnicodeMark = 0xFFFE;
constexpr std::uint32_t kDwordEscape = 0xFFFFFFFF;
constexpr int kMsgLastUsed = 4012;

// Reads little-endian values from a byte span; every read checks the bytes
// that are left first, so a short value can never be read past its end.
class CReader {
public:
    explicit CReader(std::span<const std::uint8_t> data) : m_data(data) {}

    template <typename T> bool Read(T& value) {
        if (Left() < sizeof(T)) {
            return false;
        }
        std::uint64_t result = 0;
        for (std::size_t i = 0; i < sizeof(T); ++i) {
            result |= std::uint64_t{m_data[m_nPos + i]} << (8 * i);
        }
        m_nPos += sizeof(T);
        value = static_cast<T>(result);
        return true;
    }

    bool ReadCount(std::uint64_t& count) {
        std::uint16_t word = 0;
        if (!Read(word)) {
            return false;
        }
        if (word != kWordEscape) {
            count = word;
            return true;
        }
        return ReadFrom32(count);
    }

    // The length of a string; `wide` is set when the UTF-16 mark came first.
    bool ReadStringLength(std::uint64_t& length, bool& wide) {
        wide = false;
        std::uint8_t byte = 0;
        if (!Read(byte)) {
            return false;
        }
        if (byte != kByteEscape) {
            length = byte;
            return true;
        }
        std::uint16_t word = 0;
        if (!Read(word)) {
            return false;
        }
        if (word == kUnicodeMark) {
            wide = true;
            if (!Read(byte)) {
                return false;
            }
            if (byte != kByteEscape) {
                length = byte;
                return true;
            }
            if (!Read(word)) {
                return false;
            }
        }
        if (word != kWordEscape) {
            length = word;
            return true;
        }
        return ReadFrom32(length);
    }

    bool ReadString(std::u16string& text) {
        std::uint64_t length = 0;
        bool wide = false;
        if (!ReadStringLength(length, wide)) {
            return false;
        }
        const std::size_t left = Left();
        if (wide) {
            if (length > left / 2) {
                return false;
            }
            text.resize(static_cast<std::size_t>(length));
            for (char16_t& unit : text) {
                std::uint16_t value = 0;
                Read(value);
                unit = static_cast<char16_t>(value);
            }
            return true;
        }
        if (length > left) {
            return false;
        }
        const auto* bytes = reinterpret_cast<const char*>(m_data.data() + m_nPos);
        text = Utf8ToUtf16(std::string_view(bytes, static_cast<std::size_t>(length)));
        m_nPos += static_cast<std::size_t>(length);
        return true;
    }

    std::size_t Left() const { return m_data.size() - m_nPos; }

private:
    bool ReadFrom32(std::uint64_t& value) {
        std::uint32_t dword = 0;
        if (!Read(dword)) {
            return false;
        }
        if (dword != kDwordEscape) {
            value = dword;
            return true;
        }
        return Read(value);
    }

    std::span<const std::uint8_t> m_data;
    std::size_t m_nPos = 0;
};

class CWriter {
public:
    template <typename T> void Write(T value) {
        for (std::size_t i = 0; i < sizeof(T); ++i) {
            m_data.push_back(
                static_cast<std::uint8_t>(static_cast<std::uint64_t>(value) >> (8 * i)));
        }
    }

    void WriteCount(std::uint64_t count) {
        if (count < kWordEscape) {
            Write(static_cast<std::uint16_t>(count));
            return;
        }
        Write(kWordEscape);
        WriteFrom32(count);
    }

    void WriteString(const std::u16string& text) {
        Write(kByteEscape);
        Write(kUnicodeMark);
        const std::uint64_t length = text.size();
        if (length < kByteEscape) {
            Write(static_cast<std::uint8_t>(length));
        } else {
            Write(kByteEscape);
            if (length < kUnicodeMark) {
                Write(static_cast<std::uint16_t>(length));
            } else {
                Write(kWordEscape);
                WriteFrom32(length);
            }
        }
        for (const char16_t unit : text) {
            Write(static_cast<std::uint16_t>(unit));
        }
    }

    std::vector<std::uint8_t>& Data() { return m_data; }

private:
    void WriteFrom32(std::uint64_t value) {
        if (value < kDwordEscape) {
            Write(static_cast<std::uint32_t>(value));
            return;
        }
        Write(kDwordEscape);
        Write(value);
    }

    std::vector<std::uint8_t> m_data;
};

bool ReadFlag(CReader& reader, bool& flag) {
    std::uint8_t byte = 0;
    if (!reader.Read(byte)) {
        return false;
    }
    flag = byte != 0;
    return true;
}

} // namespace

bool DecodeSavedSearches(std::span<const std::uint8_t> data,
                         std::vector<CFindFileFilter>& filters) {
    CReader reader(data);
    std::uint64_t count = 0;
    if (!reader.ReadCount(count)) {
        return false;
    }
    // The count is not trusted for a reservation: every entry takes at least
    // ten bytes, so a count larger than the data fails at the end of it.
    std::vector<CFindFileFilter> decoded;
    for (std::uint64_t i = 0; i < count; ++i) {
        CFindFileFilter filter;
        std::uint32_t version = 0;
        if (!reader.Read(version) || !reader.ReadString(filter.strName) ||
            !reader.ReadString(filter.strFolder) || !reader.ReadString(filter.strInclusion) ||
            !reader.ReadString(filter.strExclusion) ||
            !ReadFlag(reader, filter.bSearchSubfolders) || !ReadFlag(reader, filter.bUseRegExp)) {
            return false;
        }
        // Entries written before the folder structure could be kept have no
        // byte for it, and did not keep it.
        filter.bPreserveFolders = false;
        if (version != 0 && version != 1 && !ReadFlag(reader, filter.bPreserveFolders)) {
            return false;
        }
        decoded.push_back(std::move(filter));
    }
    filters = std::move(decoded);
    return true;
}

std::vector<std::uint8_t> EncodeSavedSearches(const std::vector<CFindFileFilter>& filters) {
    CWriter writer;
    writer.WriteCount(filters.size());
    for (const CFindFileFilter& filter : filters) {
        writer.Write(kFindFileFilterVersion);
        writer.WriteString(filter.strName);
        writer.WriteString(filter.strFolder);
        writer.WriteString(filter.strInclusion);
        writer.WriteString(filter.strExclusion);
        writer.Write(static_cast<std::uint8_t>(filter.bSearchSubfolders ? 1 : 0));
        writer.Write(static_cast<std::uint8_t>(filter.bUseRegExp ? 1 : 0));
        writer.Write(static_cast<std::uint8_t>(filter.bPreserveFolders ? 1 : 0));
    }
    return std::move(writer.Data());
}

std::vector<CFindFileFilter> LoadSavedSearches(CAppSettings& settings) {
    std::vector<CFindFileFilter> filters;
    std::vector<std::uint8_t> data;
    if (!settings.ReadBinary(settings.SearchPredefinedFilter, data) ||
        !DecodeSavedSearches(data, filters)) {
        filters.clear();
    }
    if (filters.empty()) {
        CFindFileFilter lastUsed;
        lastUsed.strName = Utf8ToUtf16(LoadString(kMsgLastUsed));
        filters.push_back(std::move(lastUsed));
    }
    return filters;
}

bool StoreSavedSearches(CAppSettings& settings, const std::vector<CFindFileFilter>& filters) {
    return settings.WriteBinary(settings.SearchPredefinedFilter, EncodeSavedSearches(filters));
}

} // namespace varnolt
