#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <vector>

// Runs a program as the user would from a shell, and reports what it did.
namespace drennow::e2e {

enum class Input {
    Closed,    // no standard input at all
    Terminal,  // a pseudo-terminal, its own controlling terminal
};

struct ChildOptions {
    Input input = Input::Closed;
    std::string workingFolder;  // the test's own when empty
    bool asUnprivilegedUser = false;
    std::vector<std::string> environment;  // NAME=value, besides the test's own
    // Called with the terminal's controlling side once the child runs, and
    // with the child's process id, to type keys or send signals; outputSoFar
    // gives what the child wrote to stdout and to the terminal. The child is
    // not reaped before it returns.
    std::function<void(int terminal, int pid, const std::function<std::string()>& outputSoFar)> interact;
};

struct ChildResult {
    int exitStatus = -1;  // 128 + the signal when a signal ended it
    std::string out;
    std::string err;
    std::string terminal;  // what the child wrote to its terminal, typed keys echoed
    bool timedOut = false;
    bool terminalRestored = true;  // the terminal's modes as before the run
};

ChildResult RunChild(const std::string& program, const std::vector<std::string>& arguments,
                     const ChildOptions& options = {});

}  // namespace drennow::e2e
