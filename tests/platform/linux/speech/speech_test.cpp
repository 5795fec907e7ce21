#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/linux/linux_platform.hpp"
#include "platform/linux/speech/speech_session.hpp"

namespace tarrow {
namespace {

using namespace std::chrono_literals;

std::vector<std::string> Drain(SpeechQueue& queue) {
    queue.Close();
    std::vector<std::string> out;
    while (auto request = queue.Pop()) out.push_back(request->text + (request->interrupt ? "!" : ""));
    return out;
}

TEST(SpeechQueue, KeepsOrderAndLetsInterruptionsDropWhatWaits) {
    SpeechQueue queue;
    EXPECT_TRUE(queue.Push("a", false));
    EXPECT_TRUE(queue.Push("b", false));
    EXPECT_TRUE(queue.Push("c", true));
    EXPECT_TRUE(queue.Push("d", false));
    EXPECT_EQ(Drain(queue), (std::vector<std::string>{"c!", "d"}));
    EXPECT_FALSE(queue.Push("late", false));
    EXPECT_EQ(queue.Pop(), std::nullopt);
}

TEST(SpeechQueue, DropsTheOldestWhenFull) {
    SpeechQueue queue;
    for (size_t i = 0; i < SpeechQueue::kCapacity + 2; ++i) queue.Push(std::to_string(i), false);
    const std::vector<std::string> left = Drain(queue);
    ASSERT_EQ(left.size(), SpeechQueue::kCapacity);
    EXPECT_EQ(left.front(), "2");
    EXPECT_EQ(left.back(), std::to_string(SpeechQueue::kCapacity + 1));
}

// A speech server stand-in whose connection the test opens when it wants.
struct FakeServer {
    std::mutex lock;
    std::condition_variable opened;
    std::condition_variable called;
    bool open = false;
    bool answers = true;
    int connections = 0;
    int broken = 0;  // connections up to this one fail every call
    std::vector<std::string> calls;

    void Open() {
        {
            std::lock_guard<std::mutex> guard(lock);
            open = true;
        }
        opened.notify_all();
    }
    std::vector<std::string> Calls() {
        std::lock_guard<std::mutex> guard(lock);
        return calls;
    }
    bool WaitForCall(const std::string& call) {
        std::unique_lock<std::mutex> guard(lock);
        return called.wait_for(guard, 10s, [&] {
            return std::find(calls.begin(), calls.end(), call) != calls.end();
        });
    }
    bool WaitForCalls(size_t count) {
        std::unique_lock<std::mutex> guard(lock);
        return called.wait_for(guard, 10s, [&] { return calls.size() >= count; });
    }
    void BreakConnections() {
        std::lock_guard<std::mutex> guard(lock);
        broken = connections;
    }
};

class FakeSink final : public SpeechSink {
public:
    FakeSink(std::shared_ptr<FakeServer> server, int number) : server_(std::move(server)), number_(number) {}
    ~FakeSink() override {
        std::lock_guard<std::mutex> guard(server_->lock);
        server_->calls.push_back("close");
    }
    bool Cancel() override { return Record("cancel"); }
    bool Say(const std::string& utf8) override { return Record("say " + utf8); }

private:
    bool Record(std::string call) {
        bool works;
        {
            std::lock_guard<std::mutex> guard(server_->lock);
            works = number_ > server_->broken;
            server_->calls.push_back(works ? std::move(call) : "failed " + call);
        }
        server_->called.notify_all();
        return works;
    }
    std::shared_ptr<FakeServer> server_;
    int number_;
};

SpeechConnector ConnectTo(std::shared_ptr<FakeServer> server) {
    return [server]() -> std::unique_ptr<SpeechSink> {
        std::unique_lock<std::mutex> guard(server->lock);
        server->opened.wait(guard, [&] { return server->open; });
        const bool answers = server->answers;
        server->calls.push_back(answers ? "connect" : "refused");
        server->called.notify_all();
        if (!answers) return nullptr;
        return std::make_unique<FakeSink>(server, ++server->connections);
    };
}

// Opens the server on every way out of a test, so no thread stays waiting.
struct OpenAtEnd {
    std::shared_ptr<FakeServer> server;
    ~OpenAtEnd() { server->Open(); }
};

TEST(Speech, InterruptCancelsThenSaysAndOthersQueueBehind) {
    auto server = std::make_shared<FakeServer>();
    OpenAtEnd guard{server};
    SpeechSession session;
    session.connector = ConnectTo(server);
    StartSpeech(session);
    QueueSpeech(session, "Welcome", true);
    QueueSpeech(session, "12 CPU", false);
    QueueSpeech(session, "34 CPU", false);
    server->Open();
    ASSERT_TRUE(StopSpeech(session, 10s));
    EXPECT_EQ(server->Calls(),
              (std::vector<std::string>{"connect", "cancel", "say Welcome", "say 12 CPU", "say 34 CPU", "close"}));
}

TEST(Speech, AHungServerCannotHoldTheCallerOrTheWayOut) {
    auto server = std::make_shared<FakeServer>();
    OpenAtEnd guard{server};
    SpeechSession session;
    session.connector = ConnectTo(server);
    StartSpeech(session);
    QueueSpeech(session, "Exiting", true);  // returns although nothing answers
    EXPECT_FALSE(StopSpeech(session, 20ms));
    // Once it answers, what was handed over before the stop still goes out.
    server->Open();
    EXPECT_TRUE(StopSpeech(session, 10s));
    EXPECT_EQ(server->Calls(), (std::vector<std::string>{"connect", "cancel", "say Exiting", "close"}));
}

TEST(Speech, NoServerMeansSilence) {
    auto server = std::make_shared<FakeServer>();
    server->answers = false;
    server->Open();
    SpeechSession session;
    session.connector = ConnectTo(server);
    StartSpeech(session);
    EXPECT_TRUE(StopSpeech(session, 10s));
    EXPECT_FALSE(session.channel->queue.Push("after", false)) << "texts are dropped, not kept";
    EXPECT_EQ(server->Calls(), std::vector<std::string>{"refused"});
}

// A clock the test moves, and the lines meant for standard error.
struct Observer {
    std::mutex lock;
    std::chrono::steady_clock::time_point now{};
    std::vector<std::string> lines;

    void Attach(SpeechSession& session) {
        session.clock = [this] {
            std::lock_guard<std::mutex> guard(lock);
            return now;
        };
        session.report = [this](const std::string& line) {
            std::lock_guard<std::mutex> guard(lock);
            lines.push_back(line);
        };
    }
    void Advance(std::chrono::milliseconds time) {
        std::lock_guard<std::mutex> guard(lock);
        now += time;
    }
    std::vector<std::string> Lines() {
        std::lock_guard<std::mutex> guard(lock);
        return lines;
    }
};

TEST(Speech, TheTextThatFindsTheConnectionDeadIsSpokenOnTheNextOne) {
    auto server = std::make_shared<FakeServer>();
    server->Open();
    Observer observer;
    SpeechSession session;
    session.connector = ConnectTo(server);
    observer.Attach(session);
    StartSpeech(session);
    QueueSpeech(session, "Welcome", true);
    ASSERT_TRUE(server->WaitForCall("say Welcome"));
    server->BreakConnections();  // the server restarts
    observer.Advance(5s);
    QueueSpeech(session, "12 CPU", false);
    ASSERT_TRUE(StopSpeech(session, 10s));
    EXPECT_EQ(server->Calls(), (std::vector<std::string>{"connect", "cancel", "say Welcome",
                                                         "failed say 12 CPU", "close", "connect",
                                                         "say 12 CPU", "close"}));
    EXPECT_EQ(observer.Lines(), (std::vector<std::string>{kSpeechLostLine, kSpeechBackLine}));
}

TEST(Speech, ATextIsRetriedOnceOnly) {
    auto server = std::make_shared<FakeServer>();
    server->Open();
    Observer observer;
    SpeechSession session;
    session.connector = ConnectTo(server);
    observer.Attach(session);
    StartSpeech(session);
    QueueSpeech(session, "Welcome", true);
    ASSERT_TRUE(server->WaitForCall("say Welcome"));
    {
        std::lock_guard<std::mutex> guard(server->lock);
        server->broken = 1000;  // every connection takes texts and fails them
    }
    observer.Advance(5s);
    QueueSpeech(session, "12 CPU", false);
    ASSERT_TRUE(StopSpeech(session, 10s));
    EXPECT_EQ(server->Calls(),
              (std::vector<std::string>{"connect", "cancel", "say Welcome", "failed say 12 CPU", "close",
                                        "connect", "failed say 12 CPU", "close"}));
    EXPECT_EQ(observer.Lines(), (std::vector<std::string>{kSpeechLostLine, kSpeechBackLine, kSpeechLostLine}));
}

TEST(Speech, AServerThatComesLaterIsFoundByTheNextTextWithOneLineEach) {
    auto server = std::make_shared<FakeServer>();
    server->answers = false;
    server->Open();
    Observer observer;
    SpeechSession session;
    session.connector = ConnectTo(server);
    observer.Attach(session);
    StartSpeech(session);
    ASSERT_TRUE(server->WaitForCalls(1));
    observer.Advance(1s);
    QueueSpeech(session, "Welcome", true);
    ASSERT_TRUE(server->WaitForCalls(2));
    {
        std::lock_guard<std::mutex> guard(server->lock);
        server->answers = true;
    }
    observer.Advance(1s);
    QueueSpeech(session, "12 CPU", false);
    ASSERT_TRUE(StopSpeech(session, 10s));
    EXPECT_EQ(server->Calls(), (std::vector<std::string>{"refused", "refused", "connect", "say 12 CPU", "close"}));
    EXPECT_EQ(observer.Lines(), (std::vector<std::string>{kSpeechLostLine, kSpeechBackLine}));
}

TEST(Speech, NoSecondAttemptWithinASecond) {
    auto server = std::make_shared<FakeServer>();
    server->answers = false;
    server->Open();
    Observer observer;
    SpeechSession session;
    session.connector = ConnectTo(server);
    observer.Attach(session);
    StartSpeech(session);
    QueueSpeech(session, "Welcome", true);  // the clock stands still: the text waits
    QueueSpeech(session, "12 CPU", false);
    ASSERT_TRUE(StopSpeech(session, 10s)) << "the way out ends the wait";
    EXPECT_EQ(server->Calls(), std::vector<std::string>{"refused"});
    EXPECT_EQ(observer.Lines(), std::vector<std::string>{kSpeechLostLine});
}

TEST(Speech, StoppingBeforeStartingNeverConnects) {
    auto server = std::make_shared<FakeServer>();
    server->Open();
    SpeechSession session;
    session.connector = ConnectTo(server);
    EXPECT_TRUE(StopSpeech(session, 10s));
    StartSpeech(session);
    EXPECT_TRUE(StopSpeech(session, 10s));
    EXPECT_TRUE(server->Calls().empty());
}

TEST(Speech, EveryTextIsOneLineOnStandardOutput) {
    LinuxPlatform platform;
    testing::internal::CaptureStdout();
    platform.OutputSpeech(u"Welcome to Tarrow version 1.0.7, Build 222!", true);
    platform.OutputSpeech(u"  Zażółć gęślą jaźń \u20AC ", false);
    platform.OutputSpeech(u"", false);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Welcome to Tarrow version 1.0.7, Build 222!\n"
              "  Za\u017C\u00F3\u0142\u0107 g\u0119\u015Bl\u0105 ja\u017A\u0144 \u20AC \n"
              "\n");
}

}  // namespace
}  // namespace tarrow
