// The braille thread: one BrlAPI connection, opened with the library's
// defaults (so BRLAPI_HOST and BRLAPI_AUTH choose the server), opened again
// at most once a second after it breaks.

#define BRLAPI_NO_SINGLE_SESSION 1
#include <brlapi.h>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>

#include <algorithm>
#include <cstring>
#include <thread>

#include "platform/linux/braille/braille.hpp"

namespace tarrow {

namespace {

using namespace std::chrono_literals;

constexpr auto kRetryInterval = 1s;
// How often a display that has not told its size yet is asked again.
constexpr auto kSizePoll = 100ms;

// Set by the exception handler, which BrlAPI calls from inside our own calls.
struct BrailleFault {
    bool raised = false;
};

// The library's own handler ends the process; ours only notes the fault, and
// the connection is then opened again.
void NoteException(brlapi_handle_t* handle, int, brlapi_packetType_t, const void*, size_t) noexcept {
    if (auto* fault = static_cast<BrailleFault*>(brlapi__getClientData(handle))) fault->raised = true;
}

class BrlapiConnection {
public:
    // Null when no server can be reached.
    static std::unique_ptr<BrlapiConnection> Open() {
        auto connection = std::unique_ptr<BrlapiConnection>(new BrlapiConnection());
        brlapi_handle_t* handle = connection->Handle();
        connection->fd_ = brlapi__openConnection(handle, nullptr, nullptr);
        if (connection->fd_ < 0) return nullptr;
        connection->open_ = true;
        brlapi__setExceptionHandler(handle, NoteException);
        brlapi__setClientData(handle, &connection->fault_);
        return connection;
    }
    ~BrlapiConnection() {
        if (open_) brlapi__closeConnection(Handle());
    }
    BrlapiConnection(const BrlapiConnection&) = delete;
    BrlapiConnection& operator=(const BrlapiConnection&) = delete;

    int Fd() const { return fd_; }
    bool Faulted() const { return fault_.raised; }
    bool InTty() const { return inTty_; }

    // 0 until the display has told BRLTTY its size; a write before that is
    // refused. -1 when the connection is broken.
    long Cells() {
        unsigned int x = 0, y = 0;
        if (brlapi__getDisplaySize(Handle(), &x, &y) < 0) return -1;
        return static_cast<long>(x) * std::max(1u, y);
    }
    // The empty path, as screen readers do: we are shown whatever window
    // has the focus. Only the panning keys come to us.
    bool EnterTty() {
        if (brlapi__enterTtyModeWithPath(Handle(), nullptr, 0, nullptr) < 0) return false;
        inTty_ = true;
        const brlapi_keyCode_t pans[] = {BRLAPI_KEY_TYPE_CMD | BRLAPI_KEY_CMD_FWINLT,
                                         BRLAPI_KEY_TYPE_CMD | BRLAPI_KEY_CMD_FWINRT};
        return brlapi__ignoreAllKeys(Handle()) >= 0 &&
               brlapi__acceptKeys(Handle(), brlapi_rangeType_key, pans, 2) >= 0;
    }
    bool LeaveTty() {
        inTty_ = false;
        return brlapi__leaveTtyMode(Handle()) >= 0;
    }
    bool Write(const std::wstring& text) {
        return brlapi__writeWText(Handle(), BRLAPI_CURSOR_OFF, text.c_str()) >= 0;
    }
    // 1 with a key, 0 with none waiting, -1 when broken.
    int ReadKey(brlapi_keyCode_t& key) { return brlapi__readKeyWithTimeout(Handle(), 0, &key); }

private:
    BrlapiConnection() : handle_(new max_align_t[brlapi_getHandleSize() / sizeof(max_align_t) + 1]) {}
    brlapi_handle_t* Handle() { return reinterpret_cast<brlapi_handle_t*>(handle_.get()); }

    std::unique_ptr<max_align_t[]> handle_;
    int fd_ = -1;
    bool open_ = false;
    bool inTty_ = false;
    BrailleFault fault_;
};

class BrailleLink {
public:
    // Brings the display in line with the view; false when the connection
    // broke (it is then closed).
    bool Update(const BrailleView& view, BrailleTime now, std::chrono::milliseconds& wait) {
        if (!view.Showing()) {
            if (connection_ && connection_->InTty() && !connection_->LeaveTty()) return Drop();
            return true;
        }
        if (!connection_) {
            if (attempted_ && now < lastAttempt_ + kRetryInterval) {
                wait = std::min(wait, std::chrono::ceil<std::chrono::milliseconds>(
                                          lastAttempt_ + kRetryInterval - now));
                return true;
            }
            attempted_ = true;
            lastAttempt_ = now;
            connection_ = BrlapiConnection::Open();
            if (!connection_) return true;  // no server: nothing shown, nothing said
            written_.reset();
        }
        const long cells = connection_->Cells();
        if (cells < 0 || connection_->Faulted()) return Drop();
        if (cells == 0) {  // a freshly started BRLTTY whose display has not answered yet
            wait = std::min(wait, std::chrono::milliseconds(kSizePoll));
            return true;
        }
        width_ = static_cast<size_t>(cells);
        if (!connection_->InTty()) {
            if (!connection_->EnterTty()) return Drop();
            written_.reset();
        }
        if (written_ != std::make_pair(view.Version(), width_)) {
            if (!connection_->Write(view.Window(width_)) || connection_->Faulted()) return Drop();
            written_ = std::make_pair(view.Version(), width_);
        }
        return true;
    }
    // The descriptor to wait on for keys; -1 when none come.
    int KeyFd() const { return connection_ && connection_->InTty() ? connection_->Fd() : -1; }
    // Hands the panning keys to the view; false when the connection broke.
    bool ReadKeys(BrailleView& view, BrailleTime now) {
        brlapi_keyCode_t key = 0;
        for (;;) {
            const int got = connection_->ReadKey(key);
            if (got < 0 || connection_->Faulted()) return Drop();
            if (got == 0) return true;
            if ((key & BRLAPI_KEY_TYPE_MASK) != BRLAPI_KEY_TYPE_CMD) continue;
            const brlapi_keyCode_t command = key & BRLAPI_KEY_CODE_MASK;
            if (command == BRLAPI_KEY_CMD_FWINRT) view.PanRight(width_, now);
            if (command == BRLAPI_KEY_CMD_FWINLT) view.PanLeft(width_, now);
        }
    }
    void Close() { connection_.reset(); }

private:
    bool Drop() {
        connection_.reset();
        return false;
    }

    std::unique_ptr<BrlapiConnection> connection_;
    bool attempted_ = false;
    BrailleTime lastAttempt_{};
    size_t width_ = 0;
    std::optional<std::pair<uint64_t, size_t>> written_;
};

// Takes what the platform handed over; false once closed.
bool TakeTexts(BrailleChannel& channel, BrailleView& view, BrailleTime now) {
    char drained[64];
    while (::read(channel.wakeRead.Get(), drained, sizeof drained) > 0) {
    }
    std::lock_guard<std::mutex> guard(channel.lock);
    view.SetHold(channel.holdMs);
    for (BrailleRequest& request : channel.texts) view.Add(std::move(request.text), request.interrupt, now);
    channel.texts.clear();
    return !channel.closed;
}

void RunBraille(std::shared_ptr<BrailleChannel> channel) noexcept {
    sigset_t pipeSignal;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipeSignal, nullptr);
    BrailleLink link;
    try {
        BrailleView view;
        while (TakeTexts(*channel, view, std::chrono::steady_clock::now())) {
            BrailleTime now = std::chrono::steady_clock::now();
            view.Tick(now);
            auto wait = std::chrono::milliseconds(-1);
            auto waitFor = std::chrono::milliseconds::max();
            // A broken connection is opened again at once when the last
            // attempt is a second old, else on the next pass.
            if (!link.Update(view, now, waitFor)) link.Update(view, now, waitFor);
            if (const std::optional<BrailleTime> end = view.HoldEnd())
                waitFor = std::min(waitFor, std::chrono::ceil<std::chrono::milliseconds>(*end - now) + 1ms);
            if (waitFor != std::chrono::milliseconds::max()) wait = std::max(waitFor, 0ms);
            pollfd fds[2] = {{channel->wakeRead.Get(), POLLIN, 0}, {link.KeyFd(), POLLIN, 0}};
            const int ready = ::poll(fds, fds[1].fd >= 0 ? 2 : 1, static_cast<int>(std::min<int64_t>(
                                                                     wait.count(), 60000)));
            if (ready > 0 && fds[1].fd >= 0 && fds[1].revents != 0)
                link.ReadKeys(view, std::chrono::steady_clock::now());
        }
    } catch (...) {
        // Braille stops; speech and standard output carry on.
    }
    link.Close();
    std::lock_guard<std::mutex> guard(channel->lock);
    channel->closed = true;
    channel->done = true;
    channel->doneSignal.notify_all();
}

void Wake(BrailleChannel& channel) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(channel.wakeWrite.Get(), &byte, 1);
}

}  // namespace

BrailleChannel::BrailleChannel() {
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) == 0) {
        wakeRead = UniqueFd(ends[0]);
        wakeWrite = UniqueFd(ends[1]);
    }
}

BrailleSession::~BrailleSession() {
    {
        std::lock_guard<std::mutex> guard(channel->lock);
        channel->closed = true;
    }
    Wake(*channel);
}

void StartBraille(BrailleSession& session) {
    std::lock_guard<std::mutex> guard(session.startLock);
    if (session.started) return;
    session.started = true;
    if (!session.channel->wakeRead.Valid()) return;
    try {
        std::thread(RunBraille, session.channel).detach();
    } catch (...) {
        std::lock_guard<std::mutex> channelGuard(session.channel->lock);
        session.channel->closed = true;  // no thread: no braille
        session.channel->done = true;
    }
}

void QueueBraille(BrailleSession& session, std::u16string_view text, bool interrupt) {
    BrailleChannel& channel = *session.channel;
    {
        std::lock_guard<std::mutex> guard(channel.lock);
        if (channel.closed) return;
        if (interrupt) channel.texts.clear();
        if (channel.texts.size() >= BrailleView::kWaitingCapacity) channel.texts.pop_front();
        channel.texts.push_back({BrailleText(text), interrupt});
    }
    Wake(channel);
}

void SetBrailleHold(BrailleSession& session, int64_t holdMs) {
    {
        std::lock_guard<std::mutex> guard(session.channel->lock);
        session.channel->holdMs = holdMs;
    }
    Wake(*session.channel);
}

bool StopBraille(BrailleSession& session, std::chrono::milliseconds bound) {
    BrailleChannel& channel = *session.channel;
    {
        std::lock_guard<std::mutex> startGuard(session.startLock);
        std::lock_guard<std::mutex> guard(channel.lock);
        channel.closed = true;
        if (!session.started || !channel.wakeRead.Valid()) {
            session.started = true;
            return true;
        }
    }
    Wake(channel);
    std::unique_lock<std::mutex> guard(channel.lock);
    return channel.doneSignal.wait_for(guard, bound, [&channel] { return channel.done; });
}

}  // namespace tarrow
