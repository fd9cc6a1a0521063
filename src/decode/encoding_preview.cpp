// The preview's decoding and the ranking over several files.
#include "decode/encoding_preview.hpp"

#include "decode/code_page_decoder.hpp"
#include "platform/small_file.hpp"

#include <algorithm>
#include <map>

namespace varnolt {

namespace {

constexpr char16_t kReplacement = 0xFFFD;
constexpr char16_t kByteOrderMark = 0xFEFF;
// The longest sequence of any decoder without a state of its own (UTF-8 and
// GB18030 four bytes, the double-byte pages two).
constexpr std::size_t kMaxSequence = 4;

bool IsHigh(char16_t unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}
bool IsLow(char16_t unit) {
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

void Mark(PreviewText& preview, std::size_t byteOffset) {
    preview.marks.push_back({preview.text.size(), byteOffset});
    preview.text.push_back(kReplacement);
}

// UTF-16 has no decoder in the code-page layer: units are paired here, and an
// unpaired surrogate, which fails a run, is marked.
void DecodeUtf16(bool bBigEndian, const std::uint8_t* bytes, std::size_t n, bool bFinal,
                 PreviewText& preview) {
    const auto unitAt = [&](std::size_t i) {
        return static_cast<char16_t>(bBigEndian ? (bytes[i] << 8) | bytes[i + 1]
                                                : bytes[i] | (bytes[i + 1] << 8));
    };
    std::size_t i = 0;
    while (i + 2 <= n) {
        const char16_t unit = unitAt(i);
        if (IsHigh(unit)) {
            if (i + 4 <= n && IsLow(unitAt(i + 2))) {
                preview.text.push_back(unit);
                preview.text.push_back(unitAt(i + 2));
                i += 4;
                continue;
            }
            if (i + 4 > n && !bFinal) {
                return; // its low half was cut off with the rest of the file
            }
        }
        if (IsHigh(unit) || IsLow(unit)) {
            Mark(preview, i);
        } else {
            preview.text.push_back(unit);
        }
        i += 2;
    }
    if (i < n && bFinal) {
        Mark(preview, i); // an odd byte at the end of the file
    }
}

// Decodes the bytes one character at a time: the shortest piece the strict
// decoder accepts is the next character, since every sequence of these
// code pages is prefix-free; a byte where no piece up to the longest
// sequence decodes begins an invalid sequence, which the decoder's
// substituting mode then steps over. Stateful decoders (HZ, ISCII) accept
// any single byte by keeping it in their state, so for them the mark falls
// on the byte that made the state fail.
void DecodeByCharacter(const CCodePageDecoder& decoder, const std::uint8_t* bytes, std::size_t n,
                       bool bFinal, PreviewText& preview) {
    CDecoderState state;
    std::vector<char16_t> out(decoder.MaxOutput(kMaxSequence) + 8);
    std::size_t i = 0;
    while (i < n) {
        bool decoded = false;
        bool cut = false;
        for (std::size_t width = 1; width <= kMaxSequence; ++width) {
            if (i + width > n) {
                cut = !bFinal;
                break;
            }
            CDecoderState attempt = state;
            std::size_t written = 0;
            if (decoder.Decode(bytes + i, width, false, true, attempt, out.data(), written) ==
                DecodeError::kNone) {
                preview.text.append(out.data(), written);
                state = attempt;
                i += width;
                decoded = true;
                break;
            }
        }
        if (decoded) {
            continue;
        }
        if (cut) {
            return;
        }
        // The decoder's own substitution steps over the bad byte, so a
        // stateful decoder recovers as it would in a substituting run.
        const std::size_t before = preview.text.size();
        std::size_t written = 0;
        if (decoder.Decode(bytes + i, 1, false, false, state, out.data(), written) ==
            DecodeError::kNone) {
            preview.text.append(out.data(), written);
        }
        bool marked = false;
        for (std::size_t k = before; k < preview.text.size(); ++k) {
            if (preview.text[k] == kReplacement) {
                preview.marks.push_back({k, i});
                marked = true;
            }
        }
        if (!marked) {
            Mark(preview, i);
        }
        ++i;
    }
    if (bFinal) {
        std::size_t written = 0;
        CDecoderState attempt = state;
        if (decoder.Decode(bytes + n, 0, true, true, attempt, out.data(), written) ==
            DecodeError::kNone) {
            preview.text.append(out.data(), written);
        } else {
            Mark(preview, n - std::min<std::size_t>(n, state.nPending));
        }
    }
}

} // namespace

PreviewText DecodePreview(std::int32_t codePage, const std::uint8_t* bytes, std::size_t n,
                          bool bFinal) {
    PreviewText preview;
    if (codePage == 1200 || codePage == 1201) {
        DecodeUtf16(codePage == 1201, bytes, n, bFinal, preview);
    } else if (const CCodePageDecoder* decoder = FindDecoder(codePage); decoder == nullptr) {
        Mark(preview, 0);
        return preview;
    } else {
        // Most files decode in one piece; only a failure needs the slow walk.
        CDecoderState state;
        std::vector<char16_t> out(decoder->MaxOutput(n) + 8);
        std::size_t written = 0;
        if (decoder->Decode(bytes, n, bFinal, true, state, out.data(), written) ==
            DecodeError::kNone) {
            preview.text.assign(out.data(), written);
        } else {
            DecodeByCharacter(*decoder, bytes, n, bFinal, preview);
        }
    }
    if (!preview.text.empty() && preview.text.front() == kByteOrderMark) {
        preview.text.erase(0, 1);
        for (PreviewMark& mark : preview.marks) {
            --mark.nTextPos;
        }
    }
    return preview;
}

PreviewText ForDisplay(const PreviewText& preview) {
    PreviewText shown;
    shown.text.reserve(preview.text.size());
    auto mark = preview.marks.begin();
    const std::u16string& text = preview.text;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (mark != preview.marks.end() && mark->nTextPos == i) {
            shown.marks.push_back({shown.text.size(), mark->nByteOffset});
            ++mark;
        }
        const char16_t c = text[i];
        if (c == u'\r') {
            if (i + 1 < text.size() && text[i + 1] == u'\n') {
                continue;
            }
            shown.text.push_back(u'\n');
        } else if ((c < 0x20 && c != u'\t' && c != u'\n') || c == 0x7F) {
            shown.text.push_back(c == 0x7F ? char16_t{0x2421} : static_cast<char16_t>(0x2400 + c));
        } else {
            shown.text.push_back(c);
        }
    }
    return shown;
}

FilePreview ReadFilePreview(const std::string& path, std::int32_t codePage, std::size_t maxBytes) {
    FilePreview result;
    std::string head;
    if (!platform::ReadFileHead(path, maxBytes, head, result.bTruncated, &result.nError)) {
        return result;
    }
    result.nBytes = head.size();
    result.preview = DecodePreview(codePage, reinterpret_cast<const std::uint8_t*>(head.data()),
                                   head.size(), !result.bTruncated);
    return result;
}

std::vector<DetectionCandidate> CombineDetections(const std::vector<FileDetection>& files) {
    std::vector<std::int32_t> order;
    std::map<std::int32_t, std::pair<int, double>> votes; // code page -> files, sum
    int voters = 0;
    for (const FileDetection& file : files) {
        if (file.error || file.candidates.empty()) {
            continue;
        }
        ++voters;
        for (const DetectionCandidate& candidate : file.candidates) {
            auto [it, isNew] = votes.try_emplace(candidate.nCodePage, 0, 0.0);
            if (isNew) {
                order.push_back(candidate.nCodePage);
            }
            ++it->second.first;
            it->second.second += candidate.dConfidence;
        }
    }
    std::vector<DetectionCandidate> ranking;
    for (const std::int32_t codePage : order) {
        const auto& [count, sum] = votes[codePage];
        if (count == voters) {
            ranking.push_back({codePage, sum / voters});
        }
    }
    std::stable_sort(ranking.begin(), ranking.end(),
                     [](const DetectionCandidate& a, const DetectionCandidate& b) {
                         return a.dConfidence > b.dConfidence;
                     });
    return ranking;
}

} // namespace varnolt
