#pragma once
// Message boxes and the prompt, answered from the script and recorded; each
// stays open for `dialogDurationMs` of the clock.

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "platform/fakes/fake_role.hpp"
#include "platform/platform_services.hpp"

namespace tarrow::testing {

struct ShownMessage {
    std::u16string caption;
    std::u16string text;
    MessageStyle style = kMbOk;
    bool operator==(const ShownMessage&) const = default;
};

struct PromptCall {
    std::u16string title;
    std::u16string prompt;
    std::u16string defaultText;
};

template <class Base = FakeRole<Dialogs>>
class FakeDialogs : public Base {
public:
    using Base::Base;

    // --- scripted inputs ---
    std::deque<MessageAnswer> messageAnswers;  // default: kIdOk / kIdNo
    std::deque<std::u16string> promptAnswers;  // default: empty text
    int64_t dialogDurationMs = 0;         // how long each box or prompt stays open
    std::function<void()> onShowMessage;  // runs while a box is open
    // When set, answers each box in place of messageAnswers; runs on the thread
    // that shows the box, after onShowMessage, outside the lock.
    std::function<MessageAnswer(const ShownMessage&)> answer;

    // --- recorded outputs ---
    std::vector<ShownMessage> messages;
    std::vector<PromptCall> prompts;

    MessageAnswer ShowMessage(std::u16string_view caption, std::u16string_view text,
                              MessageStyle style) override {
        const ShownMessage box{std::u16string(caption), std::u16string(text), style};
        std::function<void()> during;
        std::function<MessageAnswer(const ShownMessage&)> answerer;
        MessageAnswer reply = style == kMbYesNo ? kIdNo : kIdOk;
        {
            std::lock_guard<std::mutex> guard(log_.lock);
            log_.calls.push_back("ShowMessage " + Narrow(caption));
            messages.push_back(box);
            answerer = answer;
            if (!answerer && !messageAnswers.empty()) {
                reply = messageAnswers.front();
                messageAnswers.pop_front();
            }
            clock_.now += dialogDurationMs;
            during = onShowMessage;
        }
        if (during) during();
        return answerer ? answerer(box) : reply;
    }

    std::u16string PromptText(std::u16string_view title, std::u16string_view prompt,
                              std::u16string_view defaultText) override {
        log_.calls.push_back("PromptText " + Narrow(title));
        prompts.push_back(
            {std::u16string(title), std::u16string(prompt), std::u16string(defaultText)});
        clock_.now += dialogDurationMs;
        if (promptAnswers.empty()) return {};
        std::u16string answer = promptAnswers.front();
        promptAnswers.pop_front();
        return answer;
    }

protected:
    using Base::clock_;
    using Base::log_;
};

}  // namespace tarrow::testing
