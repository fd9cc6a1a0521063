// The middle stage of the pipeline: byte or UTF-16 chunks in, UTF-16 text out
// to the HTML stage or the target writer.
#pragma once

#include "decode/code_page_decoder.hpp"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace varnolt {

class CTextSink;
struct CByteTextMap;
class IHtmlStage;
class IFileStatusSink;

class CUnicodeConverter {
public:
    static constexpr std::size_t kInitialCapacity = 8196;

    // The writer, HTML stage and status sink belong to the worker; the HTML
    // stage may be null when the run does no HTML work.
    CUnicodeConverter(CTextSink& writer, IHtmlStage* pHtmlStage, IFileStatusSink& status);
    virtual ~CUnicodeConverter();
    CUnicodeConverter(const CUnicodeConverter&) = delete;
    CUnicodeConverter& operator=(const CUnicodeConverter&) = delete;

    // Once per run. HTML processing is on when the run asks for the charset
    // meta tag or for entity conversion.
    void SetCodePage(std::int32_t codePage);
    void SetHtmlProcessing(bool bOn) { m_bHtmlProcessing = bOn; }
    // The charset meta-tag option: a file that gets no tag is warned about.
    void SetMetaTagOption(bool bOn) { m_bMetaTagOption = bOn; }
    void SetHtmlFileExtensions(std::string list) { m_strHtmlFileExt = std::move(list); }
    // Where the two internal-error texts go (by default standard error).
    void SetInternalErrorReporter(std::function<void(std::string_view)> reporter);

    // Before each file: the first-chunk flag set, the file-is-HTML flag, and
    // the state of a stateful decoder reset.
    void StartFile(bool bFileIsHtml);
    void SetFirstChunk(bool bFirst) { m_bFirstChunk = bFirst; }
    void SetFileIsHtml(bool bHtml) { m_bFileIsHtml = bHtml; }

    // bytes[0, n) in the run's code page, with bytes[n] == 0. Throws
    // CMbcsToUnicodeException or CFileExceptionFromTargetFileWriter.
    void ConvertChunk(const std::uint8_t* bytes, std::size_t n);
    // UTF-16 in host order without NUL units. Throws CUtf16InvalidException
    // or CFileExceptionFromTargetFileWriter.
    void ConvertUtf16Chunk(const char16_t* text, std::size_t n);
    // Routes one piece of text to the HTML stage or the writer.
    void WriteText(std::u16string_view text);
    // End of the file: what a stateful decoder still holds, the HTML stage's
    // pending text and the meta-tag warning.
    void Finish();
    // Waits until the text passed on so far has been written (the writer
    // may work on a thread of its own); throws
    // CFileExceptionFromTargetFileWriter when some of it could not be.
    void SettleOutput();

    // True when the extension (without the dot) is in the HTML file list.
    bool IsHtmlFile(std::string_view extension) const;

    std::size_t Capacity() const { return m_nCapacity; }
    bool IsFirstChunk() const { return m_bFirstChunk; }

    // True when the UTF-16 text holds no illegal unit: NUL, U+FFFE, U+FFFF or
    // an unpaired surrogate.
    static bool IsLegalUtf16(const char16_t* text, std::size_t n);

private:
    void Grow(std::size_t capacity);
    // The file's text goes through the HTML stage (not straight to the writer).
    bool HtmlStageReads() const {
        return m_bHtmlProcessing && m_bFileIsHtml && m_pHtmlStage != nullptr;
    }
    // A chunk of a single-byte page handed on as bytes; false when a byte
    // has no unit (the chunk then goes the usual way, to fail there).
    bool PassOnMapped(const std::uint8_t* bytes, std::size_t n);
    void PassOn(const char16_t* text, std::size_t n);
    void ReportInternalError(int number);

    CTextSink& m_writer;
    IHtmlStage* m_pHtmlStage;
    IFileStatusSink& m_status;
    std::int32_t m_nCodePage = 1252;
    bool m_bStrict = true;
    bool m_bHtmlProcessing = false;
    bool m_bMetaTagOption = false;
    bool m_bFileIsHtml = false;
    bool m_bFirstChunk = true;
    std::string m_strHtmlFileExt;
    std::unique_ptr<char16_t[]> m_pOutput;
    std::size_t m_nCapacity = 0;
    CDecoderState m_decoderState;
    // For a page whose bytes the sink may encode itself (see CByteTextMap):
    // its map; its bytes with no unit lie in [m_nUnmappedLow,
    // m_nUnmappedHigh] (an empty range when there are none).
    std::int32_t m_nMapCodePage = 0;
    std::unique_ptr<CByteTextMap> m_pByteMap;
    std::uint8_t m_nUnmappedLow = 1;
    std::uint8_t m_nUnmappedHigh = 0;
    std::function<void(std::string_view)> m_reportInternalError;
};

} // namespace varnolt
