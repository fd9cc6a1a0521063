// A self-check shared by the fuzz targets and the tests: decoding bytes in one
// piece and through the real reader's chunking gives the same text (or both
// reject the bytes). Header-only, without gtest, so the fuzz targets can use it.
#pragma once

#include "decode/armscii.hpp"
#include "decode/code_page_decoder.hpp"
#include "decode/source_file_reader.hpp"
#include "decode/unicode_converter.hpp"
#include "output/text_sink.hpp"
#include "settings/file_status.hpp"

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace varnolt::check {

struct ChunkingOutcome {
    bool bReaderOk = false;
    bool bWholeOk = false;
    std::u16string readerText;
    std::u16string wholeText;

    bool Agrees() const { return bReaderOk == bWholeOk && (!bReaderOk || readerText == wholeText); }
};

class CStringSink : public CTextSink {
public:
    void WriteUnicode(std::u16string_view text) override { m_text.append(text); }
    std::u16string m_text;
};

class CIgnoreStatus : public IFileStatusSink {
public:
    void SetStatus(std::int64_t, int, int) override {}
};

// A reader + converter for one code page, reused from file to file as a
// worker reuses its pipeline.
struct CCheckPipeline {
    explicit CCheckPipeline(std::int32_t codePage)
        : converter(sink, nullptr, status), reader(converter, status) {
        converter.SetInternalErrorReporter([](std::string_view) {});
        converter.SetCodePage(codePage);
        reader.SetCodePage(codePage);
    }
    CStringSink sink;
    CIgnoreStatus status;
    CUnicodeConverter converter;
    CSourceFileReader reader;
};

// Converts the file at `path` through the code page's reader + converter.
inline bool ConvertFile(std::int32_t codePage, const std::string& path, std::u16string& text) {
    thread_local std::map<std::int32_t, std::unique_ptr<CCheckPipeline>> pipelines;
    auto& pipeline = pipelines[codePage];
    if (!pipeline) {
        pipeline = std::make_unique<CCheckPipeline>(codePage);
    }
    pipeline->sink.m_text.clear();
    pipeline->converter.StartFile(false);
    const bool ok = pipeline->reader.Read(path);
    text = pipeline->sink.m_text;
    return ok;
}

// The same bytes decoded in one piece, as the converter would decode them.
inline bool DecodeWhole(std::int32_t codePage, const std::string& bytes, std::u16string& text) {
    text.clear();
    if (codePage == 1200 || codePage == 1201) {
        if (bytes.size() % 2 != 0) {
            return false;
        }
        for (std::size_t i = 0; i < bytes.size(); i += 2) {
            const auto a = static_cast<unsigned char>(bytes[i]);
            const auto b = static_cast<unsigned char>(bytes[i + 1]);
            const char16_t unit = static_cast<char16_t>(codePage == 1200 ? a | b << 8 : a << 8 | b);
            if (unit != 0) {
                text += unit;
            }
        }
        if (!CUnicodeConverter::IsLegalUtf16(text.data(), text.size())) {
            return false;
        }
    } else if (codePage == kArmsciiCodePage) {
        for (char c : bytes) {
            text += ArmsciiUnit(static_cast<std::uint8_t>(c));
        }
    } else {
        std::vector<char16_t> out(2 * bytes.size() + 16);
        CDecoderState state;
        DecodeError error = DecodeError::kNone;
        const std::size_t n = MultiByteToWideChar(
            codePage, UsesStrictFlag(codePage), reinterpret_cast<const std::uint8_t*>(bytes.data()),
            bytes.size(), true, state, out.data(), out.size(), error);
        if (error != DecodeError::kNone) {
            return false;
        }
        text.assign(out.data(), n);
    }
    if (!text.empty() && text[0] == 0xFEFF) {
        text.erase(0, 1);
    }
    return true;
}

// Compares the two ways on `bytes` without NUL bytes (the reader drops NULs
// between characters, so both sides get the text without them).
inline ChunkingOutcome CheckChunking(std::int32_t codePage, std::string bytes,
                                     const std::string& path) {
    if (codePage == 1200 || codePage == 1201) {
        // NUL units, not bytes, are dropped.
        if (bytes.size() % 2 == 0) {
            std::string kept;
            for (std::size_t i = 0; i < bytes.size(); i += 2) {
                if (bytes[i] != 0 || bytes[i + 1] != 0) {
                    kept += bytes.substr(i, 2);
                }
            }
            bytes = kept;
        }
    } else {
        bytes.erase(std::remove(bytes.begin(), bytes.end(), '\0'), bytes.end());
    }
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
    ChunkingOutcome outcome;
    outcome.bReaderOk = ConvertFile(codePage, path, outcome.readerText);
    outcome.bWholeOk = DecodeWhole(codePage, bytes, outcome.wholeText);
    if (codePage == 54936 && outcome.bWholeOk && !outcome.bReaderOk) {
        // The reader rejects malformed GB18030 structure that the substituting
        // decoder would turn into U+FFFD; such bytes must fail strict decoding.
        std::vector<char16_t> out(2 * bytes.size() + 16);
        CDecoderState state;
        DecodeError error = DecodeError::kNone;
        MultiByteToWideChar(54936, true, reinterpret_cast<const std::uint8_t*>(bytes.data()),
                            bytes.size(), true, state, out.data(), out.size(), error);
        outcome.bWholeOk = error == DecodeError::kNone;
    }
    return outcome;
}

} // namespace varnolt::check
