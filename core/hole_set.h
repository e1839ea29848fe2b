// A set of holes by their index in Board::holes: 121 bits in two words, so
// that the searches copy, combine and test sets of holes in a few
// instructions.
#pragma once

#include <bit>
#include <cstdint>

class HoleSet {
  public:
    constexpr HoleSet() = default;

    constexpr bool has(int h) const { return (words_[h >> 6] >> (h & 63)) & 1; }
    constexpr void add(int h) { words_[h >> 6] |= uint64_t{1} << (h & 63); }
    constexpr void remove(int h) { words_[h >> 6] &= ~(uint64_t{1} << (h & 63)); }
    constexpr bool empty() const { return (words_[0] | words_[1]) == 0; }
    // The bits of holes 64·i to 64·i + 63, for hashing.
    constexpr uint64_t word(int i) const { return words_[i]; }
    constexpr int count() const { return std::popcount(words_[0]) + std::popcount(words_[1]); }
    constexpr bool meets(const HoleSet& o) const {
        return ((words_[0] & o.words_[0]) | (words_[1] & o.words_[1])) != 0;
    }

    constexpr HoleSet& operator|=(const HoleSet& o) {
        words_[0] |= o.words_[0];
        words_[1] |= o.words_[1];
        return *this;
    }
    constexpr HoleSet& operator&=(const HoleSet& o) {
        words_[0] &= o.words_[0];
        words_[1] &= o.words_[1];
        return *this;
    }
    constexpr HoleSet operator|(const HoleSet& o) const { return HoleSet(*this) |= o; }
    constexpr HoleSet operator&(const HoleSet& o) const { return HoleSet(*this) &= o; }
    constexpr HoleSet without(const HoleSet& o) const {
        HoleSet r;
        r.words_[0] = words_[0] & ~o.words_[0];
        r.words_[1] = words_[1] & ~o.words_[1];
        return r;
    }
    friend constexpr bool operator==(const HoleSet&, const HoleSet&) = default;

    template <typename Visit> constexpr void forEach(Visit visit) const {
        for (int w = 0; w < 2; ++w)
            for (uint64_t bits = words_[w]; bits; bits &= bits - 1)
                visit(w * 64 + std::countr_zero(bits));
    }

  private:
    uint64_t words_[2] = {0, 0};
};
