// Encoding kernels of the target writer, with SSE2 paths for runs of ASCII,
// of one- and two-byte characters and of characters up to three bytes.
#include "output/utf_encode.hpp"

#include "platform/cpu_features.hpp"

#include <cstring>
#include <initializer_list>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(VARNOLT_AVX512_KERNELS) && defined(__SSE2__)
#define VARNOLT_UTF8_AVX512 1
#include <immintrin.h>
#endif

namespace varnolt {
namespace {

inline bool IsHighSurrogate(char16_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}
inline bool IsLowSurrogate(char16_t c) {
    return c >= 0xDC00 && c <= 0xDFFF;
}

// Encodes the unit at src[i] (with its partner when it starts a pair) and
// returns how many units it used.
inline std::size_t EncodeOne(const char16_t* src, std::size_t i, std::size_t n, std::uint8_t*& d) {
    const char16_t c = src[i];
    if (c < 0x80) {
        *d++ = static_cast<std::uint8_t>(c);
        return 1;
    }
    if (c < 0x800) {
        *d++ = static_cast<std::uint8_t>(0xC0 | (c >> 6));
        *d++ = static_cast<std::uint8_t>(0x80 | (c & 0x3F));
        return 1;
    }
    if (c < 0xD800 || c > 0xDFFF) {
        *d++ = static_cast<std::uint8_t>(0xE0 | (c >> 12));
        *d++ = static_cast<std::uint8_t>(0x80 | ((c >> 6) & 0x3F));
        *d++ = static_cast<std::uint8_t>(0x80 | (c & 0x3F));
        return 1;
    }
    if (IsHighSurrogate(c) && i + 1 < n && IsLowSurrogate(src[i + 1])) {
        const char32_t cp = 0x10000 + ((static_cast<char32_t>(c) - 0xD800) << 10) +
                            (static_cast<char32_t>(src[i + 1]) - 0xDC00);
        *d++ = static_cast<std::uint8_t>(0xF0 | (cp >> 18));
        *d++ = static_cast<std::uint8_t>(0x80 | ((cp >> 12) & 0x3F));
        *d++ = static_cast<std::uint8_t>(0x80 | ((cp >> 6) & 0x3F));
        *d++ = static_cast<std::uint8_t>(0x80 | (cp & 0x3F));
        return 2;
    }
    *d++ = 0xEF;
    *d++ = 0xBF;
    *d++ = 0xBD;
    return 1;
}

#if defined(__SSE2__)

// Eight units of one or two UTF-8 bytes sit as 16-bit fields in two 64-bit
// lanes, an ASCII unit with an empty high byte. Squeezing those bytes out
// moves each kept byte down by the number of ASCII units before it in its
// lane (0 to 3): first by one byte where that number is odd, then by two
// where it is 2 or 3. No two kept bytes ever land on one place, so each step
// is a select between the lane and its shifted copy. Indexed by which of the
// eight units are ASCII: the two steps' masks of destination bytes.
struct CSqueezeTable {
    alignas(16) std::uint64_t aMask[256][2][2]; // [pattern][step][lane]
    std::uint8_t aBytes[16];                    // UTF-8 bytes of four units
};

constexpr CSqueezeTable MakeSqueezeTable() {
    CSqueezeTable t{};
    for (unsigned pattern = 0; pattern < 256; ++pattern) {
        for (unsigned lane = 0; lane < 2; ++lane) {
            const unsigned ascii = (pattern >> (4 * lane)) & 15;
            unsigned at[8] = {};
            unsigned shift[8] = {};
            unsigned kept = 0;
            unsigned removed = 0;
            for (unsigned k = 0; k < 4; ++k) {
                at[kept] = 2 * k;
                shift[kept++] = removed;
                if ((ascii >> k) & 1) {
                    ++removed;
                } else {
                    at[kept] = 2 * k + 1;
                    shift[kept++] = removed;
                }
            }
            for (unsigned step = 0; step < 2; ++step) {
                for (unsigned b = 0; b < kept; ++b) {
                    if ((shift[b] >> step) & 1) {
                        at[b] -= 1u << step;
                        t.aMask[pattern][step][lane] |= std::uint64_t{0xFF} << (8 * at[b]);
                    }
                }
            }
            t.aBytes[ascii] = static_cast<std::uint8_t>(8 - removed);
        }
    }
    return t;
}

constexpr CSqueezeTable kSqueeze = MakeSqueezeTable();

inline __m128i Splat(unsigned value) {
    return _mm_set1_epi16(static_cast<short>(value));
}

inline __m128i Select(__m128i mask, __m128i yes, __m128i no) {
    return _mm_or_si128(_mm_and_si128(mask, yes), _mm_andnot_si128(mask, no));
}

// Eight units all below U+0800: ASCII ones become one byte, the others two.
// `pattern` has bit k set when unit k is ASCII (`ascii` as a lane mask).
inline std::uint8_t* EncodeTwoByteBlock(__m128i v, __m128i ascii, unsigned pattern,
                                        std::uint8_t* d) {
    const __m128i lead = _mm_or_si128(_mm_srli_epi16(v, 6), Splat(0xC0));
    const __m128i trail =
        _mm_or_si128(_mm_and_si128(_mm_slli_epi16(v, 8), Splat(0x3F00)), Splat(0x8000));
    const __m128i units = Select(ascii, v, _mm_or_si128(lead, trail));
    const auto* masks = reinterpret_cast<const __m128i*>(kSqueeze.aMask[pattern]);
    const __m128i once = Select(_mm_load_si128(masks), _mm_srli_epi64(units, 8), units);
    const __m128i out = Select(_mm_load_si128(masks + 1), _mm_srli_epi64(once, 16), once);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(d), out);
    d += kSqueeze.aBytes[pattern & 15];
    _mm_storeh_pi(reinterpret_cast<__m64*>(d), _mm_castsi128_ps(out));
    return d + kSqueeze.aBytes[pattern >> 4];
}

// Eight units without surrogates. Each becomes a 32-bit lane holding its
// UTF-8 bytes; `below3` (under U+0800) and `ascii` say how many count.
// Writes up to 28 bytes from d.
inline std::uint8_t* EncodeThreeByteBlock(__m128i v, __m128i ascii, __m128i below3,
                                          std::uint8_t* d) {
    const __m128i trail = _mm_or_si128(_mm_and_si128(v, Splat(0x3F)), Splat(0x80));
    const __m128i lead3 = _mm_or_si128(_mm_srli_epi16(v, 12), Splat(0xE0));
    const __m128i middle =
        _mm_or_si128(_mm_and_si128(_mm_slli_epi16(v, 2), Splat(0x3F00)), Splat(0x8000));
    const __m128i three = _mm_or_si128(lead3, middle);
    if (_mm_movemask_epi8(below3) == 0) {
        // All three bytes long: drop the fourth byte of every lane.
        const __m128i lanes[2] = {_mm_unpacklo_epi16(three, trail),
                                  _mm_unpackhi_epi16(three, trail)};
        const __m128i first = _mm_set_epi32(0, 0x00FFFFFF, 0, 0x00FFFFFF);
        const __m128i second = _mm_set_epi32(0xFFFF, static_cast<int>(0xFF000000), 0xFFFF,
                                             static_cast<int>(0xFF000000));
        const __m128i low6 = _mm_set_epi32(0, 0, 0xFFFF, -1);
        for (const __m128i lane : lanes) {
            const __m128i six = _mm_or_si128(_mm_and_si128(lane, first),
                                             _mm_and_si128(_mm_srli_epi64(lane, 8), second));
            const __m128i twelve = _mm_or_si128(_mm_and_si128(six, low6),
                                                _mm_andnot_si128(low6, _mm_srli_si128(six, 2)));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(d), twelve);
            d += 12;
        }
        return d;
    }
    const __m128i two =
        _mm_or_si128(_mm_or_si128(_mm_srli_epi16(v, 6), Splat(0xC0)), _mm_slli_epi16(trail, 8));
    const __m128i front = Select(ascii, v, Select(below3, two, three));
    // 3, less one for each of ascii and below3 (both all-ones there).
    const __m128i count = _mm_add_epi16(Splat(3), _mm_add_epi16(ascii, below3));
    std::uint64_t bytes =
        static_cast<std::uint64_t>(_mm_cvtsi128_si64(_mm_packus_epi16(count, count)));
    // Each pair of units is one 64-bit move; every unit is stored as four
    // bytes and the next one starts where its real length ends.
    auto put = [&](__m128i pair) {
        const auto units = static_cast<std::uint64_t>(_mm_cvtsi128_si64(pair));
        const auto first = static_cast<std::uint32_t>(units);
        const auto second = static_cast<std::uint32_t>(units >> 32);
        std::memcpy(d, &first, 4);
        d += bytes & 0xFF;
        std::memcpy(d, &second, 4);
        d += (bytes >> 8) & 0xFF;
        bytes >>= 16;
    };
    const __m128i low = _mm_unpacklo_epi16(front, trail);
    const __m128i high = _mm_unpackhi_epi16(front, trail);
    put(low);
    put(_mm_unpackhi_epi64(low, low));
    put(high);
    put(_mm_unpackhi_epi64(high, high));
    return d;
}

// Eight units holding a surrogate, one character at a time as the reference
// does; a pair that starts on the last unit takes one unit more.
inline std::size_t EncodeSurrogateBlock(const char16_t* src, std::size_t i, std::size_t n,
                                        std::uint8_t*& d) {
    std::size_t k = i;
    while (k < i + 8) {
        k += EncodeOne(src, k, n, d);
    }
    return k - i;
}

#endif

} // namespace

std::size_t EncodeUtf8Scalar(const char16_t* src, std::size_t n, std::uint8_t* dst) {
    std::uint8_t* d = dst;
    for (std::size_t i = 0; i < n;) {
        i += EncodeOne(src, i, n, d);
    }
    return static_cast<std::size_t>(d - dst);
}

namespace {

#if defined(__SSE2__)
// Every unit consumed left at least 3 bytes of dst behind it, so with k units
// still to go there are at least 3k bytes free at d: the wide stores below
// rely on that.
std::size_t EncodeUtf8Sse2(const char16_t* src, std::size_t n, std::uint8_t* dst) {
    std::uint8_t* d = dst;
    std::size_t i = 0;
    const __m128i zero = _mm_setzero_si128();
    // Blocks classified by their largest unit; the position moves by a fixed
    // step whatever the text holds, so the next loads never wait for this
    // block's result. Needing i + 16 <= n keeps 48 bytes free at d.
    while (i + 16 <= n) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i + 8));
        if (_mm_movemask_epi8(_mm_cmpeq_epi16(_mm_and_si128(_mm_or_si128(a, b), Splat(0xF800)),
                                              zero)) == 0xFFFF) {
            // Sixteen units below U+0800.
            const __m128i asciiA = _mm_cmpeq_epi16(_mm_and_si128(a, Splat(0xFF80)), zero);
            const __m128i asciiB = _mm_cmpeq_epi16(_mm_and_si128(b, Splat(0xFF80)), zero);
            const auto ascii =
                static_cast<unsigned>(_mm_movemask_epi8(_mm_packs_epi16(asciiA, asciiB)));
            if (ascii == 0xFFFF) {
                // All ASCII: stay in a tight loop while the run lasts.
                __m128i x = a;
                __m128i y = b;
                for (;;) {
                    _mm_storeu_si128(reinterpret_cast<__m128i*>(d), _mm_packus_epi16(x, y));
                    d += 16;
                    i += 16;
                    if (i + 16 > n) {
                        break;
                    }
                    x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
                    y = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i + 8));
                    if (_mm_movemask_epi8(_mm_cmpeq_epi16(
                            _mm_and_si128(_mm_or_si128(x, y), Splat(0xFF80)), zero)) != 0xFFFF) {
                        break;
                    }
                }
                continue;
            }
            const unsigned others = ~ascii & 0xFFFF;
            if ((others & (others - 1)) == 0 && i + 32 <= n) {
                // One accented letter among ASCII, the usual case in Western
                // text: the ASCII before it as packed, its two bytes, then
                // the ASCII after it packed again one byte further on (the
                // 16 units read there end at i + 32 at most).
                const auto at = static_cast<unsigned>(__builtin_ctz(others));
                _mm_storeu_si128(reinterpret_cast<__m128i*>(d), _mm_packus_epi16(a, b));
                const char16_t c = src[i + at];
                d[at] = static_cast<std::uint8_t>(0xC0 | (c >> 6));
                d[at + 1] = static_cast<std::uint8_t>(0x80 | (c & 0x3F));
                const __m128i x =
                    _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i + at + 1));
                const __m128i y =
                    _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i + at + 9));
                _mm_storeu_si128(reinterpret_cast<__m128i*>(d + at + 2), _mm_packus_epi16(x, y));
                d += 17;
                i += 16;
                continue;
            }
            d = EncodeTwoByteBlock(a, asciiA, ascii & 0xFF, d);
            d = EncodeTwoByteBlock(b, asciiB, ascii >> 8, d);
            i += 16;
            continue;
        }
        // Otherwise eight units by what they hold.
        const __m128i top = _mm_and_si128(a, Splat(0xF800));
        const __m128i below3 = _mm_cmpeq_epi16(top, zero);
        const __m128i ascii = _mm_cmpeq_epi16(_mm_and_si128(a, Splat(0xFF80)), zero);
        if (_mm_movemask_epi8(below3) == 0xFFFF) {
            const auto pattern =
                static_cast<unsigned>(_mm_movemask_epi8(_mm_packs_epi16(ascii, ascii))) & 0xFF;
            d = EncodeTwoByteBlock(a, ascii, pattern, d);
            i += 8;
        } else if (_mm_movemask_epi8(_mm_cmpeq_epi16(top, Splat(0xD800))) == 0) {
            d = EncodeThreeByteBlock(a, ascii, below3, d);
            i += 8;
        } else {
            i += EncodeSurrogateBlock(src, i, n, d);
        }
    }
    while (i < n) {
        i += EncodeOne(src, i, n, d);
    }
    return static_cast<std::size_t>(d - dst);
}
#endif

} // namespace

void BuildByteUtf8Map(const char16_t* units, CByteUtf8Map& map) {
    for (unsigned b = 0; b < 256; ++b) {
        std::uint8_t* entry = map.aEntry[b];
        std::uint8_t* end = entry;
        EncodeOne(units, b, 256, end);
        entry[3] = static_cast<std::uint8_t>(end - entry);
        if (b >= 0x80) {
            for (unsigned p = 0; p < 3; ++p) {
                map.aHighPlane[p][b - 0x80] = p < entry[3] ? entry[p] : 0;
            }
        }
    }
    // Shorter stretches are not worth a second test per block.
    constexpr unsigned kMinRunLength = 16;
    map.nRunLength = 0;
    for (unsigned first = 0x80; first < 0x100;) {
        unsigned end = first + 1;
        while (end < 0x100 && units[end] == static_cast<char16_t>(units[first] + (end - first))) {
            ++end;
        }
        if (end - first > map.nRunLength && end - first >= kMinRunLength) {
            map.nRunFirst = static_cast<std::uint8_t>(first);
            map.nRunLength = end - first;
            map.chRunBase = units[first];
        }
        first = end;
    }
}

namespace {

// Puts the sequence of one byte at d (four bytes stored, its length kept).
inline std::uint8_t* PutMapped(const CByteUtf8Map& map, std::uint8_t byte, std::uint8_t* d) {
    const std::uint8_t* entry = map.aEntry[byte];
    std::memcpy(d, entry, 4);
    return d + entry[3];
}

#if defined(__SSE2__)
inline std::uint8_t* PutMapped8(const CByteUtf8Map& map, const std::uint8_t* src, std::uint8_t* d) {
    for (int k = 0; k < 8; ++k) {
        d = PutMapped(map, src[k], d);
    }
    return d;
}
#endif

} // namespace

namespace {

// One byte at a time: the path of builds without SSE2 and of every tail.
std::size_t EncodeMappedPlain(const std::uint8_t* src, std::size_t n, const CByteUtf8Map& map,
                              std::uint8_t* dst) {
    std::uint8_t* d = dst;
    for (std::size_t i = 0; i < n; ++i) {
        if (src[i] < 0x80) {
            *d++ = src[i];
        } else {
            d = PutMapped(map, src[i], d);
        }
    }
    return static_cast<std::size_t>(d - dst);
}

#if defined(__SSE2__)
std::size_t EncodeMappedSse2(const std::uint8_t* src, std::size_t n, const CByteUtf8Map& map,
                             std::uint8_t* dst) {
    std::uint8_t* d = dst;
    std::size_t i = 0;
    // Blocks of 16 bytes. An all-ASCII block is stored as it is. In another,
    // each half of ASCII and run bytes is widened to units in registers and
    // encoded as the UTF-16 path encodes eight units; any other half is looked
    // up byte by byte.
    const __m128i zero = _mm_setzero_si128();
    const __m128i first = _mm_set1_epi8(static_cast<char>(map.nRunFirst));
    const __m128i last =
        _mm_set1_epi8(static_cast<char>(map.nRunLength == 0 ? 0 : map.nRunLength - 1));
    const __m128i shift =
        Splat(static_cast<char16_t>(map.chRunBase - static_cast<char16_t>(map.nRunFirst)));
    const bool twoByteRun = map.nRunLength != 0 && map.chRunBase + map.nRunLength <= 0x800;
    // A whole block beyond the current one keeps every wide store (up to 28
    // bytes for eight units) inside the MaxUtf8Size(n) + 1 room.
    for (; i + 32 <= n; i += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
        const unsigned others = static_cast<unsigned>(_mm_movemask_epi8(v));
        if (others == 0) {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(d), v);
            d += 16;
            continue;
        }
        if ((others & (others - 1) & ((others & (others - 1)) - 1)) == 0 || map.nRunLength == 0) {
            // One or two other bytes (or no stretch to widen): the ASCII
            // between them is copied with a 16-byte store each time.
            std::size_t at = 0;
            for (unsigned rest = others; rest != 0; rest &= rest - 1) {
                const auto k = static_cast<std::size_t>(__builtin_ctz(rest));
                _mm_storeu_si128(reinterpret_cast<__m128i*>(d),
                                 _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i + at)));
                d = PutMapped(map, src[i + k], d + (k - at));
                at = k + 1;
            }
            _mm_storeu_si128(reinterpret_cast<__m128i*>(d),
                             _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i + at)));
            d += 16 - at;
            continue;
        }
        const __m128i offset = _mm_sub_epi8(v, first);
        const __m128i inRun = _mm_cmpeq_epi8(_mm_min_epu8(offset, last), offset);
        const unsigned covered =
            static_cast<unsigned>(_mm_movemask_epi8(inRun)) | (~others & 0xFFFF);
        const __m128i halves[2] = {_mm_unpacklo_epi8(v, zero), _mm_unpackhi_epi8(v, zero)};
        const __m128i runs[2] = {_mm_unpacklo_epi8(inRun, inRun), _mm_unpackhi_epi8(inRun, inRun)};
        for (unsigned h = 0; h < 2; ++h) {
            if (((covered >> (8 * h)) & 0xFF) != 0xFF) {
                d = PutMapped8(map, src + i + 8 * h, d);
                continue;
            }
            const __m128i units = _mm_add_epi16(halves[h], _mm_and_si128(runs[h], shift));
            const unsigned pattern = (~others >> (8 * h)) & 0xFF;
            const __m128i ascii = _mm_cmpeq_epi16(_mm_and_si128(units, Splat(0xFF80)), zero);
            if (twoByteRun) {
                d = EncodeTwoByteBlock(units, ascii, pattern, d);
            } else {
                const __m128i below3 = _mm_cmpeq_epi16(_mm_and_si128(units, Splat(0xF800)), zero);
                d = EncodeThreeByteBlock(units, ascii, below3, d);
            }
        }
    }
    return static_cast<std::size_t>(d - dst) + EncodeMappedPlain(src + i, n - i, map, d);
}
#endif

#if defined(VARNOLT_UTF8_AVX512)

// Where each slot byte of the wide path comes from, as permute indices into
// the lead plane (0..63) and the second plane (64..127) of a 64-byte block.
// Pairs: 32 bytes of half h as two-byte slots (lead, second). Quads: 16
// bytes of quarter q as four-byte slots (lead, second, third, unused); the
// third and fourth name the byte's own index, for the one-plane permute that
// puts the third plane's byte there.
struct CSlotIndices {
    alignas(64) std::uint8_t aPairs[2][64];
    alignas(64) std::uint8_t aQuads[4][64];
};

constexpr CSlotIndices MakeSlotIndices() {
    CSlotIndices t{};
    for (unsigned h = 0; h < 2; ++h) {
        for (unsigned j = 0; j < 32; ++j) {
            t.aPairs[h][2 * j] = static_cast<std::uint8_t>(32 * h + j);
            t.aPairs[h][2 * j + 1] = static_cast<std::uint8_t>(64 + 32 * h + j);
        }
    }
    for (unsigned q = 0; q < 4; ++q) {
        for (unsigned j = 0; j < 16; ++j) {
            const auto own = static_cast<std::uint8_t>(16 * q + j);
            t.aQuads[q][4 * j] = own;
            t.aQuads[q][4 * j + 1] = static_cast<std::uint8_t>(64 + own);
            t.aQuads[q][4 * j + 2] = own;
            t.aQuads[q][4 * j + 3] = own;
        }
    }
    return t;
}

constexpr CSlotIndices kSlots = MakeSlotIndices();

// Every byte of a block gets a slot holding its whole sequence, and one
// compress squeezes out the slot bytes past each sequence's end.
VARNOLT_AVX512_TARGET inline std::uint8_t* PutSlots(__m512i slots, std::uint64_t keep,
                                                    std::uint8_t* d) {
    _mm512_storeu_si512(d, _mm512_maskz_compress_epi8(keep, slots));
    return d + _mm_popcnt_u64(keep);
}

// Blocks of 64 bytes: an all-ASCII block is stored as it is; in another, each
// of the three sequence planes is looked up for all 64 bytes at once (the
// low seven bits index 128 entries), then laid out as two-byte slots, or,
// in a half holding a three-byte sequence, as four-byte ones 16 bytes at a
// time. No step depends on a loaded length, so blocks overlap in the
// pipeline.
VARNOLT_AVX512_TARGET std::size_t EncodeMappedAvx512(const std::uint8_t* src, std::size_t n,
                                                     const CByteUtf8Map& map, std::uint8_t* dst) {
    const __m512i leadLow = _mm512_loadu_si512(map.aHighPlane[0]);
    const __m512i leadHigh = _mm512_loadu_si512(map.aHighPlane[0] + 64);
    const __m512i secondLow = _mm512_loadu_si512(map.aHighPlane[1]);
    const __m512i secondHigh = _mm512_loadu_si512(map.aHighPlane[1] + 64);
    const __m512i thirdLow = _mm512_loadu_si512(map.aHighPlane[2]);
    const __m512i thirdHigh = _mm512_loadu_si512(map.aHighPlane[2] + 64);
    constexpr std::uint64_t kEven = 0x5555555555555555;
    constexpr std::uint64_t kFirstOfFour = 0x1111111111111111;
    std::uint8_t* d = dst;
    std::size_t i = 0;
    // Each 64-byte store lands at most 3 bytes per byte consumed before it
    // into the MaxUtf8Size(n) + 1 room; the last one (the fourth quarter's,
    // after 48 bytes of the block) stays inside while 69 bytes are left.
    for (; i + 72 <= n; i += 64) {
        const __m512i v = _mm512_loadu_si512(src + i);
        const __mmask64 high = _mm512_movepi8_mask(v);
        if (high == 0) {
            _mm512_storeu_si512(d, v);
            d += 64;
            continue;
        }
        // ASCII bytes keep their own value as lead; their other planes are
        // don't-cares, masked out by `two` and `three`.
        const __m512i lead = _mm512_mask2_permutex2var_epi8(leadLow, v, high, leadHigh);
        const __m512i second = _mm512_permutex2var_epi8(secondLow, v, secondHigh);
        const __m512i third = _mm512_permutex2var_epi8(thirdLow, v, thirdHigh);
        const std::uint64_t two = _mm512_mask_test_epi8_mask(high, second, second);
        const std::uint64_t three = _mm512_mask_test_epi8_mask(high, third, third);
        for (unsigned h = 0; h < 2; ++h) {
            if (static_cast<std::uint32_t>(three >> (32 * h)) == 0) {
                const __m512i slots =
                    _mm512_permutex2var_epi8(lead, _mm512_load_si512(kSlots.aPairs[h]), second);
                d = PutSlots(slots, kEven | _pdep_u64(two >> (32 * h), ~kEven), d);
                continue;
            }
            for (unsigned q = 2 * h; q < 2 * h + 2; ++q) {
                const __m512i index = _mm512_load_si512(kSlots.aQuads[q]);
                const __m512i slots = _mm512_mask_permutexvar_epi8(
                    _mm512_permutex2var_epi8(lead, index, second), kFirstOfFour << 2, index, third);
                const std::uint64_t keep = kFirstOfFour |
                                           _pdep_u64(two >> (16 * q), kFirstOfFour << 1) |
                                           _pdep_u64(three >> (16 * q), kFirstOfFour << 2);
                d = PutSlots(slots, keep, d);
            }
        }
    }
    return static_cast<std::size_t>(d - dst) + EncodeMappedSse2(src + i, n - i, map, d);
}

VARNOLT_AVX512_KERNELS_BEGIN

VARNOLT_AVX512_TARGET inline __m512i Splat32(std::uint32_t value) {
    return _mm512_set1_epi32(static_cast<int>(value));
}

// Sixteen units without surrogates, each as a four-byte slot holding its
// sequence (one, two or three bytes), squeezed by one compress.
VARNOLT_AVX512_TARGET inline std::uint8_t* EncodeSixteenUnits(__m256i units, std::uint8_t* d) {
    const __m512i c = _mm512_cvtepu16_epi32(units);
    const __mmask16 two = _mm512_cmpge_epu32_mask(c, Splat32(0x80));
    const __mmask16 three = _mm512_cmpge_epu32_mask(c, Splat32(0x800));
    const __m512i low6 = _mm512_and_si512(c, Splat32(0x3F));
    const __m512i twoBytes = _mm512_or_si512(
        _mm512_or_si512(_mm512_srli_epi32(c, 6), _mm512_slli_epi32(low6, 8)), Splat32(0x80C0));
    const __m512i threeBytes =
        _mm512_or_si512(_mm512_or_si512(_mm512_srli_epi32(c, 12), Splat32(0x8080E0)),
                        _mm512_or_si512(_mm512_and_si512(_mm512_slli_epi32(c, 2), Splat32(0x3F00)),
                                        _mm512_slli_epi32(low6, 16)));
    const __m512i slots =
        _mm512_mask_mov_epi32(_mm512_mask_mov_epi32(c, two, twoBytes), three, threeBytes);
    constexpr std::uint64_t kFirstOfFour = 0x1111111111111111;
    return PutSlots(
        slots,
        kFirstOfFour | _pdep_u64(two, kFirstOfFour << 1) | _pdep_u64(three, kFirstOfFour << 2), d);
}

// Blocks of 32 units: all ASCII narrowed and stored; all below U+0800 as
// 32 two-byte slots in one register; otherwise 16 units at a time as
// four-byte slots. A block holding a surrogate goes eight units at a time
// through the SSE2 steps, which pair the halves.
VARNOLT_AVX512_TARGET std::size_t EncodeUtf8Avx512(const char16_t* src, std::size_t n,
                                                   std::uint8_t* dst) {
    constexpr std::uint64_t kEven = 0x5555555555555555;
    std::uint8_t* d = dst;
    std::size_t i = 0;
    // A store of 64 bytes for the second half of a block, after 16 units of
    // it, stays inside the 3n room while 38 units are left.
    while (i + 40 <= n) {
        const __m512i v = _mm512_loadu_si512(src + i);
        const __m512i topBits = _mm512_and_si512(v, _mm512_set1_epi16(static_cast<short>(0xF800)));
        if (_mm512_test_epi16_mask(v, _mm512_set1_epi16(static_cast<short>(0xFF80))) == 0) {
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(d), _mm512_cvtepi16_epi8(v));
            d += 32;
            i += 32;
            continue;
        }
        if (_mm512_test_epi16_mask(topBits, topBits) == 0) {
            const std::uint64_t two =
                _mm512_test_epi16_mask(v, _mm512_set1_epi16(static_cast<short>(0xFF80)));
            const __m512i low6 = _mm512_and_si512(v, _mm512_set1_epi16(0x3F));
            const __m512i pair = _mm512_or_si512(
                _mm512_or_si512(_mm512_srli_epi16(v, 6), _mm512_slli_epi16(low6, 8)),
                _mm512_set1_epi16(static_cast<short>(0x80C0)));
            d = PutSlots(_mm512_mask_mov_epi16(v, static_cast<__mmask32>(two), pair),
                         kEven | _pdep_u64(two, ~kEven), d);
            i += 32;
            continue;
        }
        if (_mm512_cmpeq_epi16_mask(topBits, _mm512_set1_epi16(static_cast<short>(0xD800))) == 0) {
            d = EncodeSixteenUnits(_mm512_castsi512_si256(v), d);
            d = EncodeSixteenUnits(_mm512_extracti64x4_epi64(v, 1), d);
            i += 32;
            continue;
        }
        const std::size_t end = i + 32;
        while (i + 8 <= end) {
            const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
            const __m128i top = _mm_and_si128(a, Splat(0xF800));
            if (_mm_movemask_epi8(_mm_cmpeq_epi16(top, Splat(0xD800))) == 0) {
                const __m128i below3 = _mm_cmpeq_epi16(top, _mm_setzero_si128());
                const __m128i ascii =
                    _mm_cmpeq_epi16(_mm_and_si128(a, Splat(0xFF80)), _mm_setzero_si128());
                d = EncodeThreeByteBlock(a, ascii, below3, d);
                i += 8;
            } else {
                i += EncodeSurrogateBlock(src, i, n, d);
            }
        }
    }
    return static_cast<std::size_t>(d - dst) + EncodeUtf8Sse2(src + i, n - i, d);
}

VARNOLT_AVX512_KERNELS_END
#endif

// The two kernels of one path; null where the build or processor lacks it.
struct CUtf8Kernels {
    std::size_t (*pUnits)(const char16_t*, std::size_t, std::uint8_t*) = nullptr;
    std::size_t (*pMapped)(const std::uint8_t*, std::size_t, const CByteUtf8Map&,
                           std::uint8_t*) = nullptr;
};

CUtf8Kernels KernelsFor(Utf8EncoderPath path) {
    switch (path) {
    case Utf8EncoderPath::kAvx512:
#if defined(VARNOLT_UTF8_AVX512)
        if (platform::HasAvx512Kernels()) {
            return {EncodeUtf8Avx512, EncodeMappedAvx512};
        }
#endif
        break;
    case Utf8EncoderPath::kSse2:
#if defined(__SSE2__)
        return {EncodeUtf8Sse2, EncodeMappedSse2};
#endif
        break;
    case Utf8EncoderPath::kPlain:
        return {EncodeUtf8Scalar, EncodeMappedPlain};
    }
    return {};
}

// The best path's kernels, chosen on first use.
const CUtf8Kernels& BestKernels() {
    static const CUtf8Kernels best = [] {
        for (const Utf8EncoderPath path : {Utf8EncoderPath::kAvx512, Utf8EncoderPath::kSse2}) {
            const CUtf8Kernels kernels = KernelsFor(path);
            if (kernels.pUnits != nullptr) {
                return kernels;
            }
        }
        return KernelsFor(Utf8EncoderPath::kPlain);
    }();
    return best;
}

} // namespace

bool CanUseUtf8EncoderPath(Utf8EncoderPath path) {
    return KernelsFor(path).pUnits != nullptr;
}

std::size_t EncodeUtf8(const char16_t* src, std::size_t n, std::uint8_t* dst) {
    return BestKernels().pUnits(src, n, dst);
}

std::size_t EncodeUtf8On(Utf8EncoderPath path, const char16_t* src, std::size_t n,
                         std::uint8_t* dst) {
    const CUtf8Kernels kernels = KernelsFor(path);
    return (kernels.pUnits != nullptr ? kernels.pUnits : EncodeUtf8Scalar)(src, n, dst);
}

std::size_t EncodeMappedUtf8(const std::uint8_t* src, std::size_t n, const CByteUtf8Map& map,
                             std::uint8_t* dst) {
    return BestKernels().pMapped(src, n, map, dst);
}

std::size_t EncodeMappedUtf8On(Utf8EncoderPath path, const std::uint8_t* src, std::size_t n,
                               const CByteUtf8Map& map, std::uint8_t* dst) {
    const CUtf8Kernels kernels = KernelsFor(path);
    return (kernels.pMapped != nullptr ? kernels.pMapped : EncodeMappedPlain)(src, n, map, dst);
}

void SwapUtf16Bytes(const char16_t* src, std::size_t n, char16_t* dst) {
    std::size_t i = 0;
#if defined(__SSE2__)
    for (; i + 8 <= n; i += 8) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i),
                         _mm_or_si128(_mm_slli_epi16(v, 8), _mm_srli_epi16(v, 8)));
    }
#endif
    for (; i < n; ++i) {
        dst[i] = static_cast<char16_t>((src[i] >> 8) | (src[i] << 8));
    }
}

} // namespace varnolt
