// Worker threads and the updater program.

#include "platform/win32/windows_api.hpp"

#include <algorithm>
#include <functional>
#include <memory>

#include "platform/win32/win32_platform.hpp"
#include "platform/win32/worker_set.hpp"

namespace tarrow {

namespace {

// The committed start of the stack; the reservation leaves room for the HTTPS
// client and the TLS code that the update check runs.
constexpr SIZE_T kWorkerStackReserve = 1 << 20;

DWORD WINAPI WorkerEntry(void* parameter) noexcept {
    const std::unique_ptr<std::function<void()>> entry(
        static_cast<std::function<void()>*>(parameter));
    try {
        (*entry)();
    } catch (...) {
        // A failing check ends its own thread, never the program.
    }
    return 0;
}

bool HasEnded(const win32::UniqueHandle& thread) {
    return WaitForSingleObject(thread.get(), 0) == WAIT_OBJECT_0;
}

}  // namespace

void Win32Platform::StartWorker(std::function<void()> entry) {
    auto owned = std::make_unique<std::function<void()>>(std::move(entry));
    win32::WorkerSet& workers = *workers_;
    const std::lock_guard<std::mutex> guard(workers.lock);
    std::erase_if(workers.threads, HasEnded);
    workers.threads.reserve(workers.threads.size() + 1);
    win32::UniqueHandle thread(CreateThread(nullptr, kWorkerStackReserve, WorkerEntry,
                                            owned.get(), STACK_SIZE_PARAM_IS_A_RESERVATION,
                                            nullptr));
    // A thread that cannot start is a check that does not run.
    if (!thread) return;
    owned.release();
    workers.threads.push_back(std::move(thread));
}

bool Win32Platform::StartUpdater() {
    // A bare name: the system looks beside this program first, then in the working folder.
    wchar_t commandLine[] = L"\"updater.exe\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWNORMAL;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, commandLine, nullptr, nullptr, FALSE, NORMAL_PRIORITY_CLASS,
                        nullptr, nullptr, &startup, &process)) {
        return false;
    }
    // Not waited for.
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
}

}  // namespace tarrow
