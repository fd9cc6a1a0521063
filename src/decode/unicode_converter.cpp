// CUnicodeConverter: decodes chunks through the code-page layer (or the UTF-16
// check), drops a leading byte-order mark and passes the text on.
#include "decode/unicode_converter.hpp"

#include "decode/armscii.hpp"
#include "decode/ascii.hpp"
#include "decode/codepage_tables.hpp"
#include "decode/decode_exceptions.hpp"
#include "decode/html_stage.hpp"
#include "output/text_sink.hpp"
#include "settings/app_settings.hpp"
#include "settings/file_status.hpp"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace varnolt {

namespace {

constexpr std::size_t kMaxCapacity = 0x7FFFFFFF;
constexpr int kMaxAttempts = 4;

// Parallel workers show their internal-error messages one at a time.
std::mutex s_internalErrorLock;

void ReportToStandardError(std::string_view text) {
    std::fprintf(stderr, "%.*s\n", static_cast<int>(text.size()), text.data());
}

// The byte map of a single-byte page, when its text can be handed on as
// bytes: ASCII maps to itself and no unit is one the text may not hold.
std::unique_ptr<CByteTextMap> MakeByteTextMap(std::int32_t codePage) {
    const char16_t* units = SingleByteUnits(codePage);
    if (units == nullptr || codePage == kArmsciiCodePage) {
        return nullptr;
    }
    for (unsigned b = 0; b < 256; ++b) {
        const char16_t u = units[b];
        if ((b < 0x80 && u != b) || (b != 0 && u == 0) || (u >= 0xD800 && u <= 0xDFFF) ||
            u == 0xFEFF) {
            return nullptr;
        }
    }
    auto map = std::make_unique<CByteTextMap>();
    std::memcpy(map->aUnits, units, sizeof map->aUnits);
    BuildByteUtf8Map(units, map->utf8);
    return map;
}

// Runs a call that writes toward the target: a file error there is the
// writer's (5010), whichever stage between met it.
template <class Call> void AsWriterFailure(Call call) {
    try {
        call();
    } catch (const CFileExceptionFromTargetFileWriter&) {
        throw;
    } catch (const CFileException& error) {
        throw CFileExceptionFromTargetFileWriter(error);
    }
}

} // namespace

CUnicodeConverter::CUnicodeConverter(CTextSink& writer, IHtmlStage* pHtmlStage,
                                     IFileStatusSink& status)
    : m_writer(writer), m_pHtmlStage(pHtmlStage), m_status(status),
      m_strHtmlFileExt(kDefaultHtmlFileExt), m_reportInternalError(ReportToStandardError) {
    Grow(kInitialCapacity);
}

CUnicodeConverter::~CUnicodeConverter() = default;

void CUnicodeConverter::SetCodePage(std::int32_t codePage) {
    m_nCodePage = codePage;
    m_bStrict = UsesStrictFlag(codePage);
    m_decoderState.Reset();
    if (codePage == m_nMapCodePage) {
        return; // a run that detects each file's page sets it per file
    }
    m_nMapCodePage = codePage;
    m_pByteMap = MakeByteTextMap(codePage);
    unsigned low = 256;
    unsigned high = 0;
    for (unsigned b = 0; m_pByteMap && b < 256; ++b) {
        if (m_pByteMap->aUnits[b] == tables::kNoMapping) {
            low = std::min(low, b);
            high = b;
        }
    }
    m_nUnmappedLow = static_cast<std::uint8_t>(low == 256 ? 1 : low);
    m_nUnmappedHigh = static_cast<std::uint8_t>(low == 256 ? 0 : high);
}

void CUnicodeConverter::SetInternalErrorReporter(std::function<void(std::string_view)> reporter) {
    m_reportInternalError = std::move(reporter);
}

void CUnicodeConverter::StartFile(bool bFileIsHtml) {
    m_bFirstChunk = true;
    m_bFileIsHtml = bFileIsHtml;
    m_decoderState.Reset();
}

void CUnicodeConverter::Grow(std::size_t capacity) {
    // Contents need not survive: every attempt decodes the chunk afresh.
    m_pOutput.reset(new char16_t[capacity]);
    m_nCapacity = capacity;
}

void CUnicodeConverter::ReportInternalError(int number) {
    const std::lock_guard<std::mutex> lock(s_internalErrorLock);
    m_reportInternalError("Unexpected internal Error (" + std::to_string(number) + ")");
}

bool CUnicodeConverter::PassOnMapped(const std::uint8_t* bytes, std::size_t n) {
    const char16_t* units = m_pByteMap->aUnits;
    std::size_t i = 0;
    if (m_nUnmappedLow <= m_nUnmappedHigh) {
#if defined(__SSE2__)
        // Whole blocks with no byte in the unmapped bytes' range need no lookup.
        const __m128i low = _mm_set1_epi8(static_cast<char>(m_nUnmappedLow));
        const __m128i span = _mm_set1_epi8(static_cast<char>(m_nUnmappedHigh - m_nUnmappedLow));
        for (; i + 16 <= n; i += 16) {
            const __m128i offset =
                _mm_sub_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + i)), low);
            const __m128i inRange = _mm_cmpeq_epi8(_mm_min_epu8(offset, span), offset);
            for (auto m = static_cast<unsigned>(_mm_movemask_epi8(inRange)); m != 0; m &= m - 1) {
                if (units[bytes[i + static_cast<unsigned>(__builtin_ctz(m))]] ==
                    tables::kNoMapping) {
                    return false;
                }
            }
        }
#endif
        for (; i < n; ++i) {
            if (units[bytes[i]] == tables::kNoMapping) {
                return false;
            }
        }
    }
    // No unit of the map is U+FEFF, so there is no byte-order mark to drop.
    m_bFirstChunk = false;
    if (n != 0) {
        AsWriterFailure([&] { m_writer.WriteMapped(bytes, n, *m_pByteMap); });
    }
    return true;
}

void CUnicodeConverter::ConvertChunk(const std::uint8_t* bytes, std::size_t n) {
    // A single-byte page's text that no HTML stage reads goes as bytes to a
    // sink that encodes them itself, skipping the UTF-16 step between.
    if (m_pByteMap && !HtmlStageReads() && m_writer.TakesMappedBytes() && PassOnMapped(bytes, n)) {
        return;
    }
    if (m_nCapacity > kMaxCapacity) {
        // An impossible state: the capacity only doubles from 8196 a few times.
        std::abort();
    }
    std::size_t length = 0;
    for (int attempt = 1;; ++attempt) {
        DecodeError error = DecodeError::kNone;
        if (m_nCodePage == kArmsciiCodePage) {
            const std::size_t count =
                ArmsciiToWideChar(m_nCodePage, reinterpret_cast<const char*>(bytes),
                                  m_pOutput.get(), m_nCapacity, error);
            length = count > 0 ? count - 1 : 0; // without the terminator
        } else {
            length = MultiByteToWideChar(m_nCodePage, m_bStrict, bytes, n, false, m_decoderState,
                                         m_pOutput.get(), m_nCapacity, error);
        }
        if (error == DecodeError::kNone) {
            break;
        }
        if (error == DecodeError::kInsufficientBuffer) {
            // The larger buffer stays for later chunks and files.
            Grow(m_nCapacity * 2);
            if (attempt + 1 <= kMaxAttempts) {
                continue;
            }
            ReportInternalError(101);
            throw CMbcsToUnicodeException();
        }
        if (error == DecodeError::kNoUnicodeTranslation) {
            throw CMbcsToUnicodeException();
        }
        ReportInternalError(100);
        throw CMbcsToUnicodeException();
    }
    PassOn(m_pOutput.get(), length);
}

bool CUnicodeConverter::IsLegalUtf16(const char16_t* text, std::size_t n) {
    for (std::size_t i = ascii::FirstUnitToCheck(text, n); i < n; ++i) {
        const char16_t u = text[i];
        // One test keeps the common case fast: every illegal unit is 0 or >= 0xD800.
        if (u != 0 && u < 0xD800) {
            continue;
        }
        if (u == 0 || u >= 0xFFFE) {
            return false;
        }
        if (u >= 0xD800 && u <= 0xDBFF) {
            if (i + 1 == n || text[i + 1] < 0xDC00 || text[i + 1] > 0xDFFF) {
                return false;
            }
            ++i;
        } else if (u >= 0xDC00 && u <= 0xDFFF) {
            return false;
        }
    }
    return true;
}

void CUnicodeConverter::ConvertUtf16Chunk(const char16_t* text, std::size_t n) {
    if (!IsLegalUtf16(text, n)) {
        throw CUtf16InvalidException();
    }
    PassOn(text, n);
}

void CUnicodeConverter::PassOn(const char16_t* text, std::size_t n) {
    if (m_bFirstChunk && n > 0 && text[0] == 0xFEFF) {
        ++text;
        --n;
    }
    m_bFirstChunk = false;
    WriteText(std::u16string_view(text, n));
}

void CUnicodeConverter::WriteText(std::u16string_view text) {
    if (text.empty()) {
        return;
    }
    AsWriterFailure([&] {
        if (HtmlStageReads()) {
            m_pHtmlStage->Feed(text);
        } else {
            m_writer.WriteUnicode(text);
        }
    });
}

void CUnicodeConverter::Finish() {
    // A stateful decoder may still hold the last bytes of the file.
    if (m_decoderState.nPending != 0 || m_decoderState.nMode != 0) {
        if (FindDecoder(m_nCodePage) != nullptr) {
            DecodeError error = DecodeError::kNone;
            const std::size_t length =
                MultiByteToWideChar(m_nCodePage, m_bStrict, nullptr, 0, true, m_decoderState,
                                    m_pOutput.get(), m_nCapacity, error);
            if (error != DecodeError::kNone) {
                throw CMbcsToUnicodeException();
            }
            PassOn(m_pOutput.get(), length);
        }
    }
    m_decoderState.Reset();
    const bool bHtml = HtmlStageReads();
    if (bHtml) {
        AsWriterFailure([&] { m_pHtmlStage->FlushPending(); });
    }
    // A file whose text did not all reach the writer gets no warning of its
    // own: the write failure is its result, as it would be had it come at once.
    SettleOutput();
    if (bHtml && m_bMetaTagOption && !m_pHtmlStage->MetaTagAddedOrUpdated()) {
        m_status.SetStatus(m_pHtmlStage->LogIndex(), kLevelWarning, kMsgNoMetaTag);
    }
}

void CUnicodeConverter::SettleOutput() {
    AsWriterFailure([&] { m_writer.Settle(); });
}

bool CUnicodeConverter::IsHtmlFile(std::string_view extension) const {
    return !extension.empty() && IsExtensionInList(m_strHtmlFileExt, std::string(extension));
}

} // namespace varnolt
