#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace drennow::bench {

struct ChildRun {
    int exitStatus;  // 128 + signal number when killed by a signal
    double wallSeconds;
    long peakKilobytes;  // the child's own peak resident set
};

// Forks the helper that starts every child. A program's peak memory counts
// that of the process it was started from, so children are started from a
// process that stays small; call this before the benchmark grows.
void StartLauncher();

// Runs a program to its end with stdin from /dev/null and stdout and stderr
// into outputFile, measuring its wall time and peak memory.
ChildRun RunChild(const std::vector<std::string>& argv, const std::filesystem::path& outputFile);

}  // namespace drennow::bench
