// The compiled part of the drennow package: the core's next-down answers for
// lists of codes, its failure texts, and whole runs on GDAL datasets. The
// package around it (drennow/__init__.py) holds the documented API.
#include "Errors.h"
#include "NetworkBinding.h"
#include "Surface.h"
#include "Values.h"
#include "command/FailureCodes.h"
#include "command/NextDownAssigner.h"
#include "platform/gdal/run/CommandRun.h"
#include "request/RunOptionTable.h"
#include "runtime/Error.h"

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <iterator>
#include <map>
#include <optional>
#include <sstream>
#include <unordered_map>

namespace py = pybind11;
using namespace drennow;
using python::RaiseConversionError;

namespace {

int64_t WrittenNumber(const runtime::Variant& value)
{
    if (const auto* narrow = std::get_if<int32_t>(&value.Get())) {
        return *narrow;
    }
    return runtime::ToLongLong(value);
}

// A code or identifier converted as the pass converts it.
void ConvertAtWidth(const runtime::Variant& value, bool int64)
{
    int64 ? static_cast<void>(runtime::ToLongLong(value)) : static_cast<void>(runtime::ToLong(value));
}

struct Unconvertible {
    const char* what;
    size_t position;
    runtime::Error error;
};

std::optional<Unconvertible> FirstUnconvertibleCode(const python::Column& codes, bool int64)
{
    for (size_t i = 0; i < codes.Size(); ++i) {
        runtime::Variant code = codes.At(i);
        try {
            if (!code.IsNull()) {
                ConvertAtWidth(code, int64);
            }
        } catch (const runtime::Error& error) {
            return Unconvertible{"codes", i, error};
        }
    }
    return std::nullopt;
}

// The first identifier, in the pass's order, that a basin drains into and
// that does not convert: the one of the first basin of the downstream code.
std::optional<Unconvertible> FirstUnconvertibleId(const python::Column& codes, const python::Column& ids,
                                                  const command::RunOptions& options, bool allowTrailingZeros)
{
    std::unordered_map<int64_t, size_t> firstOfCode;
    for (size_t i = 0; i < codes.Size(); ++i) {
        if (runtime::Variant code = codes.At(i); code.IsInteger()) {
            firstOfCode.emplace(runtime::ToLongLong(code), i);
        }
    }
    std::optional<Unconvertible> found;
    const command::ValueAt codeAt = [&codes](size_t i) { return codes.At(i); };
    command::AssignLayer(codes.Size(), codeAt, {}, options, allowTrailingZeros,
                         [&](size_t, command::Assigned&& answer) {
                             auto first = answer.failure ? firstOfCode.end()
                                                         : firstOfCode.find(runtime::ToLongLong(answer.value));
                             if (found || first == firstOfCode.end()) {
                                 return;
                             }
                             try {
                                 ConvertAtWidth(ids.At(first->second), options.int64);
                             } catch (const runtime::Error& error) {
                                 found = Unconvertible{"ids", first->second, error};
                             }
                         });
    return found;
}

// Failure lines as (position or object id, code, description), every line
// of a text sharing one Python string: there are only a few texts.
class FailureLines {
public:
    void Add(int64_t feature, int32_t code, const std::string& description)
    {
        auto text = std::find(texts_.begin(), texts_.end(), description);
        if (text == texts_.end()) {
            text = texts_.insert(text, description);
        }
        lines_.push_back({feature, code, static_cast<size_t>(text - texts_.begin())});
    }

    // With the lock.
    py::list ToPython() const
    {
        std::vector<py::str> texts(texts_.begin(), texts_.end());
        std::map<int32_t, py::int_> codes;
        py::list lines(lines_.size());
        for (size_t i = 0; i < lines_.size(); ++i) {
            python::CheckSignalsAt(i);
            const Line& line = lines_[i];
            auto code = codes.try_emplace(line.code, py::int_(line.code)).first;
            lines[i] = py::make_tuple(line.feature, code->second, texts[line.text]);
        }
        return lines;
    }

private:
    struct Line {
        int64_t feature;
        int32_t code;
        size_t text;
    };
    std::vector<std::string> texts_;
    std::vector<Line> lines_;
};

py::object NextDown(py::handle codes, py::handle ids, bool allowTrailingZeros, bool zerosUnsubdivided, bool int64,
                    bool withFailures)
{
    python::Column codeColumn(codes, "codes");
    std::optional<python::Column> idColumn;
    if (!ids.is_none()) {
        idColumn.emplace(ids, "ids");
        if (idColumn->Size() != codeColumn.Size()) {
            throw py::value_error("as many identifiers as codes are needed: " + std::to_string(codeColumn.Size()) +
                                  " codes, " + std::to_string(idColumn->Size()) + " identifiers");
        }
    }
    command::RunOptions options;
    options.int64 = int64;
    options.zerosUnsubdivided = zerosUnsubdivided;
    size_t count = codeColumn.Size();
    py::array_t<int64_t> values(static_cast<py::ssize_t>(count));
    int64_t* written = values.mutable_data();
    FailureLines failures;
    try {
        python::Interruptibly([&](const runtime::Checkpoint& checkpoint) {
            const command::ValueAt codeAt = [&codeColumn](size_t i) { return codeColumn.At(i); };
            const command::ValueAt idAt =
                idColumn ? command::ValueAt([&idColumn](size_t i) { return idColumn->At(i); }) : command::ValueAt();
            command::AssignLayer(
                count, codeAt, idAt, options, allowTrailingZeros,
                [&](size_t i, command::Assigned&& answer) {
                    written[i] = WrittenNumber(answer.value);
                    if (withFailures && answer.failure) {
                        failures.Add(static_cast<int64_t>(i), answer.failure->code, answer.failure->description);
                    }
                },
                checkpoint);
        });
    } catch (const runtime::Error& error) {
        std::optional<Unconvertible> culprit = FirstUnconvertibleCode(codeColumn, int64);
        if (!culprit && idColumn) {
            culprit = FirstUnconvertibleId(codeColumn, *idColumn, options, allowTrailingZeros);
        }
        if (culprit) {
            RaiseConversionError(culprit->error, culprit->what, culprit->position);
        }
        RaiseConversionError(error);
    }
    if (!withFailures) {
        return values;
    }
    return py::make_tuple(values, failures.ToPython());
}

std::string Describe(int32_t code)
{
    if (!command::IsFailureCode(code)) {
        throw py::value_error(std::to_string(code) + " is not a failure code of NextDownID");
    }
    // The run's own texts for the failures it records itself, where they
    // differ from the description of their code.
    for (const command::RunFailure& failure : {command::kNullCodeFailure, command::kZeroCodeFailure}) {
        if (code == failure.code) {
            return failure.text;
        }
    }
    return command::DescribeFailureCode(code);
}

// The run's failures as Python tuples: object id, code, description.
py::list FailureTuples(const std::vector<command::FailureRecord>& failures)
{
    FailureLines lines;
    for (const command::FailureRecord& failure : failures) {
        lines.Add(failure.objectId, failure.code, failure.description);
    }
    return lines.ToPython();
}

std::string Trimmed(const std::string& text)
{
    size_t first = text.find_first_not_of(" \r\n");
    return first == std::string::npos ? "" : text.substr(first, text.find_last_not_of(" \r\n") - first + 1);
}

// Set while a run works on this thread: another one started there can only
// come from its progress callback.
thread_local bool runWorking = false;

// A keyword's value as the package passes it: True or False, a text, or a
// list of whole numbers.
request::KeywordValue KeywordValueOf(const py::handle& value)
{
    if (py::isinstance<py::bool_>(value)) {
        return value.cast<bool>();
    }
    if (py::isinstance<py::str>(value)) {
        return value.cast<std::string>();
    }
    return value.cast<std::vector<int64_t>>();
}

// A run in batch mode on the datasets, as the keywords ask for it.
py::tuple Run(const std::vector<std::string>& datasets, const std::vector<std::pair<std::string, py::object>>& keywords,
              py::object progress)
{
    if (runWorking) {
        throw std::runtime_error(
            "run() cannot be started from the progress callback of another run: the outer run holds its "
            "datasets until it ends; start the next run once run() has returned");
    }
    std::vector<std::pair<std::string, request::KeywordValue>> values;
    for (const auto& [keyword, value] : keywords) {
        values.emplace_back(keyword, KeywordValueOf(value));
    }
    const request::RunRequest asked = request::RequestFromKeywords(datasets, values);
    auto callbacks = std::make_shared<python::PythonCallbacks>(progress.is_none() ? py::object() : progress);
    std::ostringstream questions;
    std::ostringstream out;
    std::ostringstream err;
    python::NoInput input(*callbacks);
    gdalhost::RunSurface surface{
        true,
        questions,
        out,
        err,
        input,
        python::MakeStatusBar(callbacks),
        [callbacks] { return python::MakeCancelTracker(callbacks); },
        [callbacks] { return callbacks->InterruptSignal(); },
    };
    gdalhost::RunResult result;
    {
        runWorking = true;
        struct Done {
            ~Done() { runWorking = false; }
        } done;
        py::gil_scoped_release unlocked;
        result = gdalhost::RunOnDatasets(asked, surface);
    }
    callbacks->RaiseCancelError(false);

    py::object comparison = py::none();
    if (result.comparison) {
        comparison = py::make_tuple(result.comparison->field, result.comparison->agreeing,
                                    result.comparison->compared, result.comparison->logPath);
    }
    py::object logPath = result.logPath ? py::object(py::str(*result.logPath)) : py::none();
    return py::make_tuple(result.status, Trimmed(result.status == gdalhost::kFinished ? out.str() : err.str()),
                          FailureTuples(result.failures), logPath, comparison);
}

}  // namespace

PYBIND11_MODULE(_drennow, module)
{
    module.doc() = "The compiled part of drennow; use the drennow package.";
    module.attr("VERSION") = DRENNOW_VERSION;

    py::register_exception_translator([](std::exception_ptr thrown) {
        try {
            if (thrown) {
                std::rethrow_exception(thrown);
            }
        } catch (const runtime::Error& error) {
            try {
                RaiseConversionError(error);
            } catch (py::error_already_set& raised) {
                raised.restore();
            }
        } catch (const request::RequestError& error) {
            PyErr_SetString(PyExc_ValueError, error.what());
        }
    });

    module.def("next_down", &NextDown, py::arg("codes"), py::arg("ids"), py::arg("trailing_zeros"),
               py::arg("zeros_unsubdivided"), py::arg("int64"), py::arg("with_failures"),
               "NextDownID of every code, and the failures when asked for; see drennow.next_down.");
    module.def("describe", &Describe, py::arg("code"), "The failure text of a code; see drennow.describe.");
    module.def("run", &Run, py::arg("datasets"), py::arg("keywords"), py::arg("progress"),
               "A run as drennow --batch on the datasets, as the keywords ask for it: (status, message, failures, "
               "log path, comparison).");

    python::DefineNetwork(module);

    py::dict statuses;
    for (const command::ExitStatusMeaning& status : command::kExitStatuses) {
        statuses[status.name] = static_cast<int>(status.status);
    }
    module.attr("EXIT_STATUSES") = statuses;
}
