#pragma once
// Braille through BrlAPI, BRLTTY's client library. Every spoken text is also
// shown on the display for a hold time, then the display goes back to the
// screen reader. One thread of its own connects, writes and reads the
// panning keys, so that a slow, missing or hung BRLTTY never holds a caller.

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "platform/linux/unique_fd.hpp"

namespace tarrow {

using BrailleTime = std::chrono::steady_clock::time_point;

// What the display shows, and when that ends. Pure logic, no BrlAPI.
class BrailleView {
public:
    static constexpr size_t kWaitingCapacity = 16;

    // 0 (or less): a text stays until the next one.
    void SetHold(int64_t holdMs);
    // An interrupting text replaces the one shown at once and drops those
    // waiting; another waits until the hold of the one shown ends.
    void Add(std::wstring text, bool interrupt, BrailleTime now);
    // The display's panning keys: a window of `width` cells to the right or
    // left within the text shown. Each pan starts the hold again.
    void PanRight(size_t width, BrailleTime now);
    void PanLeft(size_t width, BrailleTime now);
    // Ends the hold when it is over: the next text waiting, or nothing.
    void Tick(BrailleTime now);

    bool Showing() const { return shown_.has_value(); }
    // The part of the text shown that fits `width` cells.
    std::wstring Window(size_t width) const;
    // When the hold of the text shown ends; nullopt: it does not.
    std::optional<BrailleTime> HoldEnd() const;
    // Changes whenever what Window() gives may have changed.
    uint64_t Version() const { return version_; }

private:
    void Show(std::wstring text, BrailleTime now);

    std::chrono::milliseconds hold_{4000};
    std::optional<std::wstring> shown_;
    size_t offset_ = 0;
    BrailleTime shownAt_{};
    std::deque<std::wstring> waiting_;
    uint64_t version_ = 0;
};

// UTF-16 to the wide characters BrlAPI takes; unpaired surrogates become U+FFFD.
std::wstring BrailleText(std::u16string_view text);

struct BrailleRequest {
    std::wstring text;
    bool interrupt = false;
};

// What the braille thread shares with the platform; the thread holds its own
// reference, so the session may go while the thread is still connecting.
struct BrailleChannel {
    BrailleChannel();

    std::mutex lock;
    std::deque<BrailleRequest> texts;  // at most BrailleView::kWaitingCapacity
    int64_t holdMs = 4000;
    bool closed = false;
    bool done = false;  // the thread has closed its connection and ended
    std::condition_variable doneSignal;
    UniqueFd wakeRead, wakeWrite;  // a byte written here wakes the thread
};

struct BrailleSession {
    BrailleSession() = default;
    ~BrailleSession();  // lets a thread still running end
    BrailleSession(const BrailleSession&) = delete;
    BrailleSession& operator=(const BrailleSession&) = delete;

    std::shared_ptr<BrailleChannel> channel = std::make_shared<BrailleChannel>();
    std::mutex startLock;
    bool started = false;
};

// Starts the braille thread once; returns at once.
void StartBraille(BrailleSession& session);
void QueueBraille(BrailleSession& session, std::u16string_view text, bool interrupt);
void SetBrailleHold(BrailleSession& session, int64_t holdMs);
// Ends the thread; waits at most `bound`; true when it has ended.
bool StopBraille(BrailleSession& session, std::chrono::milliseconds bound);

}  // namespace tarrow
