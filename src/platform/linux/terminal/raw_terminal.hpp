#pragma once
// Raw mode for the terminal front end's standard input.

#include <termios.h>

namespace tarrow {

// Standard input in non-canonical, no-echo mode; the saved settings come back
// when this is destroyed or Restore is called, and on fatal signals.
class RawTerminal {
public:
    RawTerminal() = default;
    RawTerminal(const RawTerminal&) = delete;
    RawTerminal& operator=(const RawTerminal&) = delete;
    ~RawTerminal() { Restore(); }
    bool Enter(int fd);
    void Restore() noexcept;

private:
    int fd_ = -1;
    termios saved_{};
};

}  // namespace tarrow
