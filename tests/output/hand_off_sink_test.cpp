// The hand-off to a second thread: the target sees the caller's pieces
// exactly, and its failure comes back to the caller with nothing after it.
#include "output/hand_off_sink.hpp"
#include "platform/file_exception.hpp"
#include "platform/text_utf.hpp"

#include <algorithm>
#include <chrono>
#include <gtest/gtest.h>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace varnolt {
namespace {

// Records each piece and the thread that wrote it; fails at piece `failAt`.
class CRecordingSink : public CTextSink {
public:
    std::vector<std::u16string> pieces;
    std::vector<std::thread::id> threads;
    std::size_t failAt = SIZE_MAX;
    void WriteUnicode(std::u16string_view text) override {
        if (pieces.size() == failAt) {
            throw CFileException(CFileException::kDiskFull, 28, "target");
        }
        pieces.emplace_back(text);
        threads.push_back(std::this_thread::get_id());
    }
    // Marks a piece that came as bytes, to show it kept its kind.
    void WriteMapped(const std::uint8_t* bytes, std::size_t n, const CByteTextMap& map) override {
        CTextSink::WriteMapped(bytes, n, map);
        pieces.back().insert(0, u"#");
    }
};

// Bytes map to their own units, so a piece of bytes reads as its text.
const CByteTextMap& IdentityMap() {
    static const CByteTextMap map = [] {
        CByteTextMap m;
        for (unsigned b = 0; b < 256; ++b) {
            m.aUnits[b] = static_cast<char16_t>(b);
        }
        BuildByteUtf8Map(m.aUnits, m.utf8);
        return m;
    }();
    return map;
}

struct CCores {
    int asked = 0;
    int borrowed = 0;
    int givenBack = 0;
    bool allow = true;
    bool Borrow() {
        ++asked;
        borrowed += allow ? 1 : 0;
        return allow;
    }
};

// Pieces of every size, from one unit to more than a slot.
std::vector<std::u16string> Pieces() {
    std::vector<std::u16string> pieces;
    for (std::size_t i = 0; i < 400; ++i) {
        const std::size_t size =
            i % 50 == 49 ? CHandOffSink::kSlotUnits + 3 : 1 + (i * 7919) % 9000;
        pieces.emplace_back(size, static_cast<char16_t>(u'A' + i % 26));
    }
    return pieces;
}

TEST(HandOffSink, PassesEveryPieceInOrderAndSwitchesAtTheThreshold) {
    CRecordingSink target;
    CCores cores;
    CHandOffSink sink(
        target, [&cores] { return cores.Borrow(); }, [&cores] { ++cores.givenBack; });
    // Every third piece goes as bytes (odd byte counts included), and comes
    // out marked as such, in its place.
    std::vector<std::u16string> pieces = Pieces();
    sink.StartFile(20000);
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        if (i % 3 == 1) {
            const std::string bytes(pieces[i].begin(), pieces[i].end());
            sink.WriteMapped(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size(),
                             IdentityMap());
            pieces[i].insert(0, u"#");
        } else {
            sink.WriteUnicode(pieces[i]);
        }
    }
    sink.Settle();
    EXPECT_EQ(target.pieces, pieces);
    EXPECT_TRUE(sink.UsedSecondThread());
    sink.EndFile();
    EXPECT_EQ(cores.borrowed, 1);
    EXPECT_EQ(cores.givenBack, 1);
    // The text before the threshold went through on the caller's thread,
    // most of the rest on the second one.
    EXPECT_EQ(target.threads.front(), std::this_thread::get_id());
    std::size_t elsewhere = 0;
    for (const std::thread::id id : target.threads) {
        elsewhere += id != std::this_thread::get_id() ? 1 : 0;
    }
    EXPECT_GT(elsewhere, pieces.size() / 2);

    // Below the threshold no core is asked for; without one to borrow the
    // file stays on one thread.
    target.pieces.clear();
    sink.StartFile(1u << 30);
    sink.WriteUnicode(u"small");
    sink.EndFile();
    EXPECT_EQ(cores.asked, 1);
    cores.allow = false;
    sink.StartFile(0);
    sink.WriteUnicode(u"a");
    sink.WriteUnicode(u"b");
    sink.Settle();
    sink.EndFile();
    EXPECT_FALSE(sink.UsedSecondThread());
    EXPECT_EQ(target.pieces, (std::vector<std::u16string>{u"small", u"a", u"b"}));
    EXPECT_EQ(cores.givenBack, 1) << "nothing borrowed, nothing given back";
}

TEST(HandOffSink, ATargetFailureReachesTheCallerAndNothingFollowsIt) {
    const std::vector<std::u16string> pieces = Pieces();
    for (const std::size_t failAt :
         {std::size_t{1}, std::size_t{3}, std::size_t{120}, pieces.size() - 1}) {
        SCOPED_TRACE(failAt);
        CRecordingSink target;
        target.failAt = failAt;
        CHandOffSink sink(
            target, [] { return true; }, [] {});
        sink.StartFile(0);
        bool thrown = false;
        // The failure comes back at a later write or at the latest at Settle.
        try {
            for (const std::u16string& piece : pieces) {
                sink.WriteUnicode(piece);
            }
            sink.Settle();
        } catch (const CFileException& error) {
            thrown = true;
            EXPECT_EQ(error.m_cause, CFileException::kDiskFull);
        }
        EXPECT_TRUE(thrown);
        ASSERT_EQ(target.pieces.size(), failAt) << "no piece after the failed one";
        EXPECT_TRUE(std::equal(target.pieces.begin(), target.pieces.end(), pieces.begin()));
        EXPECT_THROW(sink.Settle(), CFileException) << "the failure stays the file's";
        sink.EndFile();
        // The next file starts clean.
        target.failAt = SIZE_MAX;
        target.pieces.clear();
        sink.StartFile(0);
        sink.WriteUnicode(u"next");
        sink.Settle();
        sink.EndFile();
        EXPECT_EQ(target.pieces, std::vector<std::u16string>{u"next"});
    }
}

TEST(HandOffSink, EndingAFileEarlyDropsWhatWasNeverHandedOn) {
    CRecordingSink target;
    int givenBack = 0;
    {
        CHandOffSink sink(
            target, [] { return true; }, [&givenBack] { ++givenBack; });
        sink.StartFile(0);
        sink.WriteUnicode(u"first"); // written at once: the threshold is passed after it
        sink.WriteUnicode(u"queued, never settled");
        sink.EndFile(); // as after a reader failure whose text is discarded
        EXPECT_EQ(givenBack, 1);
        sink.StartFile(0);
        sink.WriteUnicode(u"a");
        sink.WriteUnicode(u"b");
    } // destroyed mid-file: the thread ends, nothing is left running
    EXPECT_EQ(givenBack, 2);
    EXPECT_EQ(target.pieces, (std::vector<std::u16string>{u"first", u"a"}));
}

// Writes UTF-8 as the target writer does, holding a high surrogate at a
// piece's end for its partner: what it writes, and how each piece came.
class CUtf8Target : public CTextSink {
public:
    std::string bytes;
    std::string kinds; // 'u' units, 'm' mapped bytes, 'e' encoded bytes
    std::u16string held;
    void WriteUnicode(std::u16string_view text) override {
        std::u16string all = held + std::u16string(text);
        held.clear();
        if (!all.empty() && all.back() >= 0xD800 && all.back() <= 0xDBFF) {
            held = all.back();
            all.pop_back();
        }
        bytes += Utf16ToUtf8(all);
        kinds += 'u';
    }
    bool TakesMappedBytes() const override { return true; }
    bool WritesUtf8() const override { return true; }
    void WriteMapped(const std::uint8_t* data, std::size_t n, const CByteTextMap& map) override {
        if (!held.empty()) {
            bytes += Utf16ToUtf8(std::exchange(held, u""));
        }
        std::string out(MaxUtf8Size(n) + 1, '\0');
        out.resize(
            EncodeMappedUtf8(data, n, map.utf8, reinterpret_cast<std::uint8_t*>(out.data())));
        bytes += out;
        kinds += 'm';
    }
    void WriteEncoded(const std::uint8_t* data, std::size_t n) override {
        bytes.append(reinterpret_cast<const char*>(data), n);
        kinds += 'e';
    }
};

// On the second thread's side, the caller encodes every other piece itself,
// units or bytes, but never where the target pairs a high surrogate at a
// piece's end with the next piece; the target's output is the same either
// way.
TEST(HandOffSink, SharesTheEncodingExceptWhereTheTargetPairsASurrogate) {
    CUtf8Target target;
    CHandOffSink sink(
        target, [] { return true; }, [] {});
    std::string text;
    for (int i = 0; i < 6000; ++i) {
        text += static_cast<char>(i % 9 == 0 ? 0xE0 + i % 0x20 : 'a' + i % 26);
    }
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
    std::u16string units(text.begin(), text.end());
    for (auto& u : units) {
        u = static_cast<char16_t>(static_cast<unsigned char>(u));
    }
    sink.StartFile(0);
    std::string expected;
    for (int round = 0; round < 2; ++round) {
        for (std::size_t at = 0; at < text.size(); at += 1000) {
            sink.WriteMapped(bytes + at, 1000, IdentityMap());
            expected += Utf16ToUtf8(units.substr(at, 1000));
        }
        if (round == 0) {
            sink.WriteUnicode(u"\u00E9t\u00E9");
            expected += "\xC3\xA9t\xC3\xA9";
        }
    }
    // A pair split over two pieces, then a half that has no partner: each
    // piece that ends with a high surrogate, and the piece after it, goes as
    // it came.
    const std::u16string split[] = {u"\u20AC\xD83D", u"\xDE00!", u"\xD83D", u"\xD83D", u"z",
                                    u"\xDE00",       u"\u2026",  u"\u2026"};
    for (const auto& piece : split) {
        sink.WriteUnicode(piece);
    }
    expected += "\xE2\x82\xAC\xF0\x9F\x98\x80!"         // the pair joined
                "\xEF\xBF\xBD\xEF\xBF\xBDz"             // two halves alone
                "\xEF\xBF\xBD\xE2\x80\xA6\xE2\x80\xA6"; // a low half alone
    sink.WriteMapped(bytes, 1000, IdentityMap());
    expected += Utf16ToUtf8(units.substr(0, 1000));
    sink.Settle();
    sink.EndFile();
    EXPECT_TRUE(target.bytes == expected); // not printed: 12,000 bytes
    // The first piece passes the threshold on this thread; then the pieces
    // alternate between encoded here and handed on as they came.
    EXPECT_EQ(target.kinds, "mememe"
                            "u"
                            "ememem"
                            "uuuuuueu"
                            "e");
}

// The share of the encoding moves to the thread that waits: a target that is
// slow to encode leaves most pieces to the caller, a slow caller leaves them
// to the target. The bytes stay the same either way.
TEST(HandOffSink, MovesTheEncodingToTheThreadThatWaits) {
    struct CSlowMapped : CUtf8Target {
        void WriteMapped(const std::uint8_t* data, std::size_t n,
                         const CByteTextMap& map) override {
            std::this_thread::sleep_for(std::chrono::microseconds(300));
            CUtf8Target::WriteMapped(data, n, map);
        }
    };
    const std::string text(8192, 'x');
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
    for (const bool slowTarget : {true, false}) {
        SCOPED_TRACE(slowTarget ? "slow target" : "slow caller");
        CSlowMapped slow;
        CUtf8Target fast;
        CUtf8Target& target = slowTarget ? slow : fast;
        CHandOffSink sink(
            target, [] { return true; }, [] {});
        sink.StartFile(0);
        for (int i = 0; i < 400; ++i) {
            if (!slowTarget) {
                std::this_thread::sleep_for(std::chrono::microseconds(300));
            }
            sink.WriteMapped(bytes, text.size(), IdentityMap());
        }
        sink.Settle();
        sink.EndFile();
        EXPECT_TRUE(target.bytes == std::string(400 * text.size(), 'x'));
        ASSERT_EQ(target.kinds.size(), 400u);
        const auto late = target.kinds.substr(300);
        const auto here = std::count(late.begin(), late.end(), 'e');
        if (slowTarget) {
            EXPECT_GE(here, 80) << late;
        } else {
            EXPECT_LE(here, 20) << late;
        }
    }
}

} // namespace
} // namespace varnolt
