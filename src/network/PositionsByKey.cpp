#include "network/PositionsByKey.h"

#include <stdexcept>

namespace drennow::network {

namespace {

__extension__ typedef unsigned __int128 Wide;

// A load of at most two in three keeps the probes short.
size_t SlotsFor(size_t keys)
{
    return keys + keys / 2 + 1;
}

uint64_t Mixed(int64_t key)
{
    uint64_t h = static_cast<uint64_t>(key);
    h ^= h >> 33;
    h *= 0xff51afd7ed558ccdULL;
    h ^= h >> 33;
    h *= 0xc4ceb9fe1a85ec53ULL;
    h ^= h >> 33;
    return h;
}

}  // namespace

PositionsByKey::PositionsByKey(size_t keys) : slots_(SlotsFor(keys), Slot{0, -1})
{
}

size_t PositionsByKey::Home(int64_t key) const
{
    // The mixed key scaled to the table: a multiply, not a division.
    return static_cast<size_t>((static_cast<Wide>(Mixed(key)) * slots_.size()) >> 64);
}

bool PositionsByKey::Add(int64_t key, int32_t position)
{
    if (filed_ + 1 >= slots_.size()) {
        throw std::length_error("more keys than the table was made for");
    }
    for (size_t slot = Home(key);; slot = Next(slot)) {
        Slot& here = slots_[slot];
        if (here.position < 0) {
            here.key = key;
            here.position = position;
            ++filed_;
            return true;
        }
        if (here.key == key) {
            return false;
        }
    }
}

int32_t PositionsByKey::Find(int64_t key) const
{
    for (size_t slot = Home(key);; slot = Next(slot)) {
        const Slot& here = slots_[slot];
        if (here.position < 0) {
            return -1;
        }
        if (here.key == key) {
            return here.position;
        }
    }
}

}  // namespace drennow::network
