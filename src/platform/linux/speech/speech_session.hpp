#pragma once
// The speech-dispatcher connection. One thread of its own connects and talks
// to the server, so that a slow, starting or hung server never holds the main
// loop or a worker: callers only put texts in a queue. A connection that dies
// is opened again with the next text, at most once a second.

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace tarrow {

struct SpeechRequest {
    std::string text;  // UTF-8
    bool interrupt = false;
    bool retried = false;  // found a dead connection once already
};

// Texts on their way to the speech thread. Thread-safe.
class SpeechQueue {
public:
    static constexpr size_t kCapacity = 64;

    // An interrupting text drops the ones still waiting: sending them would
    // only have them cut off at once. When full, the oldest text goes.
    // false (and the text dropped) once closed.
    bool Push(std::string text, bool interrupt);
    // Waits for the next text; nullopt once closed and empty.
    std::optional<SpeechRequest> Pop();
    // Texts already queued are still handed out; new ones are dropped.
    void Close();
    // Puts a text that could not be sent back in front, even when closed:
    // it came before everything still waiting.
    void PushFront(SpeechRequest request);
    bool Closed();
    // Waits `time`, or less once closed.
    void WaitWhileOpen(std::chrono::nanoseconds time);

private:
    std::mutex lock_;
    std::condition_variable ready_;
    std::deque<SpeechRequest> items_;
    bool closed_ = false;
};

// One open connection to a speech server; used by the speech thread only.
class SpeechSink {
public:
    virtual ~SpeechSink() = default;
    // Cuts off this program's speech in progress and drops its queued texts.
    // false when the connection is broken.
    virtual bool Cancel() = 0;
    // Speaks after whatever this program is still saying; false when the
    // connection is broken.
    virtual bool Say(const std::string& utf8) = 0;
};

// Opens a connection, or gives null when no server answers.
using SpeechConnector = std::function<std::unique_ptr<SpeechSink>()>;
using SpeechClock = std::function<std::chrono::steady_clock::time_point()>;
// Takes one line for standard error (without its line end).
using SpeechReport = std::function<void(const std::string&)>;

// What standard error says when speech goes and when it comes back.
inline constexpr char kSpeechLostLine[] =
    "Speech: speech-dispatcher cannot be reached; texts go to standard output only until it answers again";
inline constexpr char kSpeechBackLine[] = "Speech: connected to speech-dispatcher again";
// The shortest time between two connection attempts.
inline constexpr std::chrono::seconds kSpeechRetryInterval{1};

void ReportOnStandardError(const std::string& line);

// speech-dispatcher through libspeechd, started on demand like any client does.
std::unique_ptr<SpeechSink> ConnectSpeechDispatcher();

// What the speech thread shares with the session; the thread holds its own
// reference, so a session may go while the thread is still connecting.
struct SpeechChannel {
    SpeechQueue queue;
    std::mutex doneLock;
    std::condition_variable doneSignal;
    bool done = false;  // the thread has closed its connection and ended
};

struct SpeechSession {
    SpeechSession() = default;
    ~SpeechSession();
    SpeechSession(const SpeechSession&) = delete;
    SpeechSession& operator=(const SpeechSession&) = delete;

    SpeechConnector connector = ConnectSpeechDispatcher;
    SpeechClock clock = std::chrono::steady_clock::now;
    SpeechReport report = ReportOnStandardError;
    std::shared_ptr<SpeechChannel> channel = std::make_shared<SpeechChannel>();
    std::mutex startLock;
    bool started = false;
    // Keeps each standard-output line and its place in the queue together.
    std::mutex outputLock;
};

// Starts the speech thread once; later calls do nothing. Returns at once.
void StartSpeech(SpeechSession& session);
// Hands a text to the speech thread; never waits for the server.
void QueueSpeech(SpeechSession& session, std::string utf8, bool interrupt);
// Lets the texts already queued reach the server, then closes the
// connection. Waits at most `bound`; true when the thread has ended.
bool StopSpeech(SpeechSession& session, std::chrono::milliseconds bound);

}  // namespace tarrow
