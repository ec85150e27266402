#include "platform/gdal/terminal/TerminalProgress.h"

#include <algorithm>
#include <sys/ioctl.h>
#include <unistd.h>

namespace drennow::gdalhost {

namespace {

constexpr std::chrono::milliseconds kRedrawInterval{250};
// The bar's marks at most; fewer when the message needs the room.
constexpr size_t kBarWidth = 20;
// The room the bar takes besides its marks: " [", "] " and "100%".
constexpr size_t kBarFrame = 8;
constexpr const char* kClearLine = "\r\x1b[K";

}  // namespace

TerminalProgressBar::TerminalProgressBar(std::FILE* terminal) : terminal_(terminal) {}

void TerminalProgressBar::Message(const std::string& text)
{
    message_ = text;
    if (visible_) {
        Draw(fresh_ || !stepped_);
        fresh_ = false;
    }
    stepped_ = false;
}

// A message set before the bar is shown is drawn with it; otherwise the bar
// waits for its first message, which says what it counts.
void TerminalProgressBar::Show()
{
    visible_ = true;
    fresh_ = message_.empty();
    if (!fresh_) {
        Draw(true);
    }
}

void TerminalProgressBar::Step()
{
    range_.Step();
    stepped_ = true;
}

void TerminalProgressBar::Hide()
{
    if (visible_ && terminal_) {
        std::fputs(kClearLine, terminal_);
        std::fflush(terminal_);
    }
    visible_ = false;
    message_.clear();
}

void TerminalProgressBar::ShowText(const std::string& text)
{
    if (!terminal_) {
        return;
    }
    std::fprintf(terminal_, "%s%s", kClearLine, text.substr(0, Width()).c_str());
    std::fflush(terminal_);
}

void TerminalProgressBar::Draw(bool now)
{
    if (!terminal_) {
        return;
    }
    auto time = std::chrono::steady_clock::now();
    if (!now && time - lastDraw_ < kRedrawInterval) {
        return;
    }
    lastDraw_ = time;
    size_t width = Width();
    std::fprintf(terminal_, "%s%s%s", kClearLine, message_.substr(0, width).c_str(),
                 Bar(width - std::min(width, message_.size())).c_str());
    std::fflush(terminal_);
}

// The share done in at most `room` characters: a narrower bar rather than a
// message cut short, and the figure alone when not even one mark fits.
std::string TerminalProgressBar::Bar(size_t room) const
{
    int64_t span = range_.Span();
    int64_t done = range_.Done();
    std::string percent = std::to_string(done * 100 / span) + "%";
    if (room <= kBarFrame) {
        return room > percent.size() ? " " + percent : "";
    }
    size_t width = std::min(kBarWidth, room - kBarFrame);
    auto filled = static_cast<size_t>(done * static_cast<int64_t>(width) / span);
    return " [" + std::string(filled, '#') + std::string(width - filled, '-') + "] " + percent;
}

size_t TerminalProgressBar::Width() const
{
    winsize size{};
    if (::ioctl(::fileno(terminal_), TIOCGWINSZ, &size) == 0 && size.ws_col > 1) {
        return size.ws_col - 1;
    }
    return 79;
}

TerminalStatusBar::TerminalStatusBar(std::FILE* terminal) : bar_(std::make_shared<TerminalProgressBar>(terminal)) {}

void TerminalStatusBar::Message(int32_t pane, const std::string& text)
{
    if (pane == 0) {
        bar_->ShowText(text);
    }
}

}  // namespace drennow::gdalhost
