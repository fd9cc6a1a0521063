// The HTML stage's writer: follows the document head, adds the UTF-8 charset
// meta tag, takes old charset meta tags out of use and decodes character
// references in text runs, writing every piece to the target writer.
#pragma once

#include "codecs/html_entity_codec.hpp"

#include <cstdint>
#include <string>
#include <string_view>

namespace varnolt {

class CAppSettings;
class CTextSink;

class CHtmlProcessor {
public:
    enum HtmlStage : std::int32_t {
        kPassThrough = 0, // head finished and entity conversion off
        kOutsideHead = 1, // before the head, or after it with entity conversion
        kScriptOutsideHead = 2,
        kInHead = 3,
        kScriptInHead = 4,
        kTitle = 5,
    };

    static constexpr std::size_t kInitialCapacity = 32768;

    // One processor per worker for a whole run. The two flags are the run's
    // options; NoHtmlComment is read from the settings whenever a tag is written.
    CHtmlProcessor(CTextSink& writer, CAppSettings& settings, bool addMetaTag,
                   bool convertEntities);
    virtual ~CHtmlProcessor() = default;
    CHtmlProcessor(const CHtmlProcessor&) = delete;
    CHtmlProcessor& operator=(const CHtmlProcessor&) = delete;

    // Before every file: no meta tag written yet, stage "outside head".
    void Reset(std::int64_t logIndex);

    // Writes one piece (a text run or one whole markup item). True when no
    // more cutting is needed: everything that follows passes unchanged.
    bool ProcessPiece(std::u16string_view piece);

    bool AddMetaTag() const { return m_bAddMetaTag; }
    bool ConvertEntities() const { return m_bConvertEntities; }
    bool MetaWritten() const { return m_bMetaWritten; }
    // The file must get warning 5009: a meta tag was asked for and none added.
    bool MetaTagMissing() const { return m_bAddMetaTag && !m_bMetaWritten; }
    HtmlStage Stage() const { return m_nStage; }
    std::int64_t LogIndex() const { return m_nLogIndex; }

private:
    void HandleMarkup(std::u16string_view piece);
    void Normalize(std::u16string_view piece);
    bool IsCharsetMeta(std::u16string_view piece) const;
    void InsertMetaTag();
    void InsertHeadBlock();
    void CommentOutMeta(std::u16string_view piece);
    void LeaveHead();
    void Write(std::u16string_view text);
    void WriteText(int id);

    CTextSink& m_writer;
    CAppSettings& m_settings;
    bool m_bAddMetaTag;
    bool m_bConvertEntities;
    HtmlStage m_nStage = kOutsideHead;
    bool m_bMetaWritten = false;
    std::uint64_t m_nPieceLength = 0;
    std::u16string m_strNormalized;
    CHtmlEntityCodec m_entityCodec;
    std::int64_t m_nLogIndex = 0;
    std::u16string m_strDecoded;
    std::u16string m_texts[7]; // texts 5500 to 5506
};

} // namespace varnolt
