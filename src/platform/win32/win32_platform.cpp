// Start-up services, the fixed shutdown order, the clock and the end of the process.

#include "platform/win32/win32_platform.hpp"

#include "platform/win32/windows_api.hpp"
#include <winsock2.h>
#include <ole2.h>

#include <clocale>

#include "platform/audio/audio_session.hpp"
#include "platform/win32/speech_session.hpp"
#include "platform/win32/window_session.hpp"
#include "platform/win32/worker_set.hpp"

namespace tarrow {

Win32Platform::Win32Platform()
    : window_(std::make_unique<win32::WindowSession>()),
      speech_(std::make_unique<win32::SpeechSession>()),
      audio_(std::make_unique<AudioSession>()),
      workers_(std::make_unique<win32::WorkerSet>()) {
    // The platform is made on the main thread: its queue is the one the loop waits on.
    window_->mainThreadId = GetCurrentThreadId();
    window_->instance = GetModuleHandleW(nullptr);
}

Win32Platform::~Win32Platform() = default;

void Win32Platform::InitServices() {
    // The user's locale for everything but numbers, which always use a full stop.
    std::setlocale(LC_ALL, "");
    std::setlocale(LC_NUMERIC, "C");
    oleStarted_ = SUCCEEDED(OleInitialize(nullptr));
    // The manifest declares the program DPI-aware; this covers a copy run without it.
    SetProcessDPIAware();
    if (const HDC screen = GetDC(nullptr)) {
        const int dpiX = GetDeviceCaps(screen, LOGPIXELSX);
        const int dpiY = GetDeviceCaps(screen, LOGPIXELSY);
        ReleaseDC(nullptr, screen);
        if (dpiX > 0) window_->scaleX = dpiX / 96.0;
        if (dpiY > 0) window_->scaleY = dpiY / 96.0;
    }
    WSADATA wsa{};
    networkStarted_ = WSAStartup(MAKEWORD(2, 2), &wsa) == 0;
    // Taking the clock's first reading here keeps every due time small.
    NowMs();
}

void Win32Platform::ShutdownServices() {
    if (shutDown_) return;
    shutDown_ = true;
    // Worker threads: their handles go; running workers end with the process.
    {
        const std::lock_guard<std::mutex> guard(workers_->lock);
        workers_->threads.clear();
    }
    StopAudioEngine(*audio_);
    // Windows, then COM: the speech thread leaves its apartment before ours closes.
    speech_->Stop();
    if (oleStarted_) {
        OleUninitialize();
        oleStarted_ = false;
    }
    // The tray icon leaves the notification area on every road out, then its image.
    win32::DeleteTrayIcon(*window_);
    window_->trayImage.reset();
    window_->trayMenu.reset();
    if (networkStarted_) {
        WSACleanup();
        networkStarted_ = false;
    }
    // The hidden window of the event queue.
    CloseHiddenWindow();
}

void Win32Platform::EndProcess(int exitCode) { ExitProcess(static_cast<UINT>(exitCode)); }

int64_t Win32Platform::NowMs() {
    if (!clockStarted_) {
        LARGE_INTEGER frequency{};
        LARGE_INTEGER start{};
        if (QueryPerformanceFrequency(&frequency) && frequency.QuadPart > 0 &&
            QueryPerformanceCounter(&start)) {
            counterFrequency_ = frequency.QuadPart;
            counterStart_ = start.QuadPart;
        } else {
            counterFrequency_ = 0;
            counterStart_ = static_cast<int64_t>(GetTickCount64());
        }
        clockStarted_ = true;
    }
    if (counterFrequency_ == 0) return static_cast<int64_t>(GetTickCount64()) - counterStart_;
    LARGE_INTEGER now{};
    QueryPerformanceCounter(&now);
    const int64_t ticks = now.QuadPart - counterStart_;
    // Split so that ticks * 1000 cannot overflow on a long run.
    return ticks / counterFrequency_ * 1000 + ticks % counterFrequency_ * 1000 / counterFrequency_;
}

std::unique_ptr<PlatformServices> CreatePlatform() {
    FinishUnfinishedUpdate();
    return std::make_unique<Win32Platform>();
}

}  // namespace tarrow
