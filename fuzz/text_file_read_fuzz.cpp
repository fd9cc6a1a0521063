// Fuzzes the text file reader on real files: any bytes read without fault and
// without reading past the end; every unit of the text comes from at least one
// byte; no CR or NUL survives; plain ASCII reads back with its line ends made
// one; and a file without a mark reads the same when a block boundary is moved
// into it.
#include "decode/text_file_read.hpp"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

using namespace varnolt;

namespace {

std::string ScratchPath() {
    return "/tmp/varnolt_text_file_read_fuzz." + std::to_string(::getpid());
}

void Write(const std::string& path, const std::string& bytes) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file || std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size()) {
        std::abort();
    }
    std::fclose(file);
}

std::u16string Read(const std::string& path, CTextFileBase::TextEncoding& encoding) {
    CTextFileRead reader(path);
    std::u16string text;
    if (!reader.ReadAll(text, u"\n")) {
        std::abort();
    }
    encoding = reader.GetEncoding();
    return text;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const std::string path = ScratchPath();
    Write(path, bytes);
    CTextFileBase::TextEncoding encoding{};
    const std::u16string text = Read(path, encoding);
    if (text.size() > size) {
        std::abort();
    }
    for (const char16_t u : text) {
        if (u == u'\r' || u == 0) {
            std::abort();
        }
    }

    bool ascii = true;
    for (const char c : bytes) {
        ascii = ascii && c > 0 && static_cast<unsigned char>(c) < 0x80;
    }
    if (ascii) {
        std::u16string expected;
        for (std::size_t i = 0; i < size; ++i) {
            if (bytes[i] == '\r') {
                expected.push_back(u'\n');
                if (i + 1 < size && bytes[i + 1] == '\n') {
                    ++i;
                }
            } else {
                expected.push_back(static_cast<char16_t>(bytes[i]));
            }
        }
        if (text != expected) {
            std::abort();
        }
    }

    if (encoding == CTextFileBase::kAnsi && size > 0) {
        // Filler of 'x' that puts the first block boundary inside the bytes.
        const std::size_t filler =
            CTextFileBase::kBlockSize - 1 - data[0] % std::min<std::size_t>(size, 4095);
        Write(path, std::string(filler, 'x') + bytes);
        CTextFileBase::TextEncoding again{};
        if (Read(path, again) != std::u16string(filler, u'x') + text) {
            std::abort();
        }
    }
    ::unlink(path.c_str());
    return 0;
}
