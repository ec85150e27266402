#pragma once

#include "host/Progress.h"

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>

namespace drennow::gdalhost {

// A one-line progress bar drawn on a terminal; with no terminal it shows
// nothing. The run sets a step's message after the step, so the bar is drawn
// when its message is set: the count in the message and the share the bar
// shows are then of the same step. A step's message is drawn a few times a
// second at most; the first one after the bar is shown, and a message of its
// own (not a step's), at once. A message belongs to one showing of the bar:
// hiding the bar forgets it.
class TerminalProgressBar : public host::IStepProgressor {
public:
    // terminal: where to draw, or nullptr to show nothing.
    explicit TerminalProgressBar(std::FILE* terminal);

    void MinRange(int32_t value) override { range_.min = value; }
    void MaxRange(int32_t value) override { range_.max = value; }
    void StepValue(int32_t value) override { range_.step = value; }
    void Position(int32_t value) override { range_.position = value; }
    void Message(const std::string& text) override;
    void Show() override;
    void Step() override;
    void Hide() override;

    // A line of text in the bar's place (the status bar's message).
    void ShowText(const std::string& text);

private:
    void Draw(bool now);
    std::string Bar(size_t room) const;
    size_t Width() const;

    std::FILE* terminal_;
    host::StepRange range_;
    std::string message_;
    bool visible_ = false;
    bool stepped_ = false;  // since the last message
    bool fresh_ = false;    // shown, and no message drawn yet
    std::chrono::steady_clock::time_point lastDraw_{};
};

// The status bar: its message and its progress bar share the one line.
class TerminalStatusBar : public host::IStatusBar {
public:
    explicit TerminalStatusBar(std::FILE* terminal);

    void Message(int32_t pane, const std::string& text) override;
    host::Ref<host::IStepProgressor> ProgressBar() override { return bar_; }

private:
    std::shared_ptr<TerminalProgressBar> bar_;
};

}  // namespace drennow::gdalhost
