// The compiled part of the drennow package: the core's next-down answers for
// lists of codes, its failure texts, and whole runs on GDAL datasets. The
// package around it (drennow/__init__.py) holds the documented API.
#include "CommandLine.h"
#include "Surface.h"
#include "Values.h"
#include "command/FailureCodes.h"
#include "command/NextDownAssigner.h"
#include "command/RunTexts.h"
#include "platform/gdal/run/CommandRun.h"
#include "runtime/Error.h"

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <iterator>
#include <sstream>

namespace py = pybind11;
using namespace drennow;

namespace {

int64_t WrittenNumber(const runtime::Variant& value)
{
    if (const auto* narrow = std::get_if<int32_t>(&value.Get())) {
        return *narrow;
    }
    return runtime::ToLongLong(value);
}

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
    std::vector<std::pair<size_t, command::Assigned::Failure>> failures;
    {
        py::gil_scoped_release unlocked;
        const command::ValueAt codeAt = [&codeColumn](size_t i) { return codeColumn.At(i); };
        const command::ValueAt idAt =
            idColumn ? command::ValueAt([&idColumn](size_t i) { return idColumn->At(i); }) : command::ValueAt();
        command::AssignLayer(count, codeAt, idAt, options, allowTrailingZeros,
                             [&](size_t i, command::Assigned&& answer) {
                                 written[i] = WrittenNumber(answer.value);
                                 if (withFailures && answer.failure) {
                                     failures.emplace_back(i, std::move(*answer.failure));
                                 }
                             });
    }
    if (!withFailures) {
        return values;
    }
    py::list lines;
    for (const auto& [position, failure] : failures) {
        lines.append(py::make_tuple(position, failure.code, failure.description));
    }
    return py::make_tuple(values, lines);
}

std::string Describe(int32_t code)
{
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
    py::list tuples;
    for (const command::FailureRecord& failure : failures) {
        tuples.append(py::make_tuple(failure.objectId, failure.code, failure.description));
    }
    return tuples;
}

std::string Trimmed(const std::string& text)
{
    size_t first = text.find_first_not_of(" \r\n");
    return first == std::string::npos ? "" : text.substr(first, text.find_last_not_of(" \r\n") - first + 1);
}

// A run as the command line's arguments ask for it, in batch mode.
py::tuple Run(const std::vector<std::string>& arguments, py::object progress)
{
    app::CommandLine line = app::ParseCommandLine(arguments);
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
    const app::Selection& selection = line.selection;
    gdalhost::RunRequest request{line.datasets, line.answers, line.options,
                                 {selection.layer, selection.where, selection.fids}, line.logFolder};
    gdalhost::RunResult result;
    {
        py::gil_scoped_release unlocked;
        result = gdalhost::RunOnDatasets(request, surface);
    }
    callbacks->RaiseCallbackError();

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

    py::register_exception_translator([](std::exception_ptr thrown) {
        try {
            if (thrown) {
                std::rethrow_exception(thrown);
            }
        } catch (const runtime::Error& error) {
            py::object type = py::module_::import("drennow").attr("ConversionError");
            py::object raised =
                type(command::texts::ErrorReport(error.Number(), error.Description()), error.Number(),
                     error.Description());
            PyErr_SetObject(type.ptr(), raised.ptr());
        } catch (const app::UsageError& error) {
            PyErr_SetString(PyExc_ValueError, error.what());
        }
    });

    module.def("next_down", &NextDown, py::arg("codes"), py::arg("ids"), py::arg("trailing_zeros"),
               py::arg("zeros_unsubdivided"), py::arg("int64"), py::arg("with_failures"),
               "NextDownID of every code, and the failures when asked for; see drennow.next_down.");
    module.def("describe", &Describe, py::arg("code"), "The failure text of a code; see drennow.describe.");
    module.def("run", &Run, py::arg("arguments"), py::arg("progress"),
               "A run as drennow --batch with these arguments: (status, message, failures, log path, comparison).");

    py::dict statuses;
    statuses["FINISHED"] = static_cast<int>(gdalhost::kFinished);
    statuses["ERROR_REPORTED"] = static_cast<int>(gdalhost::kErrorReported);
    statuses["BAD_COMMAND_LINE"] = static_cast<int>(gdalhost::kBadCommandLine);
    statuses["CHECK_FAILED"] = static_cast<int>(gdalhost::kCheckFailed);
    statuses["DECLINED"] = static_cast<int>(gdalhost::kDeclined);
    statuses["SAVED_WITHOUT_LOG"] = static_cast<int>(gdalhost::kSavedWithoutLog);
    statuses["CANCELLED"] = static_cast<int>(gdalhost::kCancelled);
    module.attr("EXIT_STATUSES") = statuses;
}
