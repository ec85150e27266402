#include "platform/gdal/TerminalProgress.h"

#include <algorithm>
#include <sys/ioctl.h>
#include <unistd.h>

namespace drennow::gdalhost {

namespace {

constexpr std::chrono::milliseconds kRedrawInterval{250};
constexpr size_t kBarWidth = 20;
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
    int64_t span = range_.Span();
    int64_t done = range_.Done();
    auto filled = static_cast<size_t>(done * static_cast<int64_t>(kBarWidth) / span);
    std::string bar = " [" + std::string(filled, '#') + std::string(kBarWidth - filled, '-') + "] " +
                      std::to_string(done * 100 / span) + "%";
    size_t room = Width() > bar.size() ? Width() - bar.size() : 0;
    std::fprintf(terminal_, "%s%s%s", kClearLine, message_.substr(0, room).c_str(), bar.c_str());
    std::fflush(terminal_);
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
