#include "ChildProcess.h"

#include <cerrno>
#include <cstdlib>
#include <csignal>
#include <fcntl.h>
#include <grp.h>
#include <mutex>
#include <poll.h>
#include <pty.h>
#include <pwd.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace drennow::e2e {

namespace {

// No run of these tests takes nearly this long; a child that does is stuck.
constexpr std::chrono::seconds kTimeout{120};

void ReadAvailable(int& fd, std::string& into)
{
    char buffer[4096];
    ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got > 0) {
        into.append(buffer, static_cast<size_t>(got));
    } else if (got == 0 || errno != EINTR) {
        ::close(fd);
        fd = -1;
    }
}

[[noreturn]] void BecomeChild(const std::string& program, const std::vector<std::string>& arguments,
                              const ChildOptions& options, int out, int err, int terminal)
{
    if (terminal >= 0) {
        ::setsid();
        ::ioctl(terminal, TIOCSCTTY, 0);
        ::dup2(terminal, STDIN_FILENO);
        ::close(terminal);
    } else {
        ::close(STDIN_FILENO);
    }
    ::dup2(out, STDOUT_FILENO);
    ::dup2(err, STDERR_FILENO);
    if (!options.workingFolder.empty() && ::chdir(options.workingFolder.c_str()) != 0) {
        ::_exit(126);
    }
    for (const std::string& variable : options.environment) {
        ::putenv(const_cast<char*>(variable.c_str()));
    }
    if (options.asUnprivilegedUser) {
        passwd* nobody = ::getpwnam("nobody");
        if (nobody == nullptr || ::setgroups(0, nullptr) != 0 || ::setgid(nobody->pw_gid) != 0 ||
            ::setuid(nobody->pw_uid) != 0) {
            ::_exit(126);
        }
    }
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& argument : arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    ::execv(program.c_str(), argv.data());
    ::_exit(127);
}

}  // namespace

ChildResult RunChild(const std::string& program, const std::vector<std::string>& arguments,
                     const ChildOptions& options)
{
    ChildResult result;
    int outPipe[2];
    int errPipe[2];
    if (::pipe2(outPipe, O_CLOEXEC) != 0 || ::pipe2(errPipe, O_CLOEXEC) != 0) {
        return result;
    }
    int controller = -1;
    int terminal = -1;
    termios before{};
    if (options.input == Input::Terminal) {
        if (::openpty(&controller, &terminal, nullptr, nullptr, nullptr) != 0) {
            return result;
        }
        ::tcgetattr(terminal, &before);
    }

    pid_t pid = ::fork();
    if (pid == 0) {
        if (controller >= 0) {
            ::close(controller);
        }
        BecomeChild(program, arguments, options, outPipe[1], errPipe[1], terminal);
    }
    ::close(outPipe[1]);
    ::close(errPipe[1]);

    int out = outPipe[0];
    int err = errPipe[0];
    std::mutex outLock;
    std::thread interaction;
    if (options.interact) {
        interaction = std::thread([&] {
            options.interact(controller, pid, [&] {
                std::lock_guard<std::mutex> hold(outLock);
                return result.out + result.terminal;
            });
        });
    }
    auto deadline = std::chrono::steady_clock::now() + kTimeout;
    while (out >= 0 || err >= 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(pid, SIGKILL);
            result.timedOut = true;
            break;
        }
        pollfd fds[3] = {{out, POLLIN, 0}, {err, POLLIN, 0}, {controller, POLLIN, 0}};
        if (::poll(fds, controller >= 0 ? 3 : 2, 100) <= 0) {
            continue;
        }
        if (out >= 0 && fds[0].revents) {
            std::lock_guard<std::mutex> hold(outLock);
            ReadAvailable(out, result.out);
        }
        if (err >= 0 && fds[1].revents) {
            ReadAvailable(err, result.err);
        }
        if (controller >= 0 && (fds[2].revents & POLLIN)) {
            std::lock_guard<std::mutex> hold(outLock);
            ReadAvailable(controller, result.terminal);
        }
    }
    // The child is reaped only once the interaction is over: until then its
    // id is not given to another process, which a signal could reach.
    if (interaction.joinable()) {
        interaction.join();
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    result.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    if (terminal >= 0) {
        termios after{};
        ::tcgetattr(terminal, &after);
        result.terminalRestored = after.c_lflag == before.c_lflag && after.c_cc[VMIN] == before.c_cc[VMIN];
        ::close(terminal);
    }
    if (controller >= 0) {
        ::close(controller);
    }
    for (int fd : {out, err}) {
        if (fd >= 0) {
            ::close(fd);
        }
    }
    return result;
}

}  // namespace drennow::e2e
