#pragma once
// Everything the logic asks of the operating system. Only plain data crosses
// this interface, so the logic builds and is tested without any system header.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tarrow {

enum class EventKind {
    None,         // the wait timed out
    Hotkey,       // id = hotkey id
    Menu,         // id = tray menu item id
    Close,        // close request to the hidden window
    Other,        // any other message, already handled by the platform
    ExitRequest,  // posted by a worker (update hand-over) to end on the main thread
};

struct Event {
    EventKind kind = EventKind::None;
    int64_t id = 0;
};

// Message box styles and answers, with the values of the Windows API (which
// takes and gives them as they are).
enum MessageStyle : unsigned { kMbOk = 0, kMbYesNo = 4 };
enum MessageAnswer : int { kIdOk = 1, kIdYes = 6, kIdNo = 7 };

// Hotkey modifier flags, as RegisterHotKey takes them; combined with |.
enum ModifierFlag : uint32_t { kModAlt = 1, kModControl = 2, kModShift = 4, kModWin = 8 };

using CueId = int;
inline constexpr CueId kNoCue = -1;

// The five cues loaded at start-up; kNoCue plays nothing.
struct SoundCues {
    CueId up = kNoCue;
    CueId down = kNoCue;
    CueId cpu = kNoCue;
    CueId memory = kNoCue;
    CueId battery = kNoCue;
};

// One row of a process snapshot. The first row of every snapshot stands for
// the idle process (PID 0), as the Windows toolhelp snapshot begins.
struct SnapshotEntry {
    uint32_t pid = 0;
    std::u16string exeFile;  // file name without path, untrimmed
};

struct MemoryStatus {
    uint64_t totalPhys = 0;
    uint64_t availPhys = 0;
};

// The two bytes of the Windows power status that the program reads.
struct PowerStatus {
    uint8_t acLineStatus = 255;        // 0 off-line, 1 on-line, 255 unknown
    uint8_t batteryLifePercent = 255;  // 0..100, 255 no battery
};

struct LocalTime {
    int year = 1970, month = 1, day = 1, hour = 0, minute = 0, second = 0;
};

enum class FileReadStatus { Ok, Missing, Unreadable };

struct FileReadResult {
    FileReadStatus status = FileReadStatus::Missing;
    std::string bytes;
    bool cut = false;  // the file holds more than was asked for: bytes has the first part
};

enum class OutputMode {
    Append,     // create when missing, write after the existing content
    Exclusive,  // create or replace; others may only read it while it is open
};

// A file open for writing; closed when destroyed.
class OutputFile {
public:
    virtual ~OutputFile() = default;
    // Returns the number of bytes actually written.
    virtual size_t Write(std::string_view bytes) = 0;
    // Why the last short write fell short, as the system says it.
    virtual std::u16string FailureReason() const = 0;
};

// The platform's services, split by the roles the logic uses them in; each
// module takes only the roles it needs, and a test double implements only
// the role it scripts. PlatformServices bundles them for the application.

// Start-up, the event loop, the hidden window and the tray icon.
class WindowAndEvents {
public:
    virtual ~WindowAndEvents() = default;

    // Start-up services (locale, COM, DPI, networking...). Failures are silent.
    virtual void InitServices() = 0;
    // Releases everything in the fixed shutdown order; safe to call once at the end.
    virtual void ShutdownServices() = 0;
    // Ends the process at once with this exit code.
    [[noreturn]] virtual void EndProcess(int exitCode) = 0;

    // Waits at most timeoutMs for an event; 0 polls.
    virtual Event WaitEvent(int64_t timeoutMs) = 0;
    // Thread-safe: wakes the main thread's wait with an ExitRequest event.
    virtual void PostExitRequest() = 0;

    virtual void CreateHiddenWindow(std::u16string_view title) = 0;
    virtual void CloseHiddenWindow() = 0;
    // Adds the tray icon (a 600 x 400 black image) with its first tooltip.
    virtual void AddTrayIcon(std::u16string_view tooltip) = 0;
    // The platform cuts the text to 63 UTF-16 units.
    virtual void SetTrayTooltip(std::u16string_view tooltip) = 0;
    virtual void RemoveTrayIcon() = 0;
    // The tray menu with its one item; choosing it yields a Menu event with itemId.
    virtual void CreateTrayMenu(int64_t itemId, std::u16string_view text) = 0;
};

class Dialogs {
public:
    virtual ~Dialogs() = default;

    // Modal; kMbOk is answered kIdOk, kMbYesNo kIdYes or kIdNo. Thread-safe
    // (workers ask too). A worker's box may still be open while the services
    // shut down; it must not rely on anything ShutdownServices releases.
    virtual MessageAnswer ShowMessage(std::u16string_view caption, std::u16string_view text,
                                      MessageStyle style) = 0;
    // Modal one-line prompt; Escape or closing gives the empty text.
    virtual std::u16string PromptText(std::u16string_view title, std::u16string_view prompt,
                                      std::u16string_view defaultText) = 0;
};

// One hotkey as registration asks for it.
struct HotkeyRequest {
    int id = 0;
    uint32_t modifiers = 0;
    uint8_t virtualKey = 0;
    std::u16string_view label;
};

class Keyboard {
public:
    virtual ~Keyboard() = default;

    // Every hotkey, once, before the first RegisterHotkey: a system that binds
    // them all in one request (and one dialog for the user) does it here; the
    // later RegisterHotkey calls then answer what it bound.
    virtual void PrepareHotkeys(std::span<const HotkeyRequest>) {}

    // label: the hotkey's short name, for a front end that shows its keys.
    virtual bool RegisterHotkey(int id, uint32_t modifiers, uint8_t virtualKey,
                                std::u16string_view label) = 0;
    // Eight hexadecimal digits, for example "00000409".
    virtual std::u16string KeyboardLayoutName() = 0;
};

class Workers {
public:
    virtual ~Workers() = default;

    // Starts a detached worker thread; never joined. Its stack must hold libcurl
    // and a TLS handshake: reserve at least 1 MiB (Windows: the size passed with
    // STACK_SIZE_PARAM_IS_A_RESERVATION; std::thread on Linux gets 8 MiB).
    virtual void StartWorker(std::function<void()> entry) = 0;
    // Starts the updater program ("updater.exe" on Windows, "updater" elsewhere),
    // looked for in the program's own folder, then in the working directory;
    // without arguments, with this environment and working directory, inheriting
    // no handles, detached and never waited for. false when it could not start.
    virtual bool StartUpdater() = 0;
};

class SpeechAndSound {
public:
    virtual ~SpeechAndSound() = default;

    // Sound: false when no audio engine could start (every cue is then none).
    virtual bool StartAudio() = 0;
    virtual CueId LoadCue(std::u16string_view path) = 0;
    virtual void PlayCue(CueId cue) = 0;

    // Speech library. Output is thread-safe and returns at once.
    virtual void LoadSpeech() = 0;
    virtual void OutputSpeech(std::u16string_view text, bool interrupt) = 0;
    // How long a braille display shows each text (prefs.ini's braille_hold_ms;
    // 0 keeps it until the next one). Where braille comes through the screen
    // reader, as on Windows, there is nothing to set.
    virtual void SetBrailleHold(int64_t /*holdMs*/) {}
};

class Clipboard {
public:
    virtual ~Clipboard() = default;

    // false when the clipboard could not be opened or written.
    virtual bool SetClipboardText(std::u16string_view text) = 0;
};

// Processes. A process that cannot be opened or read gives 0 / nullopt.
class ProcessControl {
public:
    virtual ~ProcessControl() = default;

    virtual bool TakeProcessSnapshot(std::vector<SnapshotEntry>& out) = 0;
    virtual int64_t ProcessWorkingSet(uint32_t pid) = 0;
    // Kernel plus user time in 100-ns units.
    virtual std::optional<uint64_t> ProcessCpuTime(uint32_t pid) = 0;
    // What tells this process from a later one given the same PID (Linux: start
    // time in clock ticks after boot; Windows: creation time), as read with its
    // working set or CPU time in the same refresh; 0 when unknown.
    virtual uint64_t ProcessStartTime(uint32_t pid) = 0;
    // Ends the process only while `pid` still names the process that was listed
    // with this start time and name (spaces at both ends aside): a process that
    // has since ended, or a new one given the same PID, is left alone. true when
    // the request was made (the system may still refuse it).
    virtual bool TerminateProcess(uint32_t pid, uint64_t startTime,
                                  std::u16string_view name) = 0;
    virtual uint32_t CurrentProcessId() = 0;
    // Full path of the main executable, at most 259 units.
    virtual std::optional<std::u16string> ProcessImagePath(uint32_t pid) = 0;
};

// The clocks and the machine's own facts.
class SystemFacts {
public:
    virtual ~SystemFacts() = default;

    // Milliseconds since the first reading in this run; monotonic.
    virtual int64_t NowMs() = 0;
    virtual uint32_t TickCount() = 0;        // GetTickCount: ms since boot, wraps
    virtual uint64_t SystemUptimeMs() = 0;   // GetTickCount64
    virtual MemoryStatus GetMemoryStatus() = 0;
    virtual PowerStatus GetPowerStatus() = 0;
    virtual std::optional<std::string> ProcessorBrand() = 0;  // raw 48-byte string up to NUL
    virtual std::optional<uint64_t> SystemAffinityMask() = 0;
    virtual LocalTime GetLocalTime() = 0;
};

// Files, by paths relative to the working directory.
class Files {
public:
    virtual ~Files() = default;

    // At most maxBytes of the file; what lies beyond is never read into memory.
    virtual FileReadResult ReadFile(std::u16string_view path, size_t maxBytes) = 0;
    // Replaces the whole file in one step (write aside, then rename), so it is
    // always either the old or the new one. An existing file that cannot be
    // opened for writing is left untouched and false is returned.
    virtual bool ReplaceFile(std::u16string_view path, std::string_view bytes) = 0;
    virtual std::unique_ptr<OutputFile> OpenOutputFile(std::u16string_view path,
                                                       OutputMode mode) = 0;
    virtual bool DeleteFile(std::u16string_view path) = 0;
    // Moves a closed file to a new name in the same folder in one step, replacing
    // any file there; false (nothing changed) when it cannot.
    virtual bool RenameFile(std::u16string_view from, std::u16string_view to) = 0;
    // Text in the system's ANSI code page (on Linux the locale's character set).
    virtual std::u16string AnsiToUtf16(std::string_view bytes) = 0;
    // One line for whoever watches the program (standard error): what a file
    // did to the program that speech does not say.
    virtual void ReportFileProblem(std::u16string_view line) = 0;
};

// Every role in one object: what a backend provides and the application holds.
class PlatformServices : public WindowAndEvents,
                         public Dialogs,
                         public Keyboard,
                         public Workers,
                         public SpeechAndSound,
                         public Clipboard,
                         public ProcessControl,
                         public SystemFacts,
                         public Files {};

// What the application holds: one reference per role, all nine to one
// backend, or (in tests) real roles beside scripted ones.
struct PlatformRoles {
    PlatformRoles(PlatformServices& platform)
        : PlatformRoles(platform, platform, platform, platform, platform, platform, platform,
                        platform, platform) {}
    PlatformRoles(WindowAndEvents& window, Dialogs& dialogs, Keyboard& keyboard,
                  Workers& workers, SpeechAndSound& sound, Clipboard& clipboard,
                  ProcessControl& processes, SystemFacts& facts, Files& files)
        : window(window), dialogs(dialogs), keyboard(keyboard), workers(workers), sound(sound),
          clipboard(clipboard), processes(processes), facts(facts), files(files) {}

    WindowAndEvents& window;
    Dialogs& dialogs;
    Keyboard& keyboard;
    Workers& workers;
    SpeechAndSound& sound;
    Clipboard& clipboard;
    ProcessControl& processes;
    SystemFacts& facts;
    Files& files;
};

// Provided by the backend chosen at build time.
std::unique_ptr<PlatformServices> CreatePlatform();

}  // namespace tarrow
