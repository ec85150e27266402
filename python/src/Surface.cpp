#include "Surface.h"

#include <csignal>

namespace drennow::python {

namespace py = pybind11;

namespace {

// Often enough for Ctrl-C to answer at once, seldom enough that taking the
// interpreter lock costs the run nothing to speak of.
constexpr std::chrono::milliseconds kSignalInterval{50};
constexpr std::chrono::milliseconds kReportInterval{100};

class CallbackProgressBar : public host::IStepProgressor {
public:
    explicit CallbackProgressBar(std::shared_ptr<PythonCallbacks> callbacks) : callbacks_(std::move(callbacks)) {}

    void MinRange(int32_t value) override { range_.min = value; }
    void MaxRange(int32_t value) override { range_.max = value; }
    void StepValue(int32_t value) override { range_.step = value; }
    void Position(int32_t value) override { range_.position = value; }
    // The run shows a step's count after the step: the message reports.
    // One of its own (not a step's count), or the first of a new bar, is
    // reported at once; a step's, when a report is due.
    void Message(const std::string& text) override
    {
        message_ = text;
        if (visible_) {
            callbacks_->Report(range_.Fraction(), message_, !stepped_ || fresh_);
        }
        stepped_ = false;
        fresh_ = false;
    }
    void Show() override
    {
        visible_ = true;
        fresh_ = true;
    }
    void Step() override
    {
        range_.Step();
        stepped_ = true;
    }
    void Hide() override { visible_ = false; }
    double Fraction() const { return range_.Fraction(); }


private:
    std::shared_ptr<PythonCallbacks> callbacks_;
    host::StepRange range_;
    std::string message_;
    bool visible_ = false;
    bool stepped_ = false;
    bool fresh_ = false;
};

class CallbackStatusBar : public host::IStatusBar {
public:
    explicit CallbackStatusBar(std::shared_ptr<PythonCallbacks> callbacks)
        : callbacks_(callbacks), bar_(std::make_shared<CallbackProgressBar>(callbacks))
    {
    }

    void Message(int32_t, const std::string& text) override
    {
        if (!text.empty()) {
            callbacks_->Report(bar_->Fraction(), text, true);
        }
    }
    host::Ref<host::IStepProgressor> ProgressBar() override { return bar_; }

private:
    std::shared_ptr<PythonCallbacks> callbacks_;
    std::shared_ptr<CallbackProgressBar> bar_;
};

class CancelTracker : public host::ITrackCancel {
public:
    explicit CancelTracker(std::shared_ptr<PythonCallbacks> callbacks) : callbacks_(std::move(callbacks)) {}
    bool Continue() override { return callbacks_->Continue(); }

private:
    std::shared_ptr<PythonCallbacks> callbacks_;
};

}  // namespace

PythonCallbacks::PythonCallbacks(py::object progress) : progress_(std::move(progress)) {}

// The callback may be the last reference to Python objects.
PythonCallbacks::~PythonCallbacks()
{
    py::gil_scoped_acquire lock;
    progress_ = py::object();
    error_.reset();
}

bool PythonCallbacks::Continue()
{
    if (cancelled_) {
        return false;
    }
    Clock::time_point now = Clock::now();
    if (now - lastSignalCheck_ >= kSignalInterval) {
        lastSignalCheck_ = now;
        py::gil_scoped_acquire lock;
        // Runs the signal handlers; Python's for SIGINT raises KeyboardInterrupt.
        if (PyErr_CheckSignals() != 0) {
            CancelForError();
        }
    }
    return !cancelled_;
}

void PythonCallbacks::Report(double fraction, const std::string& message, bool now)
{
    if (cancelled_ || !progress_) {
        return;
    }
    Clock::time_point time = Clock::now();
    if (!now && time - lastReport_ < kReportInterval) {
        return;
    }
    lastReport_ = time;
    py::gil_scoped_acquire lock;
    try {
        py::object answer = progress_(fraction, message);
        if (answer.is(py::bool_(false))) {
            cancelled_ = true;
        }
    } catch (py::error_already_set& error) {
        error.restore();
        CancelForError();
    }
}

void PythonCallbacks::CancelForError()
{
    py::error_already_set error;
    cancelled_ = true;
    if (error.matches(PyExc_KeyboardInterrupt)) {
        signal_ = SIGINT;
    }
    if (!error_) {
        error_.emplace(std::move(error));
    }
}

void PythonCallbacks::RaiseCancelError(bool keyboardInterruptToo)
{
    if (error_ && (keyboardInterruptToo || !error_->matches(PyExc_KeyboardInterrupt))) {
        py::error_already_set error = std::move(*error_);
        error_.reset();
        throw error;
    }
}

void CheckSignalsAt(size_t item)
{
    constexpr size_t kItems = 4096;
    if (item % kItems == 0 && PyErr_CheckSignals() != 0) {
        throw py::error_already_set();
    }
}

namespace {

// Thrown by the checkpoint of Interruptibly to stop the work.
struct Interrupted {};

}  // namespace

void Interruptibly(const std::function<void(const runtime::Checkpoint&)>& work)
{
    PythonCallbacks callbacks{py::object()};
    const runtime::Checkpoint checkpoint([&callbacks] {
        if (!callbacks.Continue()) {
            throw Interrupted{};
        }
    });
    try {
        py::gil_scoped_release unlocked;
        work(checkpoint);
    } catch (const Interrupted&) {
        callbacks.RaiseCancelError(true);
        throw;
    }
    if (PyErr_CheckSignals() != 0) {
        throw py::error_already_set();
    }
}

host::Ref<host::IStatusBar> MakeStatusBar(std::shared_ptr<PythonCallbacks> callbacks)
{
    return std::make_shared<CallbackStatusBar>(std::move(callbacks));
}

host::Ref<host::ITrackCancel> MakeCancelTracker(std::shared_ptr<PythonCallbacks> callbacks)
{
    return std::make_shared<CancelTracker>(std::move(callbacks));
}

}  // namespace drennow::python
