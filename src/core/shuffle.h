#pragma once
#include <QtGlobal>
#include <cstdint>
#include <random>

struct ApplicationState;

// Source of single-precision random values uniform in 0 <= x < 1 (never 1.0).
class RandomSource {
public:
    virtual ~RandomSource() = default;
    virtual float next() = 0;
    // Called at the start of every draw; the program's source reseeds from the clock.
    virtual void reseedFromClock() = 0;
};

// A Mersenne Twister source. The program's instance reseeds from the clock; a test seeds it
// once and turns reseeding off so every draw is reproducible.
class MersenneRandomSource : public RandomSource {
public:
    explicit MersenneRandomSource(bool reseedFromClockEnabled = true, std::uint32_t seed = 1);
    float next() override;
    void reseedFromClock() override;
    void seed(std::uint32_t value) { m_engine.seed(value); }

private:
    std::mt19937 m_engine;
    bool m_reseed;
};

// The one shuffle: fills state.ShuffleKey(0..n-1) from `random` and leaves in
// state.QuestionOrder(0..n-1) the positions 0..n-1 by descending key, ties to the lower
// position. n is at most 82. Taken positions get the key -1.
void Shuffle(ApplicationState &state, int n, RandomSource &random);
