#include "chain_table.h"

#include <algorithm>

namespace {

constexpr size_t kFirstSlots = 256; // set up at the first entry: most searches keep none
constexpr int kMaxLoadPercent = 50;

uint64_t Mix(uint64_t x) {
    x ^= x >> 31;
    x *= 0x9e3779b97f4a7c15ULL;
    x ^= x >> 29;
    return x;
}

} // namespace


void ChainTable::Clear() {
    ++generation_;
    count_ = 0;
}

size_t ChainTable::Index(const ChainEnd& key) const {
    const uint64_t hash =
        Mix(key.holes.word(0) ^ Mix(key.holes.word(1) + static_cast<uint64_t>(key.end)));
    return hash & (slots_.size() - 1);
}

ChainFacts ChainTable::Find(const ChainEnd& key) const {
    if (slots_.empty())
        return {};
    for (size_t i = Index(key);; i = (i + 1) & (slots_.size() - 1)) {
        const Slot& slot = slots_[i];
        if (slot.generation != generation_)
            return {};
        if (slot.key == key)
            return slot.facts;
    }
}

void ChainTable::Store(const ChainEnd& key, const ChainFacts& facts) {
    if (slots_.empty())
        slots_.resize(kFirstSlots);
    else if ((count_ + 1) * 100 > static_cast<int64_t>(slots_.size()) * kMaxLoadPercent)
        Grow();
    for (size_t i = Index(key);; i = (i + 1) & (slots_.size() - 1)) {
        Slot& slot = slots_[i];
        if (slot.generation != generation_) {
            slot = {key, facts, generation_};
            ++count_;
            return;
        }
        if (slot.key == key) {
            ChainFacts& known = slot.facts;
            known.lower = std::max(known.lower, facts.lower);
            known.upper = std::min(known.upper, facts.upper);
            if (!known.exact && facts.exact) {
                known.exact = true;
                known.best = facts.best;
                known.landing = facts.landing;
            }
            return;
        }
    }
}

void ChainTable::Grow() {
    std::vector<Slot> old(slots_.size() * 2);
    old.swap(slots_);
    const uint32_t generation = generation_;
    count_ = 0;
    for (const Slot& slot : old)
        if (slot.generation == generation)
            Store(slot.key, slot.facts);
}
