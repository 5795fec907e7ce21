#pragma once
// The event loop, the hidden window and the tray icon, scripted: each wait
// yields the next scripted event after letting its delay pass on the clock.

#include <algorithm>
#include <deque>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/fakes/fake_role.hpp"
#include "platform/platform_services.hpp"

namespace tarrow::testing {

// A scripted event: the wait first lets `delayMs` pass, then yields `event`.
struct ScriptedEvent {
    int64_t delayMs = 0;
    Event event;
};

template <class Base = FakeRole<WindowAndEvents>>
class FakeWindowAndEvents : public Base {
public:
    using Base::Base;

    // --- scripted inputs ---
    std::deque<ScriptedEvent> events;
    // When no event is left: yield Close so a loop under test always ends.
    bool closeWhenIdle = true;

    // --- recorded outputs ---
    std::vector<std::u16string> tooltips;
    int shutdowns = 0;
    bool trayIconPresent = false;
    bool windowOpen = false;

    void PushHotkey(int64_t id, int64_t delayMs = 0) {
        events.push_back({delayMs, {EventKind::Hotkey, id}});
    }

    void InitServices() override { log_.calls.push_back("InitServices"); }

    void ShutdownServices() override {
        log_.calls.push_back("ShutdownServices");
        ++shutdowns;
        trayIconPresent = false;  // releasing the tray icons removes ours on every road
    }

    [[noreturn]] void EndProcess(int) override {
        throw std::logic_error("the logic never ends the process");
    }

    Event WaitEvent(int64_t timeoutMs) override {
        {
            std::lock_guard<std::mutex> guard(log_.lock);
            if (!posted_.empty()) {
                const Event e = posted_.front();
                posted_.pop_front();
                return e;
            }
        }
        if (events.empty()) {
            if (closeWhenIdle) return {EventKind::Close, 0};
            clock_.now += timeoutMs;
            return {};
        }
        ScriptedEvent& next = events.front();
        if (next.delayMs > 0) {
            const int64_t step =
                std::min<int64_t>(next.delayMs, std::max<int64_t>(timeoutMs, 0));
            next.delayMs -= step;
            clock_.now += step;
            if (next.delayMs > 0 || step > 0) return {};
        }
        const Event e = next.event;
        events.pop_front();
        return e;
    }

    void PostExitRequest() override {
        std::lock_guard<std::mutex> guard(log_.lock);
        posted_.push_back({EventKind::ExitRequest, 0});
    }

    void CreateHiddenWindow(std::u16string_view title) override {
        log_.calls.push_back("CreateHiddenWindow " + Narrow(title));
        windowOpen = true;
    }

    void CloseHiddenWindow() override {
        log_.calls.push_back("CloseHiddenWindow");
        windowOpen = false;
    }

    void AddTrayIcon(std::u16string_view tooltip) override {
        log_.calls.push_back("AddTrayIcon " + Narrow(tooltip));
        trayIconPresent = true;
        tooltips.emplace_back(tooltip);
    }

    void SetTrayTooltip(std::u16string_view tooltip) override {
        tooltips.emplace_back(tooltip.substr(0, 63));
    }

    void RemoveTrayIcon() override {
        log_.calls.push_back("RemoveTrayIcon");
        trayIconPresent = false;
    }

    void CreateTrayMenu(int64_t itemId, std::u16string_view text) override {
        log_.calls.push_back("CreateTrayMenu " + std::to_string(itemId) + " " + Narrow(text));
    }

protected:
    using Base::clock_;
    using Base::log_;

private:
    std::deque<Event> posted_;  // exit requests from workers, taken before the script
};

}  // namespace tarrow::testing
