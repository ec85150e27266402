#include "ChildProcess.h"

#include <chrono>
#include <cstdint>
#include <fcntl.h>
#include <spawn.h>
#include <stdexcept>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace drennow::bench {

namespace {

// The launcher's ends of its two pipes, as the benchmark sees them.
int toLauncher = -1;
int fromLauncher = -1;

void WriteAll(int fd, const void* data, size_t size)
{
    const char* bytes = static_cast<const char*>(data);
    while (size > 0) {
        ssize_t written = ::write(fd, bytes, size);
        if (written <= 0) {
            throw std::runtime_error("lost the launcher");
        }
        bytes += written;
        size -= static_cast<size_t>(written);
    }
}

// False at the end of the stream.
bool ReadAll(int fd, void* data, size_t size)
{
    char* bytes = static_cast<char*>(data);
    while (size > 0) {
        ssize_t got = ::read(fd, bytes, size);
        if (got <= 0) {
            return false;
        }
        bytes += got;
        size -= static_cast<size_t>(got);
    }
    return true;
}

void WriteString(int fd, const std::string& text)
{
    uint64_t size = text.size();
    WriteAll(fd, &size, sizeof size);
    WriteAll(fd, text.data(), text.size());
}

bool ReadString(int fd, std::string& text)
{
    uint64_t size = 0;
    if (!ReadAll(fd, &size, sizeof size)) {
        return false;
    }
    text.resize(size);
    return ReadAll(fd, text.data(), size);
}

ChildRun Spawn(const std::vector<std::string>& argv, const std::string& outputFile)
{
    std::vector<char*> args;
    for (const std::string& arg : argv) {
        args.push_back(const_cast<char*>(arg.c_str()));
    }
    args.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outputFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);

    auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    int spawned = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        return {127, 0.0, 0};
    }
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid) {
        return {127, 0.0, 0};
    }
    double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    int exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return {exitStatus, wall, usage.ru_maxrss};
}

// Reads requests (argument count, arguments, output file) until the
// benchmark closes its pipe, and answers each with the child's run.
[[noreturn]] void Launch(int requests, int answers)
{
    while (true) {
        uint64_t count = 0;
        if (!ReadAll(requests, &count, sizeof count)) {
            _exit(0);
        }
        std::vector<std::string> argv(count);
        std::string outputFile;
        for (std::string& arg : argv) {
            ReadString(requests, arg);
        }
        ReadString(requests, outputFile);
        ChildRun run = Spawn(argv, outputFile);
        WriteAll(answers, &run, sizeof run);
    }
}

}  // namespace

void StartLauncher()
{
    int requests[2];
    int answers[2];
    if (pipe(requests) != 0 || pipe(answers) != 0) {
        throw std::runtime_error("cannot make the launcher's pipes");
    }
    pid_t pid = fork();
    if (pid < 0) {
        throw std::runtime_error("cannot start the launcher");
    }
    if (pid == 0) {
        close(requests[1]);
        close(answers[0]);
        Launch(requests[0], answers[1]);
    }
    close(requests[0]);
    close(answers[1]);
    toLauncher = requests[1];
    fromLauncher = answers[0];
}

ChildRun RunChild(const std::vector<std::string>& argv, const std::filesystem::path& outputFile)
{
    if (toLauncher < 0) {
        throw std::logic_error("the launcher was not started");
    }
    uint64_t count = argv.size();
    WriteAll(toLauncher, &count, sizeof count);
    for (const std::string& arg : argv) {
        WriteString(toLauncher, arg);
    }
    WriteString(toLauncher, outputFile.string());
    ChildRun run{};
    if (!ReadAll(fromLauncher, &run, sizeof run)) {
        throw std::runtime_error("lost the launcher");
    }
    if (run.exitStatus == 127 && run.wallSeconds == 0.0) {
        throw std::runtime_error("cannot start " + argv[0]);
    }
    return run;
}

}  // namespace drennow::bench
