// Speech through speech-dispatcher; every text is also one line on standard output.

#include <libspeechd.h>
#include <pthread.h>
#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <thread>

#include "platform/linux/braille/braille.hpp"
#include "platform/linux/linux_platform.hpp"
#include "platform/linux/speech/speech_session.hpp"
#include "platform/text.hpp"

namespace tarrow {

bool SpeechQueue::Push(std::string text, bool interrupt) {
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (closed_) return false;
        if (interrupt) items_.clear();
        if (items_.size() >= kCapacity) items_.pop_front();
        items_.push_back({std::move(text), interrupt});
    }
    ready_.notify_one();
    return true;
}

std::optional<SpeechRequest> SpeechQueue::Pop() {
    std::unique_lock<std::mutex> guard(lock_);
    ready_.wait(guard, [this] { return closed_ || !items_.empty(); });
    if (items_.empty()) return std::nullopt;
    SpeechRequest next = std::move(items_.front());
    items_.pop_front();
    return next;
}

void SpeechQueue::PushFront(SpeechRequest request) {
    {
        std::lock_guard<std::mutex> guard(lock_);
        items_.push_front(std::move(request));
    }
    ready_.notify_one();
}

bool SpeechQueue::Closed() {
    std::lock_guard<std::mutex> guard(lock_);
    return closed_;
}

void SpeechQueue::WaitWhileOpen(std::chrono::nanoseconds time) {
    std::unique_lock<std::mutex> guard(lock_);
    ready_.wait_for(guard, time, [this] { return closed_; });
}

void SpeechQueue::Close() {
    {
        std::lock_guard<std::mutex> guard(lock_);
        closed_ = true;
    }
    ready_.notify_all();
}

namespace {

class DispatcherSink final : public SpeechSink {
public:
    explicit DispatcherSink(SPDConnection* connection) : connection_(connection) {}
    ~DispatcherSink() override { spd_close(connection_); }
    DispatcherSink(const DispatcherSink&) = delete;
    DispatcherSink& operator=(const DispatcherSink&) = delete;

    bool Cancel() override { return spd_cancel(connection_) == 0; }
    // Priority "message" queues behind our own earlier texts instead of
    // replacing them, as priority "text" would.
    bool Say(const std::string& utf8) override {
        return spd_say(connection_, SPD_MESSAGE, utf8.c_str()) >= 0;
    }

private:
    SPDConnection* connection_;
};

void MarkDone(SpeechChannel& channel) {
    channel.queue.Close();
    {
        std::lock_guard<std::mutex> guard(channel.doneLock);
        channel.done = true;
    }
    channel.doneSignal.notify_all();
}

// The speech thread's side of the connection.
class SpeechLink {
public:
    SpeechLink(SpeechConnector connector, SpeechClock clock, SpeechReport report)
        : connector_(std::move(connector)), clock_(std::move(clock)), report_(std::move(report)) {}

    bool Connected() const { return sink_ != nullptr; }
    // How long until the next attempt is allowed; zero or less: now.
    std::chrono::nanoseconds UntilNextAttempt() const {
        if (!attempted_) return std::chrono::nanoseconds::zero();
        return lastAttempt_ + kSpeechRetryInterval - clock_();
    }
    void Connect() {
        attempted_ = true;
        lastAttempt_ = clock_();
        sink_ = connector_ ? connector_() : nullptr;
        if (!sink_) {
            Lost();
        } else if (failing_) {
            failing_ = false;
            report_(kSpeechBackLine);
        }
    }
    bool Send(const SpeechRequest& request) {
        if ((!request.interrupt || sink_->Cancel()) && sink_->Say(request.text)) return true;
        sink_.reset();
        Lost();
        return false;
    }
    void Close() { sink_.reset(); }

private:
    void Lost() {
        if (failing_) return;
        failing_ = true;
        report_(kSpeechLostLine);
    }

    SpeechConnector connector_;
    SpeechClock clock_;
    SpeechReport report_;
    std::unique_ptr<SpeechSink> sink_;
    bool attempted_ = false;
    std::chrono::steady_clock::time_point lastAttempt_{};
    bool failing_ = false;  // the loss is reported; no connection since
};

void RunSpeech(std::shared_ptr<SpeechChannel> channel, SpeechLink link) noexcept {
    // A server that goes away must fail our next write, not end the program
    // with SIGPIPE.
    sigset_t pipeSignal;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipeSignal, nullptr);
    SpeechQueue& queue = channel->queue;
    try {
        link.Connect();
        while (std::optional<SpeechRequest> request = queue.Pop()) {
            if (!link.Connected()) {
                const std::chrono::nanoseconds wait = link.UntilNextAttempt();
                if (wait > std::chrono::nanoseconds::zero()) {
                    // Too soon after the last attempt: the text waits, unless
                    // we are on the way out.
                    if (queue.Closed()) continue;
                    queue.PushFront(std::move(*request));
                    queue.WaitWhileOpen(wait);
                    continue;
                }
                link.Connect();
                if (!link.Connected()) continue;  // standard output has it
            }
            if (link.Send(*request) || request->retried) continue;
            // The text that found the connection dead goes out on the next one.
            request->retried = true;
            queue.PushFront(std::move(*request));
        }
    } catch (...) {
        // Speech goes silent; standard output still carries every text.
    }
    link.Close();  // before anyone hears we are done
    MarkDone(*channel);
}

}  // namespace

std::unique_ptr<SpeechSink> ConnectSpeechDispatcher() {
    char* error = nullptr;
    SPDConnection* connection =
        spd_open2("tarrow-desk", "main", nullptr, SPD_MODE_SINGLE, nullptr, 1, &error);
    std::free(error);
    if (!connection) return nullptr;
    return std::make_unique<DispatcherSink>(connection);
}

void ReportOnStandardError(const std::string& line) {
    std::fprintf(stderr, "%s\n", line.c_str());
    std::fflush(stderr);
}

SpeechSession::~SpeechSession() { channel->queue.Close(); }

void StartSpeech(SpeechSession& session) {
    std::lock_guard<std::mutex> guard(session.startLock);
    if (session.started) return;
    session.started = true;
    try {
        std::thread(RunSpeech, session.channel,
                    SpeechLink(session.connector, session.clock, session.report))
            .detach();
    } catch (...) {
        MarkDone(*session.channel);  // no thread: silent
    }
}

void QueueSpeech(SpeechSession& session, std::string utf8, bool interrupt) {
    session.channel->queue.Push(std::move(utf8), interrupt);
}

bool StopSpeech(SpeechSession& session, std::chrono::milliseconds bound) {
    {
        std::lock_guard<std::mutex> guard(session.startLock);
        if (!session.started) {
            session.started = true;  // never starts after this
            MarkDone(*session.channel);
            return true;
        }
    }
    SpeechChannel& channel = *session.channel;
    channel.queue.Close();
    std::unique_lock<std::mutex> guard(channel.doneLock);
    return channel.doneSignal.wait_for(guard, bound, [&channel] { return channel.done; });
}

void LinuxPlatform::LoadSpeech() {
    StartSpeech(*speech_);
    StartBraille(*braille_);
}

void LinuxPlatform::SetBrailleHold(int64_t holdMs) { tarrow::SetBrailleHold(*braille_, holdMs); }

void LinuxPlatform::OutputSpeech(std::u16string_view text, bool interrupt) {
    std::string line = Utf16ToUtf8(text);
    std::lock_guard<std::mutex> guard(speech_->outputLock);
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
    QueueSpeech(*speech_, std::move(line), interrupt);
    QueueBraille(*braille_, text, interrupt);
}

}  // namespace tarrow
