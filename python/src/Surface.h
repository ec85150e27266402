#pragma once

#include "host/Progress.h"
#include "platform/gdal/terminal/Console.h"
#include "runtime/Checkpoint.h"

#include <pybind11/pybind11.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace drennow::python {

// What a run started from Python hears from Python while the interpreter
// lock is released: its progress callback, and Ctrl-C. Either asks the run
// to cancel: a KeyboardInterrupt (from a signal or raised by the callback)
// as Ctrl-C does, a callback that returns False as Esc does; any other
// exception of the callback cancels too, and is raised again once the run
// has ended. Every member but the constructor and RaiseCancelError is
// called without the lock.
class PythonCallbacks {
public:
    explicit PythonCallbacks(pybind11::object progress);
    ~PythonCallbacks();
    PythonCallbacks(const PythonCallbacks&) = delete;
    PythonCallbacks& operator=(const PythonCallbacks&) = delete;

    // Looks at pending signals now and then.
    bool Continue();
    // Hands the progress to the callback, now or when it is due.
    void Report(double fraction, const std::string& message, bool now);
    bool CancelRequested() const { return cancelled_; }
    // SIGINT once a KeyboardInterrupt cancelled the run; 0 otherwise.
    int InterruptSignal() const { return signal_; }

    // With the lock: raises the exception that cancelled, if one did; a
    // KeyboardInterrupt only when asked to (a run reports it in its status).
    void RaiseCancelError(bool keyboardInterruptToo);

private:
    using Clock = std::chrono::steady_clock;
    // With the lock: cancels for the Python error set.
    void CancelForError();

    pybind11::object progress_;
    std::atomic<bool> cancelled_{false};
    std::atomic<int> signal_{0};
    std::optional<pybind11::error_already_set> error_;
    Clock::time_point lastSignalCheck_{};
    Clock::time_point lastReport_{};
};

// With the lock, at each item of a long loop: raises, every few thousand
// items, what the handler of a pending signal raises (KeyboardInterrupt for
// SIGINT).
void CheckSignalsAt(size_t item);

// With the lock: runs work without it, passing it a checkpoint that stops
// it when the interpreter has a signal to handle; the handler's exception
// (KeyboardInterrupt for Ctrl-C) is raised instead, as it is for a signal
// that came after the work's last look. The work's own exceptions pass.
void Interruptibly(const std::function<void(const runtime::Checkpoint&)>& work);

// The run's status bar: its progress bar reports through the callbacks.
host::Ref<host::IStatusBar> MakeStatusBar(std::shared_ptr<PythonCallbacks> callbacks);

// A cancel tracker of the callbacks.
host::Ref<host::ITrackCancel> MakeCancelTracker(std::shared_ptr<PythonCallbacks> callbacks);

// No input: a run from Python answers every question in advance or takes
// its default; a cancel counts as an interruption of the questions.
class NoInput : public gdalhost::LineSource {
public:
    explicit NoInput(const PythonCallbacks& callbacks) : callbacks_(callbacks) {}
    std::optional<std::string> ReadLine() override { return std::nullopt; }
    bool Interrupted() const override { return callbacks_.CancelRequested(); }

private:
    const PythonCallbacks& callbacks_;
};

}  // namespace drennow::python
