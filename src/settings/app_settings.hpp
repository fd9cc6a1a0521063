// The one store of the user's options, kept in the per-user settings file.
//
// Values load lazily on first Get and go back to the file only when the store
// is destroyed at orderly process end, and then only those that changed or had
// to fall back to their default (a missing, mistyped or malformed value is
// replaced by its default at the next orderly exit). One lock serialises every
// access to every setting.
#pragma once

#include "platform/registry_file.hpp"

#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace varnolt {

class CAppSettings;

class CRegSetting {
public:
    CRegSetting(const CRegSetting&) = delete;
    CRegSetting& operator=(const CRegSetting&) = delete;
    virtual ~CRegSetting() = default;

    const std::string& Name() const { return m_strName; }
    bool IsDirty() const;
    bool IsLoaded() const;

    // Used only at destruction of the store: writes a dirty value, clears the
    // dirty flag, and says whether the write succeeded.
    virtual bool Write() = 0;

protected:
    CRegSetting(CAppSettings& store, std::string name);

    CAppSettings& m_store;
    std::mutex* m_pLock;
    std::string m_strName;
    bool m_bDirty = false;
    bool m_bLoaded = false;
};

class CRegDwordSetting : public CRegSetting {
public:
    CRegDwordSetting(CAppSettings& store, std::string name, std::int32_t defaultValue);
    std::int32_t Get();
    void Set(std::int32_t value);
    bool Write() override;

private:
    void LoadLocked();
    std::int32_t m_nValue;
    std::int32_t m_nDefault;
};

class CRegBoolSetting : public CRegSetting {
public:
    CRegBoolSetting(CAppSettings& store, std::string name, bool defaultValue);
    bool Get();
    void Set(bool value);
    bool Write() override;

private:
    void LoadLocked();
    bool m_bValue;
    bool m_bDefault;
};

// Strings are UTF-8 in memory and UTF-16 in the file's value bytes.
class CRegStringSetting : public CRegSetting {
public:
    CRegStringSetting(CAppSettings& store, std::string name, std::string defaultValue);
    std::string Get();
    void Set(const std::string& value);
    bool Write() override;

    // Reading grows its buffer by this many characters up to the maximum; a
    // longer value is a failed read.
    static constexpr std::size_t kGrowChars = 1024;
    static constexpr std::size_t kMaxChars = 1048576;

private:
    void LoadLocked();
    std::string m_strValue;
    std::string m_strDefault;
};

// Binary values are read and written by their owning dialogs directly through
// the store (ReadBinary / WriteBinary); the setting holds only the name.
class CRegBinarySetting : public CRegSetting {
public:
    CRegBinarySetting(CAppSettings& store, std::string name);
    bool Write() override;
};

class CAppSettings {
public:
    // The file of platform::DefaultSettingsPath().
    CAppSettings();
    explicit CAppSettings(std::string path);
    ~CAppSettings();
    CAppSettings(const CAppSettings&) = delete;
    CAppSettings& operator=(const CAppSettings&) = delete;

    // The registry value name is also the field's name.
    CRegDwordSetting Encoding;
    CRegDwordSetting CodePage;
    CRegDwordSetting OutputOption;
    CRegStringSetting PrependSource;
    CRegStringSetting PrependDest;
    CRegStringSetting OutputFolder;
    CRegDwordSetting UnicodeFormat;
    CRegDwordSetting UTF8Option;
    CRegDwordSetting AddBOM;
    CRegDwordSetting EntityToUnicode;
    CRegDwordSetting Version;
    CRegBoolSetting DisableMP;
    CRegBoolSetting NoHtmlComment;
    CRegStringSetting HtmlFileExt;
    CRegBoolSetting NoWarning;
    CRegStringSetting LogPathname;
    CRegBoolSetting LogAppend;
    CRegBinarySetting SearchPredefinedFilter;
    CRegBinarySetting CodecOptions;
    // The address of the update check's version file; empty: the built-in
    // one (kDefaultUpdateUrl), so a stored file never pins an old address.
    CRegStringSetting UpdateUrl;

    // Raw key access for the binary settings' owners. ReadBinary fails when
    // the value is missing or not REG_BINARY; WriteBinary writes at once.
    bool ReadBinary(const CRegBinarySetting& setting, std::vector<std::uint8_t>& data);
    bool WriteBinary(const CRegBinarySetting& setting, const std::vector<std::uint8_t>& data);

    const std::string& Path() const { return m_key.Path(); }
    // Nothing is written back at destruction (a dry run writes no file but
    // its log); values read stay as they are in the file.
    void KeepFileUnchanged() { m_bKeepFile = true; }

private:
    friend class CRegSetting;
    friend class CRegDwordSetting;
    friend class CRegBoolSetting;
    friend class CRegStringSetting;
    friend class CRegBinarySetting;

    // Declared before the settings: they keep pointers to both.
    std::mutex m_lock;
    platform::CRegistryFile m_key;
    bool m_bKeepFile = false;
};

inline constexpr const char* kDefaultUpdateUrl =
    "https://varnolt.example.org/en/download/varnolt_ver.txt";

inline constexpr const char* kDefaultHtmlFileExt = "phtml|php3|php|asp|shtml|html|htm";

// The HtmlFileExt rule: trim, ':' becomes '|', dots removed, split at '|',
// each token compared with the extension (no dot) without regard to ASCII case.
bool IsExtensionInList(const std::string& extensionList, const std::string& extension);

// The extensions of an HtmlFileExt text in their order, by the same rule:
// empty pieces are skipped, white space inside a piece stays.
std::vector<std::string> SplitExtensionList(std::string_view extensionList);

// The HtmlFileExt text for a list of extensions: each one trimmed and without
// dots, joined by '|'. One that is left empty is left out, so the text never
// holds an empty piece; no extensions give the empty text.
std::string JoinExtensionList(const std::vector<std::string>& extensions);

// An extension as a user typed it: trimmed, with its leading dots (and any
// blanks between them) removed, so ".htm" and " ..htm" give "htm". Empty when
// nothing is left.
std::string CleanExtensionInput(std::string_view text);

// False when the extension holds one of the nine characters refused in a
// file name where the settings come from (':' and '|' would also split the
// stored list): \ / : * ? " < > |
bool IsValidExtension(std::string_view extension);

} // namespace varnolt
