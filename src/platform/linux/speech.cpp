// Speech through speech-dispatcher; every text is also one line on standard output.

#include <libspeechd.h>
#include <pthread.h>
#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <thread>

#include "platform/linux/linux_platform.hpp"
#include "platform/linux/speech_session.hpp"
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

    void Cancel() override { spd_cancel(connection_); }
    // Priority "message" queues behind our own earlier texts instead of
    // replacing them, as priority "text" would.
    void Say(const std::string& utf8) override { spd_say(connection_, SPD_MESSAGE, utf8.c_str()); }

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

void RunSpeech(std::shared_ptr<SpeechChannel> channel, SpeechConnector connector) noexcept {
    std::unique_ptr<SpeechSink> sink;
    try {
        if (connector) sink = connector();
        if (sink) {
            // A server that goes away must fail our next write, not end the
            // program with SIGPIPE.
            sigset_t pipeSignal;
            sigemptyset(&pipeSignal);
            sigaddset(&pipeSignal, SIGPIPE);
            pthread_sigmask(SIG_BLOCK, &pipeSignal, nullptr);
            while (std::optional<SpeechRequest> request = channel->queue.Pop()) {
                if (request->interrupt) sink->Cancel();
                sink->Say(request->text);
            }
        }
    } catch (...) {
        // Speech goes silent; standard output still carries every text.
    }
    sink.reset();  // closes the connection before anyone hears we are done
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

SpeechSession::~SpeechSession() { channel->queue.Close(); }

void StartSpeech(SpeechSession& session) {
    std::lock_guard<std::mutex> guard(session.startLock);
    if (session.started) return;
    session.started = true;
    try {
        std::thread(RunSpeech, session.channel, session.connector).detach();
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

void LinuxPlatform::LoadSpeech() { StartSpeech(*speech_); }

void LinuxPlatform::OutputSpeech(std::u16string_view text, bool interrupt) {
    std::string line = Utf16ToUtf8(text);
    std::lock_guard<std::mutex> guard(speech_->outputLock);
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
    QueueSpeech(*speech_, std::move(line), interrupt);
}

}  // namespace tarrow
