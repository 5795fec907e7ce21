#pragma once
// Workers queued for the test to run on its own thread (or run at once), and
// updater starts counted.

#include <deque>
#include <functional>

#include "platform/fakes/fake_role.hpp"
#include "platform/platform_services.hpp"

namespace tarrow::testing {

template <class Base = FakeRole<Workers>>
class FakeWorkers : public Base {
public:
    using Base::Base;

    // --- scripted inputs ---
    bool updaterStarts = true;
    bool runWorkersInline = false;  // else StartWorker queues them for RunWorkers()

    // --- recorded outputs ---
    int updaterStarted = 0;

    // Runs the queued workers (and any they queue) on the calling thread.
    void RunWorkers() {
        while (true) {
            std::function<void()> next;
            {
                std::lock_guard<std::mutex> guard(log_.lock);
                if (workers_.empty()) return;
                next = std::move(workers_.front());
                workers_.pop_front();
            }
            next();
        }
    }

    size_t PendingWorkers() const {
        std::lock_guard<std::mutex> guard(log_.lock);
        return workers_.size();
    }

    void StartWorker(std::function<void()> entry) override {
        {
            std::lock_guard<std::mutex> guard(log_.lock);
            log_.calls.push_back("StartWorker");
            if (!runWorkersInline) {
                workers_.push_back(std::move(entry));
                return;
            }
        }
        entry();
    }

    bool StartUpdater() override {
        std::lock_guard<std::mutex> guard(log_.lock);
        log_.calls.push_back("StartUpdater");
        ++updaterStarted;
        return updaterStarts;
    }

protected:
    using Base::log_;

private:
    std::deque<std::function<void()>> workers_;
};

}  // namespace tarrow::testing
