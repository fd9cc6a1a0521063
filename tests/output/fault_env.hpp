// Test helpers for faults on real files: environment, seam, mounts, immutable folders.
#pragma once

#include "platform/file_io.hpp"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <linux/fs.h>
#include <optional>
#include <sched.h>
#include <string>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <unistd.h>

namespace varnolt::test {

// Sets an environment variable for the scope, restoring the old value.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value) : m_name(name) {
        if (const char* old = std::getenv(name)) {
            m_old = old;
        }
        ::setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv() {
        if (m_old) {
            ::setenv(m_name, m_old->c_str(), 1);
        } else {
            ::unsetenv(m_name);
        }
    }

private:
    const char* m_name;
    std::optional<std::string> m_old;
};

// Disarms the OS layer's fault seam when the scope ends.
struct ScopedFaults {
    ScopedFaults() { platform::ClearFaults(); }
    ~ScopedFaults() { platform::ClearFaults(); }
};

// Mounts stay inside this test process: the first call moves the process
// into a private mount namespace. Needs root; false when that is not possible.
inline bool CanMount() {
    static const bool ok = [] {
        if (::geteuid() != 0 || ::unshare(CLONE_NEWNS) != 0) {
            return false;
        }
        return ::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
    }();
    return ok;
}

// A tmpfs of the given size mounted on an existing folder for the scope.
class TmpfsMount {
public:
    TmpfsMount(const std::string& dir, const std::string& size) : m_dir(dir) {
        const std::string options = "size=" + size + ",mode=0777";
        m_bMounted = CanMount() && ::mount("tmpfs", dir.c_str(), "tmpfs", 0, options.c_str()) == 0;
    }
    ~TmpfsMount() {
        if (m_bMounted) {
            ::umount2(m_dir.c_str(), MNT_DETACH);
        }
    }
    bool Mounted() const { return m_bMounted; }
    // Read-only for everyone, root included.
    bool MakeReadOnly() {
        return ::mount(nullptr, m_dir.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) == 0;
    }

private:
    std::string m_dir;
    bool m_bMounted = false;
};

// The immutable attribute on a folder: no entry can be added, removed or
// renamed in it, not even by root. Cleared again when the scope ends.
class ImmutableFolder {
public:
    explicit ImmutableFolder(const std::string& dir) : m_dir(dir) { m_bSet = SetFlag(true); }
    ~ImmutableFolder() {
        if (m_bSet) {
            SetFlag(false);
        }
    }
    bool Set() const { return m_bSet; }

private:
    bool SetFlag(bool on) {
        const int fd = ::open(m_dir.c_str(), O_RDONLY | O_DIRECTORY);
        if (fd < 0) {
            return false;
        }
        int flags = 0;
        bool ok = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
        if (ok) {
            flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
            ok = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
        }
        ::close(fd);
        return ok;
    }

    std::string m_dir;
    bool m_bSet = false;
};

} // namespace varnolt::test
