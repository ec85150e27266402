#pragma once

#include "host/Progress.h"

#include <chrono>
#include <optional>
#include <string>

namespace drennow::gdalhost {

// Where questions read their answers from.
class LineSource {
public:
    virtual ~LineSource() = default;
    // The next line, without its end; nothing at the end of input or when
    // the user pressed Ctrl-C or Esc.
    virtual std::optional<std::string> ReadLine() = 0;
    virtual bool Interrupted() const = 0;
    // Esc was pressed: the user cancels.
    virtual bool EscapePressed() const { return false; }
};

// The process's terminal: Ctrl-C, SIGTERM or SIGHUP asks to cancel instead
// of ending the process (a second one ends it); while the run works, keys are
// read one at a time without echo so that Esc can cancel, and Esc at a
// question cancels as soon as it is pressed. The terminal's settings are
// restored when the console is destroyed, and when a signal ends the process.
// One per process.
class Console : public LineSource {
public:
    Console();
    ~Console() override;
    Console(const Console&) = delete;
    Console& operator=(const Console&) = delete;

    bool InputIsTerminal() const { return inputIsTerminal_; }
    bool ErrorIsTerminal() const { return errorIsTerminal_; }

    // From now on Esc is watched for.
    void WatchKeys();
    // Ctrl-C was pressed, or Esc while keys are watched.
    bool CancelRequested();

    std::optional<std::string> ReadLine() override;
    bool Interrupted() const override;
    bool EscapePressed() const override { return escPressed_; }
    // The signal that asked to cancel; 0 when none did.
    int InterruptSignal() const;

private:
    void EnterKeyMode();
    void EnterLineMode();
    // After an Esc in a typed line: reads the rest of the sequence that an
    // arrow or function key sends; false when the Esc came alone.
    bool SkipKeySequence();
    void PollKeys();

    bool inputIsTerminal_;
    bool errorIsTerminal_;
    bool watchingKeys_ = false;
    bool escPressed_ = false;
    std::chrono::steady_clock::time_point lastPoll_{};
};

// A cancel tracker of the console.
class ConsoleCancelTracker : public host::ITrackCancel {
public:
    explicit ConsoleCancelTracker(Console& console);
    bool Continue() override { return !console_.CancelRequested(); }

private:
    Console& console_;
};

}  // namespace drennow::gdalhost
