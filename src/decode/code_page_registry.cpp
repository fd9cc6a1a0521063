// The decoder of each code page, built once from the generated tables.
#include "decode/code_page_decoder.hpp"
#include "decode/decoders.hpp"

#include <algorithm>
#include <memory>
#include <vector>

namespace varnolt {

namespace {

class CRegistry {
public:
    CRegistry() {
        for (std::size_t k = 0; k < tables::kSingleByteTableCount; ++k) {
            Add(std::make_unique<CSingleByteDecoder>(tables::kSingleByteTables[k]));
        }
        const CDoubleByteDecoder* gbk = nullptr;
        for (std::size_t k = 0; k < tables::kDoubleByteTableCount; ++k) {
            auto decoder = std::make_unique<CDoubleByteDecoder>(tables::kDoubleByteTables[k]);
            if (decoder->CodePage() == 936) {
                gbk = decoder.get();
            }
            Add(std::move(decoder));
        }
        Add(std::make_unique<CGb18030Decoder>());
        if (gbk != nullptr) {
            Add(std::make_unique<CHzDecoder>(*gbk));
        }
        for (std::size_t k = 0; k < tables::kIsciiTableCount; ++k) {
            Add(std::make_unique<CIsciiDecoder>(tables::kIsciiTables[k].nCodePage));
        }
        Add(std::make_unique<CUtf8Decoder>());
        std::sort(m_decoders.begin(), m_decoders.end(),
                  [](const auto& a, const auto& b) { return a->CodePage() < b->CodePage(); });
    }

    const CCodePageDecoder* Find(std::int32_t codePage) const {
        const auto it = std::lower_bound(
            m_decoders.begin(), m_decoders.end(), codePage,
            [](const auto& decoder, std::int32_t cp) { return decoder->CodePage() < cp; });
        return it != m_decoders.end() && (*it)->CodePage() == codePage ? it->get() : nullptr;
    }

private:
    void Add(std::unique_ptr<CCodePageDecoder> decoder) {
        m_decoders.push_back(std::move(decoder));
    }

    std::vector<std::unique_ptr<CCodePageDecoder>> m_decoders;
};

const CRegistry& Registry() {
    static const CRegistry registry;
    return registry;
}

} // namespace

const CCodePageDecoder* FindDecoder(std::int32_t codePage) {
    return Registry().Find(codePage);
}

const char16_t* SingleByteUnits(std::int32_t codePage) {
    const auto* decoder = dynamic_cast<const CSingleByteDecoder*>(FindDecoder(codePage));
    return decoder != nullptr ? decoder->Units() : nullptr;
}

bool IsValidCodePage(std::int32_t codePage) {
    return FindDecoder(codePage) != nullptr;
}

bool IsDBCSLeadByteEx(std::int32_t codePage, std::uint8_t byte) {
    const CCodePageDecoder* decoder = FindDecoder(codePage);
    return decoder != nullptr && decoder->IsLeadByte(byte);
}

bool UsesStrictFlag(std::int32_t codePage) {
    // UTF-8 gets the strict flag: every system we run on counts as current.
    return !((codePage >= 50220 && codePage <= 50222) || codePage == 50225 || codePage == 50227 ||
             codePage == 50229 || codePage == 52936 || codePage == 54936 ||
             (codePage >= 57002 && codePage <= 57011) || codePage == 65000);
}

std::size_t MultiByteToWideChar(std::int32_t codePage, bool bStrict, const std::uint8_t* in,
                                std::size_t n, bool bFinal, CDecoderState& state, char16_t* out,
                                std::size_t capacity, DecodeError& error) {
    const CCodePageDecoder* decoder = FindDecoder(codePage);
    if (decoder == nullptr) {
        error = DecodeError::kInvalidParameter;
        return 0;
    }
    if (capacity < decoder->MaxOutput(n)) {
        error = DecodeError::kInsufficientBuffer;
        return 0;
    }
    CDecoderState attempt = state;
    std::size_t written = 0;
    error = decoder->Decode(in, n, bFinal, bStrict, attempt, out, written);
    if (error != DecodeError::kNone) {
        return 0;
    }
    state = attempt;
    return written;
}

} // namespace varnolt
