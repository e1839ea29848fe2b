// How much closer a move brings a marble to its target: unweighted (steps,
// chains cut back) and weighted (every hole reached by jumping).  Gains are
// formed in extended precision and stored as doubles, as the computer always
// formed them; a differently rounded last bit would break ties differently
// and let the programs of an online game drift apart.  Every search forms
// its values, and its bounds on values, with these very operations, inside
// the core library and its floating-point settings.
#pragma once

inline double Gain(double fromDistance, double toDistance) {
    return static_cast<double>(static_cast<long double>(fromDistance) - toDistance);
}

inline double WeightedGain(double weight, double fromDistance, double toDistance) {
    return static_cast<double>(static_cast<long double>(weight) *
                               (static_cast<long double>(fromDistance) - toDistance));
}
