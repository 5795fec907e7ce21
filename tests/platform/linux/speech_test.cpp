#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/linux/linux_platform.hpp"
#include "platform/linux/speech_session.hpp"

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
    bool open = false;
    bool answers = true;
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
};

class FakeSink final : public SpeechSink {
public:
    explicit FakeSink(std::shared_ptr<FakeServer> server) : server_(std::move(server)) {}
    ~FakeSink() override { Record("close"); }
    void Cancel() override { Record("cancel"); }
    void Say(const std::string& utf8) override { Record("say " + utf8); }

private:
    void Record(std::string call) {
        std::lock_guard<std::mutex> guard(server_->lock);
        server_->calls.push_back(std::move(call));
    }
    std::shared_ptr<FakeServer> server_;
};

SpeechConnector ConnectTo(std::shared_ptr<FakeServer> server) {
    return [server]() -> std::unique_ptr<SpeechSink> {
        std::unique_lock<std::mutex> guard(server->lock);
        server->opened.wait(guard, [&] { return server->open; });
        if (!server->answers) return nullptr;
        return std::make_unique<FakeSink>(server);
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
              (std::vector<std::string>{"cancel", "say Welcome", "say 12 CPU", "say 34 CPU", "close"}));
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
    EXPECT_EQ(server->Calls(), (std::vector<std::string>{"cancel", "say Exiting", "close"}));
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
    EXPECT_TRUE(server->Calls().empty());
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
