// Message boxes and the input prompt through zenity (the Orca screen reader
// reads it), and the plain line on standard error.

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <mutex>

#include "platform/linux/child_process.hpp"
#include "platform/linux/desktop/zenity_boxes.hpp"
#include "platform/linux/terminal/terminal_text.hpp"
#include "platform/linux/unique_fd.hpp"
#include "platform/platform_services.hpp"
#include "platform/text.hpp"

extern char** environ;

namespace tarrow {

namespace {

// One argument for the command line: no NUL can travel inside it.
std::string Argument(std::string_view name, std::u16string_view value) {
    std::string text = Utf16ToUtf8(value);
    std::erase(text, '\0');
    return std::string(name) + text;
}

}  // namespace

// Keeps the ids of running dialogs, so shutting down can end them.
class ZenityBoxes::OpenDialog {
public:
    OpenDialog(ZenityBoxes& boxes, int pid) : boxes_(boxes), pid_(pid) {
        std::lock_guard<std::mutex> guard(boxes_.lock_);
        if (boxes_.closed_) {
            ::kill(pid_, SIGTERM);  // the program is ending: no new box
        } else {
            boxes_.open_.push_back(pid_);
        }
    }
    ~OpenDialog() {
        std::lock_guard<std::mutex> guard(boxes_.lock_);
        std::erase(boxes_.open_, pid_);
    }
    OpenDialog(const OpenDialog&) = delete;
    OpenDialog& operator=(const OpenDialog&) = delete;

private:
    ZenityBoxes& boxes_;
    int pid_;
};

// Runs the program with these arguments (no shell), its standard input from
// /dev/null and its standard output captured or thrown away, and waits for it.
ZenityBoxes::Result ZenityBoxes::Run(const std::vector<std::string>& args, bool captureOutput) {
    Result result;
    std::vector<char*> argv;
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);

    int fds[2] = {-1, -1};
    if (captureOutput && pipe2(fds, O_CLOEXEC) != 0) return result;
    UniqueFd readEnd(fds[0]), writeEnd(fds[1]);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    if (captureOutput) {
        posix_spawn_file_actions_adddup2(&actions, writeEnd.Get(), STDOUT_FILENO);
    } else {
        // Our standard output is the spoken-text log: keep the dialog's out of it.
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    }
    pid_t pid = -1;
    // posix_spawn is fork and exec made safe for a program with threads.
    const int spawned =
        posix_spawnp(&pid, argv[0], &actions, SpawnAttributes().Get(), argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return result;
    const OpenDialog open(*this, pid);

    writeEnd = UniqueFd();
    if (captureOutput) {
        // A prompt line is short; never hold more than this.
        ReadAll(readEnd.Get(), result.output, 1u << 20);
    }
    int status = 0;
    if (!WaitForChild(pid, status)) return result;
    result.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

void ZenityBoxes::CloseAll() noexcept {
    std::lock_guard<std::mutex> guard(lock_);
    closed_ = true;
    for (const int pid : open_) ::kill(pid, SIGTERM);
}

int ZenityBoxes::ShowMessage(std::u16string_view caption, std::u16string_view text,
                             unsigned style) {
    const DialogKind kind = style == kMbYesNo ? DialogKind::Question : DialogKind::Info;
    const Result result = Run(ZenityArguments(kind, caption, text), false);
    if (result.exitStatus == -1) PrintToStderr(caption, text);
    return AnswerForExitStatus(style, result.exitStatus);
}

std::u16string ZenityBoxes::PromptText(std::u16string_view title, std::u16string_view prompt,
                                       std::u16string_view defaultText) {
    const Result result = Run(ZenityArguments(DialogKind::Entry, title, prompt, defaultText), true);
    return PromptResult(result.output, result.exitStatus);
}

// The text may hold a server's words: no control character of it reaches the terminal.
void PrintToStderr(std::u16string_view caption, std::u16string_view text) {
    const std::string line = "Tarrow Desk: " + TerminalSafe(Utf16ToUtf8(caption)) + ": " +
                             TerminalSafe(Utf16ToUtf8(text)) + "\n";
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
}

std::vector<std::string> ZenityArguments(DialogKind kind, std::u16string_view caption,
                                         std::u16string_view text,
                                         std::u16string_view entryText) {
    std::vector<std::string> args = {"zenity"};
    switch (kind) {
        case DialogKind::Info: args.emplace_back("--info"); break;
        case DialogKind::Question: args.emplace_back("--question"); break;
        case DialogKind::Entry: args.emplace_back("--entry"); break;
    }
    args.push_back(Argument("--title=", caption));
    args.push_back(Argument("--text=", text));
    if (kind == DialogKind::Entry) {
        args.push_back(Argument("--entry-text=", entryText));
    } else {
        // Our texts are plain: "<" or "&" in a process name is not markup.
        args.emplace_back("--no-markup");
    }
    return args;
}

int AnswerForExitStatus(unsigned style, int exitStatus) {
    if (style == kMbYesNo) return exitStatus == 0 ? kIdYes : kIdNo;
    return kIdOk;
}

std::u16string PromptResult(std::string_view output, int exitStatus) {
    if (exitStatus != 0) return {};
    if (!output.empty() && output.back() == '\n') output.remove_suffix(1);
    return Utf8ToUtf16(output);
}

}  // namespace tarrow
