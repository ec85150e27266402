#include "platform/gdal/terminal/Console.h"

#include <cerrno>
#include <csignal>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace drennow::gdalhost {

namespace {

constexpr char kEscape = 0x1b;
// Ctrl-C, and what kill, timeout, job schedulers and a closed terminal send:
// each asks the run to cancel, so that nothing half-done is left behind.
constexpr int kInterruptSignals[] = {SIGINT, SIGTERM, SIGHUP};
// Keys are looked at this often while the run works.
constexpr std::chrono::milliseconds kPollInterval{50};

// Shared with the signal handlers.
volatile std::sig_atomic_t g_interruptSignal = 0;  // the first one
volatile std::sig_atomic_t g_haveSavedMode = 0;
termios g_savedMode;

void RestoreTerminal()
{
    if (g_haveSavedMode) {
        ::tcsetattr(STDIN_FILENO, TCSANOW, &g_savedMode);
    }
}

void EndBySignal(int signal)
{
    RestoreTerminal();
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

void OnInterrupt(int signal)
{
    if (g_interruptSignal != 0) {
        EndBySignal(signal);
    }
    g_interruptSignal = signal;
}

void Handle(int signal, void (*handler)(int))
{
    struct sigaction action = {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;  // no restart: a waiting read returns at Ctrl-C
    ::sigaction(signal, &action, nullptr);
}

// An Esc key on its own, not the start of the sequence an arrow or function
// key sends.
bool HasLoneEscape(const char* keys, ssize_t count)
{
    for (ssize_t i = 0; i < count; ++i) {
        if (keys[i] == kEscape && (i + 1 == count || (keys[i + 1] != '[' && keys[i + 1] != 'O'))) {
            return true;
        }
    }
    return false;
}

}  // namespace

Console::Console()
    : inputIsTerminal_(::isatty(STDIN_FILENO) != 0), errorIsTerminal_(::isatty(STDERR_FILENO) != 0)
{
    if (inputIsTerminal_ && ::tcgetattr(STDIN_FILENO, &g_savedMode) == 0) {
        g_haveSavedMode = 1;
    }
    for (int signal : kInterruptSignals) {
        Handle(signal, OnInterrupt);
    }
}

// The handlers stay for the rest of the process: a signal that comes once
// the run has ended (while the process exits) changes nothing, rather than
// killing a process whose run has saved and reported.
Console::~Console()
{
    RestoreTerminal();
    g_haveSavedMode = 0;
}

void Console::WatchKeys()
{
    watchingKeys_ = true;
    EnterKeyMode();
}

bool Console::CancelRequested()
{
    if (watchingKeys_ && !escPressed_) {
        PollKeys();
    }
    return Interrupted() || escPressed_;
}

bool Console::Interrupted() const
{
    return g_interruptSignal != 0;
}

int Console::InterruptSignal() const
{
    return g_interruptSignal;
}

std::optional<std::string> Console::ReadLine()
{
    EnterLineMode();
    std::string line;
    std::optional<std::string> result;
    while (!Interrupted() && !escPressed_) {
        char c;
        ssize_t got = ::read(STDIN_FILENO, &c, 1);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            break;  // end of input
        }
        if (c == '\n') {
            result = line;
            break;
        }
        if (c == kEscape && g_haveSavedMode) {
            escPressed_ = !SkipKeySequence();
        } else if (c != '\r') {
            line += c;
        }
    }
    if (watchingKeys_) {
        EnterKeyMode();
    } else {
        RestoreTerminal();
    }
    return Interrupted() || escPressed_ ? std::nullopt : result;
}

// The user's own line editing, with Esc ending a line as Enter does, so that
// it is seen as soon as it is pressed.
void Console::EnterLineMode()
{
    if (!g_haveSavedMode) {
        return;
    }
    termios line = g_savedMode;
    line.c_cc[VEOL] = kEscape;
    ::tcsetattr(STDIN_FILENO, TCSANOW, &line);
}

bool Console::SkipKeySequence()
{
    // A key's sequence comes at once; a person types slower than this.
    termios keys = g_savedMode;
    keys.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
    keys.c_cc[VMIN] = 0;
    keys.c_cc[VTIME] = 1;  // tenths of a second
    ::tcsetattr(STDIN_FILENO, TCSANOW, &keys);
    auto next = [] {
        char c;
        return ::read(STDIN_FILENO, &c, 1) == 1 ? c : '\0';
    };
    char introducer = next();
    bool sequence = introducer == '[' || introducer == 'O';
    // A control sequence ends in a byte from '@' to '~'; SS3 ones after one.
    for (char c = introducer == '[' ? next() : '\0'; c != '\0' && (c < '@' || c > '~'); c = next()) {
    }
    if (introducer == 'O') {
        next();
    }
    EnterLineMode();
    return sequence;
}

void Console::EnterKeyMode()
{
    if (!g_haveSavedMode) {
        return;
    }
    termios keys = g_savedMode;
    keys.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
    keys.c_cc[VMIN] = 0;
    keys.c_cc[VTIME] = 0;
    ::tcsetattr(STDIN_FILENO, TCSANOW, &keys);
}

void Console::PollKeys()
{
    if (!g_haveSavedMode) {
        return;
    }
    auto now = std::chrono::steady_clock::now();
    if (now - lastPoll_ < kPollInterval) {
        return;
    }
    lastPoll_ = now;
    pollfd input{STDIN_FILENO, POLLIN, 0};
    while (::poll(&input, 1, 0) > 0 && (input.revents & POLLIN)) {
        char keys[64];
        ssize_t count = ::read(STDIN_FILENO, keys, sizeof keys);
        if (count <= 0) {
            return;
        }
        if (HasLoneEscape(keys, count)) {
            escPressed_ = true;
            return;
        }
    }
}

ConsoleCancelTracker::ConsoleCancelTracker(Console& console) : console_(console)
{
    console_.WatchKeys();
}

}  // namespace drennow::gdalhost
