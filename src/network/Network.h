#pragma once
// The network of basins: which basin each drains into, and what follows from
// it (outlets, moves, ranks, upstream sets, accumulations), over columns.

#include "command/NextDownAssigner.h"
#include "command/RunOptions.h"
#include "runtime/Checkpoint.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace drennow::network {

// A basin's position in read order (0 to count - 1).
using Position = int64_t;
// Where a chain ends: the basin drains into no basin of the set.
constexpr Position kNoBasin = -1;

// What an accumulation gives for each basin's upstream set (the basin
// included); nulls are left out, and a set without a value gives null.
enum class Accumulation { Sum, Mean, Min, Max, Count, WeightedMean };

// The basins on a cycle of a topology, or upstream of one: they have no
// outlet, and get no value.
struct Cycles {
    size_t basins = 0;                 // how many
    std::vector<Position> firstFew;    // the first of them in read order, at most kCycleExamples
};
constexpr size_t kCycleExamples = 5;

class Network {
public:
    // downstream[i]: the position of the basin that basin i drains into, or
    // kNoBasin; a position out of range raises std::invalid_argument. Cycles
    // are found, never followed.
    explicit Network(std::vector<Position> downstream, const runtime::Checkpoint& checkpoint = {});

    size_t Size() const;
    Position Downstream(Position basin) const;
    // The last basin of the chain (the basin itself at an outlet); kNoBasin
    // on or upstream of a cycle.
    Position Outlet(Position basin) const;
    // Moves to the outlet; -1 on or upstream of a cycle.
    int64_t Moves(Position basin) const;
    // 0, 1, 2, ... downstream to upstream: every basin ranks after the basin
    // it drains into; -1 on or upstream of a cycle.
    int64_t Rank(Position basin) const;
    const Cycles& OnCycles() const;

    // Basin a lies upstream of basin b, or is b; false when either is on or
    // upstream of a cycle, unless a is b.
    bool IsUpstream(Position a, Position b) const;
    // Per basin: upstream of one of these (or one of them).
    std::vector<bool> Upstream(const std::vector<Position>& of) const;
    // Per basin: on the way down from one of these (or one of them).
    std::vector<bool> DownstreamOf(const std::vector<Position>& of) const;

    // Per basin, over its upstream set: values[i] is basin i's value, NaN for
    // null; weights (for WeightedMean only, as many as values) likewise,
    // sum(v * w) / sum(w) over the basins where both are present. The result
    // is NaN for null (Count gives 0 for none). Raises std::invalid_argument
    // for lengths that differ.
    std::vector<double> Accumulate(const std::vector<double>& values, Accumulation how,
                                   const std::vector<double>& weights = {},
                                   const runtime::Checkpoint& checkpoint = {}) const;

private:
    // Left to the implementation; at most 40 bytes per basin in all.
};

// The network of a layer's Pfafstetter codes, read by position: basin i
// drains into the first basin, in read order, whose code is basin i's
// next-down code as a run writes it in Pfafstetter mode with these options;
// a failure code, or a code that no basin has, ends the chain. A code that
// does not convert raises the run's error (13, 6).
Network FromCodes(size_t count, const command::ValueAt& codeAt, const command::RunOptions& options,
                  bool allowTrailingZeros, const runtime::Checkpoint& checkpoint = {});

// A topology field's network: basin i drains into the first basin whose
// identifier equals its next-down value; 0, null or an identifier of no
// basin ends the chain. Identifiers and next-down values are whole numbers
// (a value that does not convert raises the runtime's error).
struct Topology {
    Network network;
    size_t repeatedIds = 0;  // basins whose identifier an earlier basin has
};
Topology FromNextDown(size_t count, const command::ValueAt& idAt, const command::ValueAt& nextDownAt,
                      const runtime::Checkpoint& checkpoint = {});

}  // namespace drennow::network
