// The hand-off between the decoding thread and the encoding+writing thread.
#include "output/hand_off_sink.hpp"

#include "platform/stop_signals.hpp"

#include <algorithm>
#include <cstring>
#include <system_error>

namespace varnolt {

CHandOffSink::CHandOffSink(CTextSink& target, std::function<bool()> borrow,
                           std::function<void()> giveBack)
    : m_target(target), m_borrow(std::move(borrow)), m_giveBack(std::move(giveBack)) {}

CHandOffSink::~CHandOffSink() {
    EndFile();
}

void CHandOffSink::StartFile(std::uint64_t thresholdUnits) {
    EndFile();
    m_nThreshold = thresholdUnits;
    m_nPassed = 0;
    m_bHalfHeld = false;
    m_nShare = m_nShareCount = kShareSteps / 2;
    m_bUsedThread = false;
}

template <class Write> void CHandOffSink::WriteDirect(std::size_t units, Write write) {
    if (!m_bThreaded) {
        write();
        m_nPassed += units;
        if (m_nPassed >= m_nThreshold && m_borrow && m_borrow()) {
            StartThread();
        }
        return;
    }
    // Larger than a slot (a long piece the HTML stage held whole): once the
    // queue is empty the second thread is idle, and this thread may write to
    // the target itself; the order of the pieces is kept.
    Settle();
    try {
        write();
    } catch (...) {
        const std::lock_guard lock(m_mutex);
        m_failure = std::current_exception(); // the file's failure, as from the thread
        throw;
    }
}

template <class Encode> void CHandOffSink::AddEncoded(std::size_t room, Encode encode) {
    Slot& slot = Room(room);
    const std::size_t used =
        encode(reinterpret_cast<std::uint8_t*>(slot.pUnits.get() + slot.nUsed));
    Add(slot, Piece{PieceKind::kEncoded, slot.nUsed, used, nullptr}, used);
}

void CHandOffSink::WriteUnicode(std::u16string_view text) {
    // An empty piece leaves a held surrogate held.
    const bool bHalfBefore = m_bHalfHeld;
    if (!text.empty()) {
        m_bHalfHeld = text.back() >= 0xD800 && text.back() <= 0xDBFF;
    }
    if (!m_bThreaded || text.size() > kSlotUnits) {
        WriteDirect(text.size(), [&] { m_target.WriteUnicode(text); });
        return;
    }
    if (EncodeNextHere() && !bHalfBefore && !m_bHalfHeld && !text.empty() &&
        MaxUtf8Size(text.size()) <= kSlotUnits * sizeof(char16_t) && m_target.WritesUtf8()) {
        AddEncoded(MaxUtf8Size(text.size()),
                   [&](std::uint8_t* at) { return EncodeUtf8(text.data(), text.size(), at); });
        return;
    }
    const std::size_t bytes = text.size() * sizeof(char16_t);
    Slot& slot = Room(bytes);
    std::memcpy(slot.pUnits.get() + slot.nUsed, text.data(), bytes);
    Add(slot, Piece{PieceKind::kUnits, slot.nUsed, text.size(), nullptr}, bytes);
}

void CHandOffSink::WriteMapped(const std::uint8_t* bytes, std::size_t n, const CByteTextMap& map) {
    // A mapped unit is never a surrogate: a held half is written alone.
    const bool bHalfBefore = m_bHalfHeld;
    if (n != 0) {
        m_bHalfHeld = false;
    }
    // A piece goes through the queue when even its encoded form fits a slot.
    if (!m_bThreaded || MaxUtf8Size(n) + 1 > kSlotUnits * sizeof(char16_t)) {
        WriteDirect(n, [&] { m_target.WriteMapped(bytes, n, map); });
        return;
    }
    if (EncodeNextHere() && !bHalfBefore && m_target.WritesUtf8()) {
        AddEncoded(MaxUtf8Size(n) + 1,
                   [&](std::uint8_t* at) { return EncodeMappedUtf8(bytes, n, map.utf8, at); });
        return;
    }
    Slot& slot = Room(n);
    std::memcpy(slot.pUnits.get() + slot.nUsed, bytes, n);
    Add(slot, Piece{PieceKind::kMapped, slot.nUsed, n, &map}, n);
}

bool CHandOffSink::EncodeNextHere() {
    // Spreads the share evenly: with half, every other piece.
    m_nShareCount += m_nShare;
    if (m_nShareCount < kShareSteps) {
        return false;
    }
    m_nShareCount -= kShareSteps;
    return true;
}

CHandOffSink::Slot& CHandOffSink::Room(std::size_t bytes) {
    const std::size_t units = (bytes + sizeof(char16_t) - 1) / sizeof(char16_t);
    if (kSlotUnits - m_slots[m_nFill].nUsed < units) {
        Publish();
    }
    return m_slots[m_nFill];
}

void CHandOffSink::Add(Slot& slot, Piece piece, std::size_t bytes) {
    slot.pieces.push_back(piece);
    slot.nUsed += (bytes + sizeof(char16_t) - 1) / sizeof(char16_t);
}

void CHandOffSink::StartThread() {
    for (Slot& slot : m_slots) {
        if (!slot.pUnits) {
            slot.pUnits.reset(new char16_t[kSlotUnits]);
        }
        slot.nUsed = 0;
        slot.pieces.clear();
        slot.state = SlotState::kFree;
    }
    m_nFill = m_nConsume = 0;
    m_slots[0].state = SlotState::kFilling;
    m_nFree = kSlots - 1;
    m_nReady = 0;
    m_bDrain = false;
    m_bConsumerIdle = false;
    m_failure = nullptr;
    m_bStop = false;
    try {
        // A stop signal is handled on the worker's thread, never on this one.
        const platform::CBlockStopSignals block;
        m_thread = std::thread([this] { Consume(); });
    } catch (const std::system_error&) {
        m_giveBack(); // no second thread: the file goes on as it began
        return;
    }
    m_bThreaded = true;
    m_bUsedThread = true;
}

void CHandOffSink::Consume() {
    std::unique_lock lock(m_mutex);
    for (;;) {
        Slot& slot = m_slots[m_nConsume];
        if (slot.state != SlotState::kReady) {
            // Caught up: sleep until half the slots are queued (or the caller
            // settles), so that the threads wake each other once per few
            // slots; the slots are queued in ring order, so this one is first.
            m_bConsumerIdle = !m_bDrain;
            m_ready.wait(lock, [&] {
                return m_bStop || m_nReady >= kSlots / 2 ||
                       (m_bDrain && slot.state == SlotState::kReady);
            });
            if (slot.state != SlotState::kReady) {
                return; // stopped with nothing queued
            }
        }
        slot.state = SlotState::kWriting;
        --m_nReady;
        if (!m_failure) {
            lock.unlock();
            std::exception_ptr failure;
            try {
                for (const Piece& piece : slot.pieces) {
                    const char16_t* at = slot.pUnits.get() + piece.nStart;
                    const auto* bytes = reinterpret_cast<const std::uint8_t*>(at);
                    switch (piece.kind) {
                    case PieceKind::kUnits:
                        m_target.WriteUnicode(std::u16string_view(at, piece.nLength));
                        break;
                    case PieceKind::kMapped:
                        m_target.WriteMapped(bytes, piece.nLength, *piece.pMap);
                        break;
                    case PieceKind::kEncoded:
                        m_target.WriteEncoded(bytes, piece.nLength);
                        break;
                    }
                }
            } catch (...) {
                failure = std::current_exception();
            }
            lock.lock();
            if (failure) {
                m_failure = failure;
            }
        }
        // After a failure the rest is dropped: nothing more reaches the target.
        slot.nUsed = 0;
        slot.pieces.clear();
        slot.state = SlotState::kFree;
        m_nConsume = (m_nConsume + 1) % kSlots;
        ++m_nFree;
        if (m_failure || m_nFree >= kSlots / 2) {
            m_consumed.notify_one();
        }
    }
}

void CHandOffSink::ThrowIfFailed() {
    if (m_failure) {
        std::rethrow_exception(m_failure);
    }
}

void CHandOffSink::Publish() {
    std::unique_lock lock(m_mutex);
    ThrowIfFailed();
    m_slots[m_nFill].state = SlotState::kReady;
    if (++m_nReady >= kSlots / 2 || m_bDrain) {
        m_ready.notify_one();
    }
    m_nFill = (m_nFill + 1) % kSlots;
    if (m_nFree == 0) {
        // The second thread is behind: take a larger share of the encoding.
        m_nShare = std::min(m_nShare + 1, kShareSteps);
        m_consumed.wait(lock, [&] { return m_failure || m_nFree >= kSlots / 2; });
        ThrowIfFailed();
    } else if (m_bConsumerIdle) {
        m_nShare -= m_nShare > 0 ? 1 : 0;
    }
    m_bConsumerIdle = false;
    // The slots are used in ring order: with any slot free, the next one is.
    --m_nFree;
    m_slots[m_nFill].state = SlotState::kFilling;
}

void CHandOffSink::Settle() {
    if (!m_bThreaded) {
        return;
    }
    {
        const std::lock_guard lock(m_mutex);
        m_bDrain = true;
    }
    m_ready.notify_one(); // what is queued already is written now
    if (m_slots[m_nFill].nUsed != 0) {
        Publish();
    }
    std::unique_lock lock(m_mutex);
    // Every slot but the one being filled is free once the second thread has
    // written (or, after a failure, dropped) all it was given.
    m_consumed.wait(lock, [&] { return m_nFree == kSlots - 1; });
    m_bDrain = false;
    ThrowIfFailed();
}

void CHandOffSink::EndFile() noexcept {
    if (!m_bThreaded) {
        return;
    }
    {
        const std::lock_guard lock(m_mutex);
        m_bStop = true;
        // What was never published is not written: the file ended early
        // (a failure) or Settle already handed everything on.
        for (Slot& slot : m_slots) {
            if (slot.state == SlotState::kFilling || slot.state == SlotState::kReady) {
                slot.state = SlotState::kFree;
                slot.nUsed = 0;
                slot.pieces.clear();
            }
        }
    }
    m_ready.notify_one();
    m_thread.join();
    m_bThreaded = false;
    m_failure = nullptr;
    m_giveBack();
}

} // namespace varnolt
