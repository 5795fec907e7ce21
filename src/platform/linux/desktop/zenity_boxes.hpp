#pragma once
// Boxes and the prompt asked through zenity (the Orca screen reader reads
// it), and the plain line on standard error when no box can be shown.

#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace tarrow {

enum class DialogKind { Info, Question, Entry };
// zenity's command line; every value travels as one "--name=value" argument.
std::vector<std::string> ZenityArguments(DialogKind kind, std::u16string_view caption,
                                         std::u16string_view text,
                                         std::u16string_view entryText = {});
// The box's answer for zenity's exit status (-1 when it could not run).
int AnswerForExitStatus(unsigned style, int exitStatus);
// Text the prompt yields from zenity's standard output and exit status.
std::u16string PromptResult(std::string_view output, int exitStatus);

// The box as one line on standard error; no control character of it reaches the terminal.
void PrintToStderr(std::u16string_view caption, std::u16string_view text);

// zenity boxes, asked from any thread. The ones still open when the program
// shuts down are ended, so no box outlives the program that asked it.
class ZenityBoxes {
public:
    int ShowMessage(std::u16string_view caption, std::u16string_view text, unsigned style);
    std::u16string PromptText(std::u16string_view title, std::u16string_view prompt,
                              std::u16string_view defaultText);
    // Ends the open boxes; any box asked later ends at once.
    void CloseAll() noexcept;

private:
    struct Result {
        int exitStatus = -1;  // -1: could not start, or ended by a signal
        std::string output;
    };
    class OpenDialog;
    Result Run(const std::vector<std::string>& args, bool captureOutput);

    std::mutex lock_;
    std::vector<int> open_;  // process ids
    bool closed_ = false;
};

}  // namespace tarrow
