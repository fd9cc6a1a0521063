// The body of the decoder fuzz targets: random bytes never crash the reader,
// the converter or a decoder, and one-piece and chunked decoding agree.
#pragma once

#include "../tests/decode/chunking_check.hpp"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace varnolt::fuzz {

// A scratch file for this process, removed at exit.
struct CScratchFile {
    std::string path;
    ~CScratchFile() { std::remove(path.c_str()); }
};

inline const std::string& ScratchPath() {
    static const CScratchFile scratch{[] {
        const char* tmp = std::getenv("TMPDIR");
        // Memory-backed when there is one: the target writes two files per input.
        const char* dir = tmp ? tmp : (::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp");
        return std::string(dir) + "/varnolt_fuzz_" + std::to_string(::getpid());
    }()};
    return scratch.path;
}

// The first byte picks the code page among `pages`; the rest is the file.
template <std::size_t N>
int Run(const std::int32_t (&pages)[N], const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const std::int32_t codePage = pages[data[0] % N];
    const std::string bytes(reinterpret_cast<const char*>(data + 1), size - 1);
    // The raw bytes, NULs included, through the reader: only must not crash.
    {
        const std::string path = ScratchPath();
        FILE* f = std::fopen(path.c_str(), "wb");
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
        std::u16string text;
        check::ConvertFile(codePage, path, text);
    }
    const check::ChunkingOutcome outcome = check::CheckChunking(codePage, bytes, ScratchPath());
    if (!outcome.Agrees()) {
        std::fprintf(stderr, "code page %d: reader %d (%zu units), whole %d (%zu units)\n",
                     codePage, outcome.bReaderOk, outcome.readerText.size(), outcome.bWholeOk,
                     outcome.wholeText.size());
        std::abort();
    }
    // Stateful decoders: any split of the input gives the whole-text result.
    if (codePage == 52936 || (codePage >= 57002 && codePage <= 57011)) {
        std::u16string pieces;
        CDecoderState state;
        std::vector<char16_t> out(2 * bytes.size() + 16);
        std::size_t start = 0;
        std::size_t step = 1 + data[0] % 7;
        while (true) {
            const std::size_t end = std::min(bytes.size(), start + step);
            const bool bFinal = end == bytes.size();
            DecodeError error = DecodeError::kNone;
            const std::size_t n = MultiByteToWideChar(
                codePage, false, reinterpret_cast<const std::uint8_t*>(bytes.data()) + start,
                end - start, bFinal, state, out.data(), out.size(), error);
            if (error != DecodeError::kNone) {
                std::abort();
            }
            pieces.append(out.data(), n);
            if (bFinal) {
                break;
            }
            start = end;
            step = step * 3 % 11 + 1;
        }
        std::u16string whole;
        check::DecodeWhole(codePage, bytes, whole);
        std::u16string withMark = pieces;
        if (!withMark.empty() && withMark[0] == 0xFEFF) {
            withMark.erase(0, 1);
        }
        if (withMark != whole) {
            std::fprintf(stderr, "code page %d: split decoding differs\n", codePage);
            std::abort();
        }
    }
    return 0;
}

} // namespace varnolt::fuzz
