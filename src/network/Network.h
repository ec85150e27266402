#pragma once
// The network of basins: which basin each drains into, and what follows from
// it (outlets, moves, ranks, upstream sets, accumulations), over columns.

#include "command/NextDownAssigner.h"
#include "command/RunOptions.h"
#include "runtime/Checkpoint.h"

#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

namespace drennow::network {

// A basin's position in read order (0 to count - 1).
using Position = int64_t;
// Where a chain ends: the basin drains into no basin of the set.
constexpr Position kNoBasin = -1;
// The most basins a network holds: positions are kept as 32-bit integers
// inside; more raise std::length_error.
constexpr size_t kMaxBasins = std::numeric_limits<int32_t>::max();

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

// What the error of a position that is no basin's says.
std::string NoBasinAt(Position basin);

struct Coded;
struct Topology;

class Network {
public:
    // downstream[i]: the position of the basin that basin i drains into, or
    // kNoBasin; a position out of range raises std::invalid_argument. Cycles
    // are found, never followed.
    explicit Network(const std::vector<Position>& downstream, const runtime::Checkpoint& checkpoint = {});

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

    // The queries below raise std::out_of_range for a position that is no
    // basin's.

    // Basin a lies upstream of basin b, or is b; false when either is on or
    // upstream of a cycle, unless a is b.
    bool IsUpstream(Position a, Position b) const;
    // IsUpstream(a[k], b[k]) into upstream[k] for the pairs in turn, asking
    // for the labels of pairs ahead first, so that the waits for memory of
    // several pairs overlap; the checkpoint is passed every few thousand
    // pairs. The number of pairs answered: fewer than count when the next
    // pair holds a position that is no basin's.
    size_t AreUpstream(const Position* a, const Position* b, size_t count, bool* upstream,
                       const runtime::Checkpoint& checkpoint = {}) const;
    // Per basin: upstream of one of these (or one of them); a basin on or
    // upstream of a cycle is upstream of itself only.
    std::vector<bool> Upstream(const std::vector<Position>& of) const;
    // Per basin: on the way down from one of these (or one of them).
    std::vector<bool> DownstreamOf(const std::vector<Position>& of) const;

    // Per basin, over its upstream set: values[i] is basin i's value, NaN for
    // null; weights (for WeightedMean only, as many as values) likewise,
    // sum(v * w) / sum(w) over the basins where both are present. The result
    // is NaN for null (Count gives 0 for none), and NaN on or upstream of a
    // cycle. Raises std::invalid_argument for lengths that differ.
    std::vector<double> Accumulate(const std::vector<double>& values, Accumulation how,
                                   const std::vector<double>& weights = {},
                                   const runtime::Checkpoint& checkpoint = {}) const;

    // The bytes the network holds, for its callers' accounts of memory.
    size_t MemoryBytes() const;

private:
    // Positions inside: 32-bit.
    using Link = int32_t;
    static constexpr Link kNone = -1;
    // A basin's interval label: its number in one depth-first (pre-order)
    // numbering of the forest, and how many basins its upstream set holds,
    // numbered pre to pre + size - 1. kNone and 0 on or upstream of a cycle.
    struct Interval {
        Link pre = kNone;
        Link size = 0;
    };
    // A basin's outlet and its moves to it; kNone on or upstream of a cycle.
    struct Way {
        Link outlet = kNone;
        Link moves = kNone;
    };

    // Raises std::length_error past kMaxBasins.
    static void CheckCount(size_t count);
    Network(std::vector<Link> downstream, const runtime::Checkpoint& checkpoint);
    friend Coded FromCodes(size_t, const command::ValueAt&, const command::RunOptions&, bool,
                           const runtime::Checkpoint&);
    friend Topology FromNextDown(size_t, const command::ValueAt&, const command::ValueAt&,
                                 const runtime::Checkpoint&);

    // Each basin's upstream neighbours, in read order: those of basin d are
    // children[start[d]] to children[start[d + 1] - 1].
    struct Children {
        std::vector<Link> start;
        std::vector<Link> children;
    };
    Children UpstreamNeighbours(const runtime::Checkpoint& checkpoint) const;
    void NumberDepthFirst(const runtime::Checkpoint& checkpoint);
    void LabelByPosition(const runtime::Checkpoint& checkpoint);
    void CountCycles();
    Link Checked(Position basin) const;
    // Both numbered, and a's number within b's interval (one comparison of
    // the difference as unsigned holds both bounds); or a is b.
    bool IsUpstreamOf(Link a, Link b) const
    {
        const Interval& above = labels_[static_cast<size_t>(a)];
        const Interval& below = labels_[static_cast<size_t>(b)];
        return a == b || (above.pre != kNone && below.pre != kNone &&
                          static_cast<uint32_t>(above.pre - below.pre) < static_cast<uint32_t>(below.size));
    }
    bool OnOrAboveCycle(Link basin) const { return labels_[static_cast<size_t>(basin)].pre == kNone; }
    // Accumulation's steps: values moved into pre-order, each combined into
    // the value of the basin it drains into from the last number to the
    // first, and moved back (NaN on or upstream of a cycle).
    template <typename Of>
    std::vector<double> ByNumber(Of of) const;
    template <typename Combine>
    void PushDown(std::vector<double>& byNumber, Combine combine, const runtime::Checkpoint& checkpoint) const;
    std::vector<double> ByPosition(const std::vector<double>& byNumber) const;

    // By read position.
    std::vector<Link> downstream_;
    std::vector<Interval> labels_;
    std::vector<Way> ways_;
    // By pre-order number: the basin numbered so, and the number of the
    // basin it drains into (kNone at an outlet).
    std::vector<Link> basinAt_;
    std::vector<Link> downstreamNumber_;
    Cycles cycles_;
};

// The network of a layer's Pfafstetter codes, read by position: basin i
// drains into the first basin, in read order, whose code is basin i's
// next-down code as a run writes it in Pfafstetter mode with these options;
// a failure code, or a code that no basin has, ends the chain. A code that
// does not convert at the run's width (text that is no number, a value
// beyond 32 bits without int64) is taken as null, and counted.
struct Coded {
    Network network;
    size_t unconvertible = 0;                 // codes taken as null
    Position firstUnconvertible = kNoBasin;  // the first of them
};
Coded FromCodes(size_t count, const command::ValueAt& codeAt, const command::RunOptions& options,
                bool allowTrailingZeros, const runtime::Checkpoint& checkpoint = {});

// A topology field's network: basin i drains into the first basin whose
// identifier equals its next-down value; 0, null or an identifier of no
// basin ends the chain. A basin whose identifier is null receives no flow.
// Identifiers and next-down values are whole numbers (a value that does not
// convert raises the runtime's error).
struct Topology {
    Network network;
    size_t repeatedIds = 0;  // basins whose identifier an earlier basin has
};
Topology FromNextDown(size_t count, const command::ValueAt& idAt, const command::ValueAt& nextDownAt,
                      const runtime::Checkpoint& checkpoint = {});

}  // namespace drennow::network
