// A reader + converter pipeline over real files, with a collecting sink and log.
#pragma once

#include "decode/html_stage.hpp"
#include "decode/source_file_reader.hpp"
#include "decode/unicode_converter.hpp"
#include "output/text_sink.hpp"
#include "platform/file_exception.hpp"
#include "settings/file_status.hpp"
#include "support/test_support.hpp"

#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

namespace varnolt::test {

// Keeps every piece of text it is given; can be told to fail like a full disk.
class CCollectingSink : public CTextSink {
public:
    void WriteUnicode(std::u16string_view text) override {
        if (m_bFail) {
            throw CFileException(CFileException::kDiskFull, 28, "target.tmp");
        }
        m_text.append(text);
        m_pieces.push_back(text.size());
    }
    // With m_bTakesMapped, text of a single-byte page comes as bytes; it is
    // kept as its units all the same, and counted.
    bool TakesMappedBytes() const override { return m_bTakesMapped; }
    void WriteMapped(const std::uint8_t* bytes, std::size_t n, const CByteTextMap& map) override {
        CTextSink::WriteMapped(bytes, n, map);
        ++m_nMappedPieces;
    }
    std::u16string m_text;
    std::vector<std::size_t> m_pieces;
    bool m_bFail = false;
    bool m_bTakesMapped = false;
    int m_nMappedPieces = 0;
};

struct StatusEntry {
    std::int64_t nIndex;
    int nLevel;
    int nMessage;
};

class CRecordingStatus : public IFileStatusSink {
public:
    void SetStatus(std::int64_t logIndex, int level, int messageId) override {
        m_entries.push_back({logIndex, level, messageId});
    }
    void SetDetail(std::int64_t, std::string detail) override { m_strDetail = std::move(detail); }
    void SetReason(std::int64_t, int systemError) override { m_nReason = systemError; }
    std::vector<StatusEntry> m_entries;
    std::string m_strDetail;
    int m_nReason = 0;
};

// Stands in for the HTML parser: records what it is fed and flushed.
class CFakeHtmlStage : public IHtmlStage {
public:
    void Feed(std::u16string_view text) override { m_text.append(text); }
    void FlushPending() override { ++m_nFlushes; }
    bool MetaTagAddedOrUpdated() const override { return m_bMetaUpdated; }
    std::int64_t LogIndex() const override { return 7; }
    std::u16string m_text;
    int m_nFlushes = 0;
    bool m_bMetaUpdated = false;
};

struct PipelineResult {
    bool bOk;
    std::u16string text;
    std::vector<StatusEntry> status;
    std::string detail; // the failure's detail, as the console shows it
};

class CPipeline {
public:
    explicit CPipeline(std::int32_t codePage)
        : m_converter(m_sink, &m_html, m_status), m_reader(m_converter, m_status) {
        m_converter.SetCodePage(codePage);
        m_reader.SetCodePage(codePage);
    }

    // Writes the bytes to a file and converts it as the job would.
    PipelineResult Convert(const std::string& bytes, const std::string& name = "source.txt") {
        const std::string path = m_dir / name;
        WriteFile(path, bytes);
        return ConvertPath(path);
    }

    PipelineResult ConvertPath(const std::string& path) {
        m_sink.m_text.clear();
        m_sink.m_pieces.clear();
        m_status.m_entries.clear();
        m_status.m_strDetail.clear();
        m_html.m_text.clear();
        m_converter.StartFile(m_bHtmlFile);
        m_reader.SetLogIndex(3);
        const bool ok = m_reader.Read(path);
        return {ok, m_sink.m_text, m_status.m_entries, m_status.m_strDetail};
    }

    TempDir m_dir;
    CCollectingSink m_sink;
    CRecordingStatus m_status;
    CFakeHtmlStage m_html;
    CUnicodeConverter m_converter;
    CSourceFileReader m_reader;
    bool m_bHtmlFile = false;
};

// The one error a failed conversion records.
inline int FailureMessage(const PipelineResult& result) {
    if (result.bOk || result.status.size() != 1 || result.status[0].nLevel != kLevelError ||
        result.status[0].nIndex != 3) {
        return -1;
    }
    return result.status[0].nMessage;
}

} // namespace varnolt::test
