// Fuzzes the settings store over a hand-edited settings file: any file loads
// without fault, and what the store settles on (the values read, the defaults
// it writes back for missing or malformed ones) reads back the same from the
// file it leaves.
#include "settings/app_settings.hpp"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using varnolt::CAppSettings;

struct CScratch {
    std::string path;
    ~CScratch() {
        std::remove(path.c_str());
        std::remove((path + ".lock").c_str());
    }
};

const std::string& ScratchPath() {
    static const CScratch scratch{[] {
        const char* tmp = std::getenv("TMPDIR");
        const char* dir = tmp ? tmp : (::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp");
        return std::string(dir) + "/varnolt_settings_fuzz_" + std::to_string(::getpid()) + ".reg";
    }()};
    return scratch.path;
}

struct Snapshot {
    std::vector<std::int32_t> numbers;
    std::vector<std::string> texts;
    std::vector<std::vector<std::uint8_t>> binaries;
    bool operator==(const Snapshot&) const = default;
};

Snapshot Read(CAppSettings& s) {
    Snapshot out;
    out.numbers = {s.Encoding.Get(),        s.CodePage.Get(),   s.OutputOption.Get(),
                   s.UnicodeFormat.Get(),   s.UTF8Option.Get(), s.AddBOM.Get(),
                   s.EntityToUnicode.Get(), s.Version.Get(),    s.DisableMP.Get(),
                   s.NoHtmlComment.Get(),   s.NoWarning.Get(),  s.LogAppend.Get()};
    out.texts = {s.PrependSource.Get(), s.PrependDest.Get(), s.OutputFolder.Get(),
                 s.HtmlFileExt.Get(), s.LogPathname.Get()};
    for (const auto* binary : {&s.SearchPredefinedFilter, &s.CodecOptions}) {
        std::vector<std::uint8_t> data;
        if (!s.ReadBinary(*binary, data)) {
            data = {0xEE}; // stands for "missing": a real value is never this and failed
        }
        out.binaries.push_back(std::move(data));
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string& path = ScratchPath();
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) {
        std::abort();
    }
    std::fwrite(data, 1, size, f);
    std::fclose(f);
    Snapshot first;
    {
        CAppSettings store(path);
        first = Read(store);
        if (!(Read(store) == first)) {
            std::fprintf(stderr, "settings_store_fuzz: a second read differs\n");
            std::abort();
        }
    } // writes back the defaults it fell back to
    Snapshot second;
    {
        CAppSettings store(path);
        second = Read(store);
    }
    if (!(second == first)) {
        std::fprintf(stderr, "settings_store_fuzz: values differ after write-back\n");
        std::abort();
    }
    return 0;
}
