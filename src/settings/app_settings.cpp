// Settings store: lazy loading, type rules and write-back at orderly exit.
#include "settings/app_settings.hpp"

#include "platform/text_utf.hpp"

#include <cstring>

namespace varnolt {

using platform::RegQuery;
using platform::RegValue;

CRegSetting::CRegSetting(CAppSettings& store, std::string name)
    : m_store(store), m_pLock(&store.m_lock), m_strName(std::move(name)) {}

bool CRegSetting::IsDirty() const {
    std::lock_guard lock(*m_pLock);
    return m_bDirty;
}

bool CRegSetting::IsLoaded() const {
    std::lock_guard lock(*m_pLock);
    return m_bLoaded;
}

namespace {

// Queries a 4-byte REG_DWORD; anything else (missing, longer, shorter, other
// type, no key) is a failed read.
bool QueryDword(platform::CRegistryFile& key, const std::string& name, std::uint32_t& out) {
    std::uint8_t buffer[4];
    std::uint32_t type = 0;
    std::size_t size = 0;
    if (key.Query(name, type, buffer, sizeof buffer, size) != RegQuery::Ok ||
        type != platform::kRegDword || size != 4) {
        return false;
    }
    out = buffer[0] | (buffer[1] << 8) | (buffer[2] << 16) |
          (static_cast<std::uint32_t>(buffer[3]) << 24);
    return true;
}

RegValue DwordValue(std::uint32_t n) {
    return {platform::kRegDword,
            {static_cast<std::uint8_t>(n), static_cast<std::uint8_t>(n >> 8),
             static_cast<std::uint8_t>(n >> 16), static_cast<std::uint8_t>(n >> 24)}};
}

} // namespace

CRegDwordSetting::CRegDwordSetting(CAppSettings& store, std::string name, std::int32_t defaultValue)
    : CRegSetting(store, std::move(name)), m_nValue(defaultValue), m_nDefault(defaultValue) {}

void CRegDwordSetting::LoadLocked() {
    if (m_bLoaded) {
        return;
    }
    std::uint32_t raw = 0;
    if (QueryDword(m_store.m_key, m_strName, raw)) {
        m_nValue = static_cast<std::int32_t>(raw);
        m_bLoaded = true;
    } else {
        m_nValue = m_nDefault;
        m_bDirty = true;
    }
}

std::int32_t CRegDwordSetting::Get() {
    std::lock_guard lock(*m_pLock);
    LoadLocked();
    return m_nValue;
}

void CRegDwordSetting::Set(std::int32_t value) {
    std::lock_guard lock(*m_pLock);
    LoadLocked();
    if (value != m_nValue) {
        m_nValue = value;
        m_bDirty = true;
        m_bLoaded = true;
    }
}

bool CRegDwordSetting::Write() {
    std::lock_guard lock(*m_pLock);
    if (!m_bDirty) {
        return true;
    }
    m_bDirty = false;
    return m_store.m_key.SetValue(m_strName, DwordValue(static_cast<std::uint32_t>(m_nValue)));
}

CRegBoolSetting::CRegBoolSetting(CAppSettings& store, std::string name, bool defaultValue)
    : CRegSetting(store, std::move(name)), m_bValue(defaultValue), m_bDefault(defaultValue) {}

void CRegBoolSetting::LoadLocked() {
    if (m_bLoaded) {
        return;
    }
    std::uint32_t raw = 0;
    if (QueryDword(m_store.m_key, m_strName, raw)) {
        m_bValue = raw != 0;
        m_bLoaded = true;
    } else {
        m_bValue = m_bDefault;
        m_bDirty = true;
    }
}

bool CRegBoolSetting::Get() {
    std::lock_guard lock(*m_pLock);
    LoadLocked();
    return m_bValue;
}

void CRegBoolSetting::Set(bool value) {
    std::lock_guard lock(*m_pLock);
    LoadLocked();
    if (value != m_bValue) {
        m_bValue = value;
        m_bDirty = true;
        m_bLoaded = true;
    }
}

bool CRegBoolSetting::Write() {
    std::lock_guard lock(*m_pLock);
    if (!m_bDirty) {
        return true;
    }
    m_bDirty = false;
    return m_store.m_key.SetValue(m_strName, DwordValue(m_bValue ? 1 : 0));
}

CRegStringSetting::CRegStringSetting(CAppSettings& store, std::string name,
                                     std::string defaultValue)
    : CRegSetting(store, std::move(name)), m_strValue(defaultValue),
      m_strDefault(std::move(defaultValue)) {}

void CRegStringSetting::LoadLocked() {
    if (m_bLoaded) {
        return;
    }
    std::vector<std::uint8_t> buffer(kGrowChars * 2);
    std::uint32_t type = 0;
    std::size_t size = 0;
    RegQuery result;
    while ((result = m_store.m_key.Query(m_strName, type, buffer.data(), buffer.size(), size)) ==
           RegQuery::MoreData) {
        if (buffer.size() >= kMaxChars * 2) {
            break;
        }
        buffer.resize(buffer.size() + kGrowChars * 2);
    }
    bool valid = result == RegQuery::Ok &&
                 (type == platform::kRegSz || type == platform::kRegExpandSz) && size % 2 == 0;
    if (valid && size > 0) {
        valid = buffer[size - 1] == 0 && buffer[size - 2] == 0;
    }
    if (!valid) {
        m_strValue = m_strDefault;
        m_bDirty = true;
        return;
    }
    // The text is everything up to the first NUL, as a C string read would see it.
    std::u16string text;
    for (std::size_t i = 0; i + 1 < size; i += 2) {
        const char16_t c = static_cast<char16_t>(buffer[i] | (buffer[i + 1] << 8));
        if (c == 0) {
            break;
        }
        text.push_back(c);
    }
    m_strValue = Utf16ToUtf8(text);
    m_bLoaded = true;
}

std::string CRegStringSetting::Get() {
    std::lock_guard lock(*m_pLock);
    LoadLocked();
    return m_strValue;
}

void CRegStringSetting::Set(const std::string& value) {
    std::lock_guard lock(*m_pLock);
    LoadLocked();
    if (value != m_strValue) {
        m_strValue = value;
        m_bDirty = true;
        m_bLoaded = true;
    }
}

bool CRegStringSetting::Write() {
    std::lock_guard lock(*m_pLock);
    if (!m_bDirty) {
        return true;
    }
    m_bDirty = false;
    const std::u16string text = Utf8ToUtf16(m_strValue);
    RegValue value{platform::kRegSz, {}};
    value.data.reserve((text.size() + 1) * 2);
    for (char16_t c : text) {
        value.data.push_back(static_cast<std::uint8_t>(c & 0xFF));
        value.data.push_back(static_cast<std::uint8_t>(c >> 8));
    }
    value.data.push_back(0);
    value.data.push_back(0);
    return m_store.m_key.SetValue(m_strName, value);
}

CRegBinarySetting::CRegBinarySetting(CAppSettings& store, std::string name)
    : CRegSetting(store, std::move(name)) {}

bool CRegBinarySetting::Write() {
    std::lock_guard lock(*m_pLock);
    m_bDirty = false;
    return true;
}

CAppSettings::CAppSettings() : CAppSettings(platform::DefaultSettingsPath()) {}

CAppSettings::CAppSettings(std::string path)
    : Encoding(*this, "Encoding", 0), CodePage(*this, "CodePage", 0),
      OutputOption(*this, "OutputOption", 1), PrependSource(*this, "PrependSource", "_org_"),
      PrependDest(*this, "PrependDest", "_unicode_"), OutputFolder(*this, "OutputFolder", ""),
      UnicodeFormat(*this, "UnicodeFormat", 2), UTF8Option(*this, "UTF8Option", 1),
      AddBOM(*this, "AddBOM", 1), EntityToUnicode(*this, "EntityToUnicode", 0),
      Version(*this, "Version", 0), DisableMP(*this, "DisableMP", false),
      NoHtmlComment(*this, "NoHtmlComment", false),
      HtmlFileExt(*this, "HtmlFileExt", kDefaultHtmlFileExt), NoWarning(*this, "NoWarning", false),
      LogPathname(*this, "LogPathname", ""), LogAppend(*this, "LogAppend", false),
      SearchPredefinedFilter(*this, "SearchPredefinedFilter"), CodecOptions(*this, "CodecOptions"),
      UpdateUrl(*this, "UpdateUrl", ""), m_key(std::move(path)) {}

CAppSettings::~CAppSettings() {
    if (m_bKeepFile) {
        return;
    }
    CRegSetting* const settings[] = {&Encoding,        &CodePage,    &OutputOption,
                                     &PrependSource,   &PrependDest, &OutputFolder,
                                     &UnicodeFormat,   &UTF8Option,  &AddBOM,
                                     &EntityToUnicode, &Version,     &DisableMP,
                                     &NoHtmlComment,   &HtmlFileExt, &NoWarning,
                                     &LogPathname,     &LogAppend,   &SearchPredefinedFilter,
                                     &CodecOptions,    &UpdateUrl};
    // Reverse order of the table; write failures are ignored.
    for (auto it = std::rbegin(settings); it != std::rend(settings); ++it) {
        (*it)->Write();
    }
    std::lock_guard lock(m_lock);
    m_key.Flush();
}

bool CAppSettings::ReadBinary(const CRegBinarySetting& setting, std::vector<std::uint8_t>& data) {
    std::lock_guard lock(m_lock);
    std::uint32_t type = 0;
    std::size_t size = 0;
    std::vector<std::uint8_t> buffer(64);
    RegQuery result;
    while ((result = m_key.Query(setting.Name(), type, buffer.data(), buffer.size(), size)) ==
           RegQuery::MoreData) {
        buffer.resize(size);
    }
    if (result != RegQuery::Ok || type != platform::kRegBinary) {
        return false;
    }
    buffer.resize(size);
    data = std::move(buffer);
    return true;
}

bool CAppSettings::WriteBinary(const CRegBinarySetting& setting,
                               const std::vector<std::uint8_t>& data) {
    std::lock_guard lock(m_lock);
    return m_key.SetValue(setting.Name(), RegValue{platform::kRegBinary, data}) && m_key.Flush();
}

namespace {

constexpr std::string_view kBlanks = " \t\n\v\f\r";

std::string_view TrimBlanks(std::string_view text) {
    const std::size_t first = text.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

} // namespace

std::vector<std::string> SplitExtensionList(std::string_view extensionList) {
    std::string list;
    for (char c : TrimBlanks(extensionList)) {
        if (c == ':') {
            list.push_back('|');
        } else if (c != '.') {
            list.push_back(c);
        }
    }
    std::vector<std::string> extensions;
    std::size_t start = 0;
    while (start <= list.size()) {
        std::size_t end = list.find('|', start);
        if (end == std::string::npos) {
            end = list.size();
        }
        if (end > start) {
            extensions.emplace_back(list, start, end - start);
        }
        start = end + 1;
    }
    return extensions;
}

bool IsExtensionInList(const std::string& extensionList, const std::string& extension) {
    // An empty piece (from "||") is never in the list, so a file without an
    // extension never counts as HTML.
    for (const std::string& token : SplitExtensionList(extensionList)) {
        if (EqualsIgnoringAsciiCase(token, extension)) {
            return true;
        }
    }
    return false;
}

std::string JoinExtensionList(const std::vector<std::string>& extensions) {
    std::string value;
    for (const std::string& extension : extensions) {
        std::string piece;
        for (char c : TrimBlanks(extension)) {
            if (c != '.') {
                piece.push_back(c);
            }
        }
        if (piece.empty()) {
            continue;
        }
        if (!value.empty()) {
            value.push_back('|');
        }
        value += piece;
    }
    return value;
}

std::string CleanExtensionInput(std::string_view text) {
    text = TrimBlanks(text);
    const std::size_t first = text.find_first_not_of(std::string(kBlanks) + '.');
    return first == std::string_view::npos ? std::string() : std::string(text.substr(first));
}

bool IsValidExtension(std::string_view extension) {
    return extension.find_first_of("\\/:*?\"<>|") == std::string_view::npos;
}

} // namespace varnolt
