#include "core/shuffle.h"

#include "core/applicationstate.h"

#include <chrono>

MersenneRandomSource::MersenneRandomSource(bool reseedFromClockEnabled, std::uint32_t seed)
    : m_engine(seed), m_reseed(reseedFromClockEnabled) {
    if (m_reseed)
        reseedFromClock();
}

float MersenneRandomSource::next() {
    // 24 random bits scaled by 2^-24: exactly representable in a float, always below 1.
    return static_cast<float>(m_engine() >> 8) * (1.0f / 16777216.0f);
}

void MersenneRandomSource::reseedFromClock() {
    if (!m_reseed)
        return;
    const auto ticks = std::chrono::high_resolution_clock::now().time_since_epoch().count();
    m_engine.seed(static_cast<std::uint32_t>(ticks ^ (ticks >> 32)));
}

void Shuffle(ApplicationState &s, int n, RandomSource &random) {
    n = qBound(0, n, kFactCount + 1);
    for (int i = 0; i < n; ++i) {
        s.ShuffleKey[i] = random.next();
        s.QuestionOrder[i] = static_cast<qint16>(i);
    }
    for (int i = 0; i < n; ++i) {
        float best = s.ShuffleKey[0];
        int chosen = 0;
        for (int j = 0; j < n; ++j) {
            if (s.ShuffleKey[j] > best) {
                chosen = j;
                best = s.ShuffleKey[j];
            }
        }
        s.QuestionOrder[i] = static_cast<qint16>(chosen);
        // Mark the position as taken with a key below every random value: a marker of 0
        // could tie with a drawn key of exactly 0 and draw a position twice.
        s.ShuffleKey[chosen] = -1.0f;
    }
}
