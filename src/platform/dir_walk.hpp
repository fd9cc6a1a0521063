// Directory enumeration for the file search: one folder's entries, in the
// order the OS gives them, with what each entry is.
#pragma once

#include <string>

namespace varnolt::platform {

// Enumerates one folder (opendir/readdir). Entries come in the order the file
// system gives them, "." and ".." and hidden entries included. The folder
// stays open only while files are handed out: when a sub-folder comes up,
// the rest is read and the folder closed before the caller can descend, so a
// recursive search holds one descriptor at a time however deep the tree is.
// A symbolic
// link counts as what it points to when that is a regular file; a link to a
// folder (or to anything else, or dangling) is neither a file nor a folder,
// so a search never follows it and cannot loop.
class CFileFind {
public:
    CFileFind() = default;
    virtual ~CFileFind();
    CFileFind(const CFileFind&) = delete;
    CFileFind& operator=(const CFileFind&) = delete;

    // Opens the folder and moves to its first entry; false when the folder
    // cannot be listed or is empty. A trailing "/" on the folder is allowed.
    virtual bool FindFile(const std::string& folder);
    // Moves to the next entry; false at the end (the enumeration is closed).
    virtual bool FindNextFile();
    virtual void Close();

    // The current entry.
    virtual std::string GetFileName() const { return m_strName; }
    virtual std::string GetFilePath() const;
    virtual bool IsDots() const { return m_strName == "." || m_strName == ".."; }
    virtual bool IsDirectory() const { return m_eKind == Kind::Directory; }
    // A regular file, or a link to one.
    virtual bool IsFile() const { return m_eKind == Kind::File || m_eKind == Kind::LinkToFile; }
    // A symbolic link to a regular file: its path names the link, not the file.
    virtual bool IsLinkToFile() const { return m_eKind == Kind::LinkToFile; }

private:
    enum class Kind : unsigned char { File, Directory, Other, LinkToFile };
    // Entries are read in batches while the folder holds only files, so a
    // folder of a million files needs no list of them all.
    static constexpr std::size_t kBatch = 1024;
    void ReadEntries(std::size_t count);
    void CloseDirectory();

    void* m_pDir = nullptr; // the open DIR stream while entries remain unread
    // The entries read and not yet handed out, each as its kind byte, its
    // name and a NUL (a name never holds one).
    std::string m_strEntries;
    std::size_t m_nNext = 0; // where the next entry starts
    bool m_bOpen = false;
    std::string m_strFolder; // ends in "/"
    std::string m_strName;
    Kind m_eKind = Kind::Other;
};

} // namespace varnolt::platform
