// CHandOffSink: passes a file's text to the target writer either on the
// calling thread or, for a large file, through a small bounded queue to a
// thread of its own, so that decoding and encoding+writing share two cores.
#pragma once

#include "output/text_sink.hpp"

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace varnolt {

// The target sees exactly the calls it would see without the queue (the same
// pieces, in order), so its output and its failures do not depend on the
// thread that makes them. A failure of the target on the second thread is
// kept and thrown to the caller at its next write or Settle; pieces queued
// after it are dropped, as the caller would never have written them.
//
// One per worker, reused per file: StartFile -> WriteUnicode... -> Settle ->
// EndFile. Only the calling thread uses the sink's interface.
class CHandOffSink final : public CTextSink {
public:
    // Units per queue slot, and slots: the queue holds at most this much text
    // (1 MiB), whatever the file's size.
    static constexpr std::size_t kSlotUnits = 64 * 1024;
    static constexpr std::size_t kSlots = 8;

    // `borrow` is asked, once the file has passed the threshold, whether a
    // second thread may be used now (it may be asked again later while the
    // answer is no); each true answer is matched by one call of `giveBack`
    // when that thread has ended.
    CHandOffSink(CTextSink& target, std::function<bool()> borrow, std::function<void()> giveBack);
    ~CHandOffSink() override;
    CHandOffSink(const CHandOffSink&) = delete;
    CHandOffSink& operator=(const CHandOffSink&) = delete;

    // Before each file: its text goes straight to the target until
    // `thresholdUnits` units have passed; from then on through the queue
    // when `borrow` allows it.
    void StartFile(std::uint64_t thresholdUnits);
    void WriteUnicode(std::u16string_view text) override;
    void WriteMapped(const std::uint8_t* bytes, std::size_t n, const CByteTextMap& map) override;
    bool TakesMappedBytes() const override { return m_target.TakesMappedBytes(); }
    // Returns when every piece written so far has reached the target;
    // throws the target's failure if there was one.
    void Settle() override;
    // After each file, whatever happened (never throws): ends the second
    // thread and drops anything still queued. The target may then be closed.
    void EndFile() noexcept;

    // True when the current (or last) file went through the second thread.
    bool UsedSecondThread() const { return m_bUsedThread; }

private:
    enum class SlotState { kFree, kFilling, kReady, kWriting };
    // One piece in a slot: units, or bytes packed two to a unit: of a
    // single-byte page (with its map), or already encoded.
    enum class PieceKind { kUnits, kMapped, kEncoded };
    struct Piece {
        PieceKind kind = PieceKind::kUnits;
        std::size_t nStart = 0;  // in units of the slot
        std::size_t nLength = 0; // units, or bytes
        const CByteTextMap* pMap = nullptr;
    };
    struct Slot {
        std::unique_ptr<char16_t[]> pUnits;
        std::size_t nUsed = 0;
        std::vector<Piece> pieces;
        SlotState state = SlotState::kFree;
    };

    // Passes a piece on while the queue is not in use, starting the second
    // thread once the file has passed the threshold.
    template <class Write> void WriteDirect(std::size_t units, Write write);
    // The slot being filled, with room for `bytes` more bytes.
    Slot& Room(std::size_t bytes);
    void Add(Slot& slot, Piece piece, std::size_t bytes);
    // Encodes a piece on this thread into `room` bytes of the slot being
    // filled (encode gets where to write and returns the bytes written).
    template <class Encode> void AddEncoded(std::size_t room, Encode encode);

    void StartThread();
    void Consume();
    // Hands the slot being filled to the second thread and takes the next
    // one; when none is free, waits until half of them are, so that the two
    // threads wake each other once per few slots, not once per slot. Throws
    // the target's failure.
    void Publish();
    void ThrowIfFailed();

    CTextSink& m_target;
    std::function<bool()> m_borrow;
    std::function<void()> m_giveBack;
    std::uint64_t m_nThreshold = 0;
    std::uint64_t m_nPassed = 0;
    bool m_bThreaded = false;
    bool m_bUsedThread = false;
    // When the target writes UTF-8, this thread encodes m_nShare of every
    // kShareSteps pieces itself: the encoding is much of the work, and the
    // two threads then share it. The share starts at half and moves by a
    // step towards the thread that waits: up when this one finds no free
    // slot, down when the second thread found nothing to write. Never while
    // the target may hold a high surrogate from the piece before, nor for a
    // piece that ends with one: the target pairs those.
    static constexpr unsigned kShareSteps = 8;
    unsigned m_nShare = kShareSteps / 2;
    unsigned m_nShareCount = kShareSteps / 2;
    bool m_bHalfHeld = false;
    // Whether this thread encodes the next queued piece (as m_nShare says).
    bool EncodeNextHere();

    // Shared with the second thread, under m_mutex.
    std::mutex m_mutex;
    std::condition_variable m_ready;    // a slot became ready, or stop
    std::condition_variable m_consumed; // a slot became free, or a failure
    Slot m_slots[kSlots];
    std::size_t m_nFill = 0;      // the slot the calling thread fills
    std::size_t m_nConsume = 0;   // the next slot the second thread writes
    std::size_t m_nFree = 0;      // slots neither filled, queued nor being written
    std::size_t m_nReady = 0;     // slots queued, not yet taken by the second thread
    bool m_bDrain = false;        // Settle waits: write what is queued at once
    bool m_bConsumerIdle = false; // the second thread waited for a slot since the last Publish
    std::exception_ptr m_failure;
    bool m_bStop = false;
    std::thread m_thread;
};

} // namespace varnolt
