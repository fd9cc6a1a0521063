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

    // A piece too long to hold whole, passed on in parts. BeginLongPiece sees
    // the start of the piece and says whether it may be written before its end
    // is known (false: hand the whole piece to ProcessPiece). PassOnLongPart
    // writes what it can of `part` (the unwritten rest so far) exactly as
    // ProcessPiece would have written it, returns how many units it used, and
    // sets holdRest when nothing more can be written before the piece ends.
    // EndLongPiece takes the unwritten rest and returns what ProcessPiece would.
    bool BeginLongPiece(std::u16string_view start);
    std::size_t PassOnLongPart(std::u16string_view part, bool& holdRest);
    bool EndLongPiece(std::u16string_view rest);

    bool AddMetaTag() const { return m_bAddMetaTag; }
    bool ConvertEntities() const { return m_bConvertEntities; }
    bool MetaWritten() const { return m_bMetaWritten; }
    // The file must get warning 5009: a meta tag was asked for and none added.
    bool MetaTagMissing() const { return m_bAddMetaTag && !m_bMetaWritten; }
    HtmlStage Stage() const { return m_nStage; }
    std::int64_t LogIndex() const { return m_nLogIndex; }

private:
    // What a markup item asks for besides being written as it is.
    enum class MarkupEffect { kNone, kMetaTagAfter, kHeadBlockBefore, kCharsetMeta };

    void HandleMarkup(std::u16string_view piece);
    MarkupEffect FollowMarkup(std::u16string_view copy, std::u16string_view piece);
    void Normalize(std::u16string_view piece);
    bool IsCharsetMeta(std::u16string_view copy, std::u16string_view piece) const;
    void TrackLongPart(std::u16string_view part);
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

    // The long piece being passed on in parts.
    static constexpr std::size_t kLongCopyLength = 16;
    bool m_bLongMarkup = false;   // starts with "<": markup if it ends with ">"
    bool m_bLongVerbatim = false; // as markup: a comment or script block
    bool m_bLongDecoded = false;  // as text: its character references decoded
    char16_t m_nLongLast = 0;     // its last unit so far
    // Its normalized copy (as Normalize makes it, before the last blank is
    // dropped) up to kLongCopyLength units, and the copy's whole length.
    std::u16string m_strLongCopy;
    std::uint64_t m_nLongCopyLength = 0;
    bool m_bLongInSpace = false;
};

} // namespace varnolt
