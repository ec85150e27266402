#include "NetworkBinding.h"

#include "Errors.h"
#include "Surface.h"
#include "Values.h"
#include "network/Network.h"

#include <pybind11/numpy.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace drennow::python {

namespace py = pybind11;
using network::Position;

namespace {

// A network and what building it reported.
struct BuiltNetwork {
    network::Network network;
    size_t unconvertible = 0;                          // codes taken as null
    Position firstUnconvertible = network::kNoBasin;   // the first of them
    size_t repeatedIds = 0;                            // identifiers an earlier basin has
};

BuiltNetwork FromCodes(py::handle codes, bool allowTrailingZeros, bool zerosUnsubdivided, bool int64)
{
    const Column column(codes, "codes");
    command::RunOptions options;
    options.int64 = int64;
    options.zerosUnsubdivided = zerosUnsubdivided;
    std::optional<network::Coded> coded;
    Interruptibly([&](const runtime::Checkpoint& checkpoint) {
        coded.emplace(network::FromCodes(
            column.Size(), [&column](size_t i) { return column.At(i); }, options, allowTrailingZeros, checkpoint));
    });
    return BuiltNetwork{std::move(coded->network), coded->unconvertible, coded->firstUnconvertible, 0};
}

// An element that does not convert to a whole number, and the runtime's error.
struct Culprit {
    const char* what;
    size_t position;
    runtime::Error error;
};

// The column's values as the core reads them, converted to whole numbers by
// the runtime on the way so that the first that does not convert is known:
// it is kept in culprit, and its error passed on.
command::ValueAt WholeNumbers(const Column& column, const char* what, std::optional<Culprit>& culprit)
{
    return [&column, what, &culprit](size_t i) {
        runtime::Variant value = column.At(i);
        if (value.IsNull()) {
            return value;
        }
        try {
            return runtime::Variant(runtime::ToLongLong(value));
        } catch (const runtime::Error& error) {
            culprit.emplace(Culprit{what, i, error});
            throw;
        }
    };
}

BuiltNetwork FromNextDown(py::handle ids, py::handle nextDown)
{
    const Column idColumn(ids, "ids");
    const Column nextDownColumn(nextDown, "next_down");
    if (idColumn.Size() != nextDownColumn.Size()) {
        throw py::value_error("as many next-down values as identifiers are needed: " +
                              std::to_string(idColumn.Size()) + " identifiers, " +
                              std::to_string(nextDownColumn.Size()) + " next-down values");
    }
    std::optional<Culprit> culprit;
    std::optional<network::Topology> topology;
    try {
        Interruptibly([&](const runtime::Checkpoint& checkpoint) {
            topology.emplace(network::FromNextDown(idColumn.Size(), WholeNumbers(idColumn, "ids", culprit),
                                                   WholeNumbers(nextDownColumn, "next_down", culprit), checkpoint));
        });
    } catch (const runtime::Error& error) {
        if (culprit) {
            RaiseConversionError(culprit->error, culprit->what, culprit->position);
        }
        RaiseConversionError(error);
    }
    return BuiltNetwork{std::move(topology->network), 0, network::kNoBasin, topology->repeatedIds};
}

std::string OfBasins(size_t count)
{
    return " (the network has " + std::to_string(count) + " basins)";
}

// One of the core's per-basin answers for every basin.
template <typename Answer>
py::array_t<int64_t> PerBasin(const network::Network& network, Answer answer)
{
    py::array_t<int64_t> values(static_cast<py::ssize_t>(network.Size()));
    int64_t* out = values.mutable_data();
    for (size_t i = 0; i < network.Size(); ++i) {
        out[i] = (network.*answer)(static_cast<Position>(i));
    }
    return values;
}

// The names of the accumulations, as `how` takes them.
const std::vector<std::pair<std::string, network::Accumulation>> kAccumulations{
    {"sum", network::Accumulation::Sum},   {"mean", network::Accumulation::Mean},
    {"min", network::Accumulation::Min},   {"max", network::Accumulation::Max},
    {"count", network::Accumulation::Count}, {"weighted_mean", network::Accumulation::WeightedMean},
};

network::Accumulation AccumulationNamed(const std::string& how)
{
    std::string names;
    for (const auto& [name, accumulation] : kAccumulations) {
        if (name == how) {
            return accumulation;
        }
        names += (names.empty() ? "" : "|") + name;
    }
    throw py::value_error("how takes " + names + ", not '" + how + "'");
}

// An array that owns the vector's memory.
py::array_t<double> ArrayOf(std::vector<double>&& values)
{
    auto* owned = new std::vector<double>(std::move(values));
    py::capsule free(owned, [](void* vector) { delete static_cast<std::vector<double>*>(vector); });
    return py::array_t<double>(static_cast<py::ssize_t>(owned->size()), owned->data(), free);
}

py::array_t<double> Accumulate(const BuiltNetwork& built, py::handle values, const std::string& how,
                               py::handle weights)
{
    const network::Accumulation accumulation = AccumulationNamed(how);
    const bool weighted = accumulation == network::Accumulation::WeightedMean;
    if (weighted == weights.is_none()) {
        throw py::value_error(weighted ? "how='weighted_mean' needs weights"
                                       : "weights are for how='weighted_mean' only, not '" + how + "'");
    }
    const std::vector<double> numbers = NumberValues(values, "values");
    const std::vector<double> weightNumbers = weighted ? NumberValues(weights, "weights") : std::vector<double>{};
    std::vector<double> accumulated;
    try {
        Interruptibly([&](const runtime::Checkpoint& checkpoint) {
            accumulated = built.network.Accumulate(numbers, accumulation, weightNumbers, checkpoint);
        });
    } catch (const std::invalid_argument& error) {
        throw py::value_error(std::string(error.what()) + ": " + std::to_string(built.network.Size()) + " basins, " +
                              std::to_string(numbers.size()) + " values" +
                              (weighted ? ", " + std::to_string(weightNumbers.size()) + " weights" : ""));
    }
    return ArrayOf(std::move(accumulated));
}

py::array_t<bool> MaskOf(const std::vector<bool>& marked)
{
    py::array_t<bool> mask(static_cast<py::ssize_t>(marked.size()));
    bool* out = mask.mutable_data();
    for (size_t i = 0; i < marked.size(); ++i) {
        out[i] = marked[i];
    }
    return mask;
}

using Positions = py::array_t<int64_t, py::array::c_style | py::array::forcecast>;

// The basins the core marks for some positions (upstream or downstream of them).
template <typename Marks>
py::array_t<bool> Marked(const BuiltNetwork& built, const Positions& positions, Marks marks)
{
    const std::vector<Position> of(positions.data(), positions.data() + positions.size());
    std::vector<bool> marked;
    try {
        py::gil_scoped_release unlocked;
        marked = (built.network.*marks)(of);
    } catch (const std::out_of_range& error) {
        throw py::index_error(std::string("positions: ") + error.what() + OfBasins(built.network.Size()));
    }
    return MaskOf(marked);
}

// Element-wise; a and b of one length (copied first when they are not
// contiguous).
using Positions = py::array_t<int64_t, py::array::c_style | py::array::forcecast>;
py::array_t<bool> IsUpstream(const BuiltNetwork& built, const Positions& a, const Positions& b)
{
    if (a.ndim() != 1 || b.ndim() != 1 || a.shape(0) != b.shape(0)) {
        throw py::value_error("a and b must be one-dimensional and of one length");
    }
    const auto pairs = static_cast<size_t>(a.shape(0));
    py::array_t<bool> result(static_cast<py::ssize_t>(pairs));
    size_t answered = 0;
    Interruptibly([&](const runtime::Checkpoint& checkpoint) {
        answered = built.network.AreUpstream(a.data(), b.data(), pairs, result.mutable_data(), checkpoint);
    });
    if (answered < pairs) {
        const int64_t above = a.data()[answered];
        const int64_t below = b.data()[answered];
        const int64_t wrong = above < 0 || above >= static_cast<int64_t>(built.network.Size()) ? above : below;
        throw py::index_error("pair " + std::to_string(answered) + " (a " + std::to_string(above) + ", b " +
                              std::to_string(below) + "): " + network::NoBasinAt(wrong) + OfBasins(built.network.Size()));
    }
    return result;
}

py::tuple CyclesOf(const BuiltNetwork& built)
{
    const network::Cycles& cycles = built.network.OnCycles();
    return py::make_tuple(cycles.basins, py::tuple(py::cast(cycles.firstFew)));
}

py::object FirstUnconvertible(const BuiltNetwork& built)
{
    return built.firstUnconvertible == network::kNoBasin ? py::object(py::none()) : py::int_(built.firstUnconvertible);
}

}  // namespace

void DefineNetwork(py::module_& module)
{
    py::class_<BuiltNetwork>(module, "Network", "The network of basins; see drennow.Network.")
        .def("__len__", [](const BuiltNetwork& built) { return built.network.Size(); })
        .def("downstream", [](const BuiltNetwork& b) { return PerBasin(b.network, &network::Network::Downstream); },
             "Per basin, the position it drains into, -1 where its chain ends.")
        .def("outlet", [](const BuiltNetwork& b) { return PerBasin(b.network, &network::Network::Outlet); },
             "Per basin, its outlet's position; -1 on or upstream of a cycle.")
        .def("moves", [](const BuiltNetwork& b) { return PerBasin(b.network, &network::Network::Moves); },
             "Per basin, the moves to its outlet; -1 on or upstream of a cycle.")
        .def("rank", [](const BuiltNetwork& b) { return PerBasin(b.network, &network::Network::Rank); },
             "Per basin, its rank downstream to upstream; -1 on or upstream of a cycle.")
        .def("accumulate", &Accumulate, py::arg("values"), py::arg("how"), py::arg("weights"),
             "Per basin, the values accumulated over its upstream set; see drennow.Network.accumulate.")
        .def(
            "upstream",
            [](const BuiltNetwork& b, const Positions& of) { return Marked(b, of, &network::Network::Upstream); },
            py::arg("positions"), "Per basin, whether it lies upstream of one of the positions, or is one.")
        .def(
            "downstream_of",
            [](const BuiltNetwork& b, const Positions& of) { return Marked(b, of, &network::Network::DownstreamOf); },
            py::arg("positions"), "Per basin, whether it lies on the way down from one of the positions.")
        .def("is_upstream", &IsUpstream, py::arg("a"), py::arg("b"),
             "Element-wise: basin a[k] lies upstream of basin b[k], or is b[k].")
        .def_property_readonly("cycles", &CyclesOf,
                               "(how many basins lie on or upstream of a cycle, the first few positions of them)")
        .def_property_readonly("unconvertible", [](const BuiltNetwork& b) { return b.unconvertible; },
                               "How many codes did not convert and were taken as null.")
        .def_property_readonly("first_unconvertible", &FirstUnconvertible,
                               "The position of the first code that did not convert, or None.")
        .def_property_readonly("repeated_ids", [](const BuiltNetwork& b) { return b.repeatedIds; },
                               "How many basins have an identifier that an earlier basin has.")
        .def_property_readonly(
            "memory_bytes", [](const BuiltNetwork& b) { return b.network.MemoryBytes() + sizeof(BuiltNetwork); },
            "The bytes the network holds.");
    module.def("network_from_codes", &FromCodes, py::arg("codes"), py::arg("trailing_zeros"),
               py::arg("zeros_unsubdivided"), py::arg("int64"),
               "The network of Pfafstetter codes; see drennow.Network.from_codes.");
    module.def("network_from_next_down", &FromNextDown, py::arg("ids"), py::arg("next_down"),
               "The network of a topology field; see drennow.Network.from_next_down.");
}

}  // namespace drennow::python
