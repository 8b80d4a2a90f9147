#pragma once

#include <QList>
#include <QtGlobal>

namespace cli {

// SplitMix64: the same seed gives the same collection on every machine and
// compiler, which the standard library's distributions do not promise.
class Random {
public:
    explicit Random(quint64 seed) : m_state(seed) {}

    quint64 next()
    {
        quint64 z = (m_state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }

    double unit() { return double(next() >> 11) * (1.0 / 9007199254740992.0); } // [0, 1)
    int below(int n) { return int(next() % quint64(n)); }                        // [0, n)
    int between(int low, int high) { return low + below(high - low + 1); }        // [low, high]
    bool chance(double p) { return unit() < p; }

    template <class T>
    const T& pick(const QList<T>& list) { return list[below(int(list.size()))]; }

    // An index into weights, chosen in proportion to them.
    int weighted(const QList<double>& weights)
    {
        double total = 0;
        for (double w : weights)
            total += w;
        double r = unit() * total;
        for (int i = 0; i < weights.size(); ++i) {
            if (r < weights[i])
                return i;
            r -= weights[i];
        }
        return int(weights.size()) - 1;
    }

private:
    quint64 m_state;
};

} // namespace cli
