// Speech: the screen reader through Tolk.dll, or SAPI 5 when Tolk.dll is
// missing, so the user still hears every text. Both run on one speech thread.

#include "platform/win32/windows_api.hpp"
#include <ole2.h>
#include <sapi.h>

#include "platform/win32/speech_session.hpp"
#include "platform/win32/wide.hpp"
#include "platform/win32/win32_platform.hpp"

namespace tarrow {

namespace win32 {

namespace {

using TolkLoad = void (*)();
using TolkTrySapi = void (*)(bool);
using TolkOutput = bool (*)(const wchar_t*, bool);

constexpr CLSID kSpVoiceClass = {
    0x96749377, 0x3391, 0x11d2, {0x9e, 0xe3, 0x00, 0xc0, 0x4f, 0x79, 0x73, 0x96}};
constexpr DWORD kStopWaitMs = 3000;
// How long the last words may take once the program is ending.
constexpr ULONG kSapiDrainMs = 1500;

template <typename Function>
Function Lookup(HMODULE module, const char* name) {
    // Through the generic function type, which converts to any other without a warning.
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

// Lives on the speech thread only.
class Speaker {
public:
    void Load() {
        // Looked up beside the program first. Never unloaded: the screen
        // reader's client libraries it loads stay with it until the process ends.
        const HMODULE tolk = LoadLibraryW(L"Tolk.dll");
        if (tolk != nullptr) {
            const auto load = Lookup<TolkLoad>(tolk, "Tolk_Load");
            const auto trySapi = Lookup<TolkTrySapi>(tolk, "Tolk_TrySAPI");
            output_ = Lookup<TolkOutput>(tolk, "Tolk_Output");
            if (load != nullptr && trySapi != nullptr && output_ != nullptr) {
                load();
                trySapi(true);
                return;
            }
            output_ = nullptr;
            FreeLibrary(tolk);
        }
        CoCreateInstance(kSpVoiceClass, nullptr, CLSCTX_ALL, __uuidof(ISpVoice), voice_.out());
    }

    void Speak(const SpeechRequest& request) {
        if (output_ != nullptr) {
            output_(request.text.c_str(), request.interrupt);
        } else if (voice_) {
            DWORD flags = SPF_ASYNC | SPF_IS_NOT_XML;
            if (request.interrupt) flags |= SPF_PURGEBEFORESPEAK;
            voice_->Speak(request.text.c_str(), flags, nullptr);
        }
    }

    // The process ends right after: let SAPI finish the last words, briefly.
    void Finish() {
        if (voice_) voice_->WaitUntilDone(kSapiDrainMs);
        voice_.reset();
    }

private:
    TolkOutput output_ = nullptr;
    ComPtr<ISpVoice> voice_;
};

void PumpMessages() {
    MSG msg{};
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

DWORD WINAPI SpeechThread(void* parameter) noexcept {
    auto& session = *static_cast<SpeechSession*>(parameter);
    // An apartment of its own, with a message pump, as COM speech engines expect.
    const HRESULT ole = OleInitialize(nullptr);
    try {
        Speaker speaker;
        speaker.Load();
        while (true) {
            std::deque<SpeechRequest> batch;
            bool stop = false;
            {
                const std::lock_guard<std::mutex> guard(session.lock);
                batch.swap(session.queue);
                stop = session.stopping;
            }
            for (const SpeechRequest& request : batch) speaker.Speak(request);
            if (stop) break;
            const HANDLE wake = session.wake.get();
            MsgWaitForMultipleObjects(1, &wake, FALSE, INFINITE, QS_ALLINPUT);
            PumpMessages();
        }
        speaker.Finish();
    } catch (...) {
        // Out of memory on the speech thread: it ends, the program stays silent.
    }
    if (SUCCEEDED(ole)) OleUninitialize();
    return 0;
}

}  // namespace

void SpeechSession::Start() noexcept {
    if (started) return;
    started = true;
    wake.reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    if (!wake) return;
    // A roomy stack: screen-reader clients and SAPI engines run their code on it.
    thread.reset(CreateThread(nullptr, 1 << 20, SpeechThread, this,
                              STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr));
    const std::lock_guard<std::mutex> guard(lock);
    accepting = static_cast<bool>(thread);
}

void SpeechSession::Say(std::wstring text, bool interrupt) noexcept {
    try {
        const std::lock_guard<std::mutex> guard(lock);
        if (!accepting || stopping) return;
        queue.push_back({std::move(text), interrupt});
    } catch (...) {
        return;
    }
    SetEvent(wake.get());
}

void SpeechSession::Stop() noexcept {
    {
        const std::lock_guard<std::mutex> guard(lock);
        if (!accepting || stopping) return;
        stopping = true;
    }
    SetEvent(wake.get());
    // A speech engine that hangs must not hold the exit: the process ends anyway.
    if (WaitForSingleObject(thread.get(), kStopWaitMs) == WAIT_OBJECT_0) thread.reset();
}

}  // namespace win32

void Win32Platform::LoadSpeech() { speech_->Start(); }

void Win32Platform::OutputSpeech(std::u16string_view text, bool interrupt) {
    speech_->Say(win32::ToWide(text), interrupt);
}

}  // namespace tarrow
