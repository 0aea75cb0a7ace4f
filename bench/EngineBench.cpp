// Engine speed: time per stereo frame against the straight reference reading, and how
// evenly the work is spread over blocks (the brown refill used to land in one block).

#include <dsp/Kestrune.h>
#include <tests/ReferenceEngine.h>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <random>
#include <vector>

namespace
{
constexpr double rate = 48000.0;

void fillInput (juce::AudioBuffer<float>& buffer)
{
    std::mt19937 rng (1);
    std::uniform_real_distribution<float> dist (-0.5f, 0.5f);
    for (int ch = 0; ch < buffer.getNumChannels(); ++ch)
        for (int i = 0; i < buffer.getNumSamples(); ++i)
            buffer.setSample (ch, i, dist (rng));
}

template <typename Engine>
void configure (Engine& engine)
{
    engine.noiseDb = -6.0f;
    engine.tone = 1.0f;
    engine.mix = 50.0f;
    engine.freq = 800.0f;
    engine.width = 1.0f;
    engine.peakDb = 6.0f;
}

struct Real
{
    Kestrune<float> engine{ NoiseSeeds{ 1, 2, 3 } };
    explicit Real (int block)
    {
        engine.prepare (rate, block);
        configure (engine);
    }
    void process (juce::AudioBuffer<float>& b) { engine.process (b); }
};

struct Literal
{
    reference::Engine engine{ 1, 2, 3 };
    explicit Literal (int)
    {
        engine.prepare (rate);
        configure (engine);
    }
    void process (juce::AudioBuffer<float>& b) { engine.process (b); }
};

template <typename Subject>
void perFrame (benchmark::State& state)
{
    const int block = (int) state.range (0);
    Subject subject (block);
    juce::AudioBuffer<float> input (2, block), buffer (2, block);
    fillInput (input);

    for (auto _ : state)
    {
        buffer.makeCopyOf (input, true);
        subject.process (buffer);
        benchmark::DoNotOptimize (buffer.getReadPointer (0));
    }
    // Seconds per stereo frame (shown with an SI prefix: "n" is nanoseconds).
    state.counters["per_frame"] = benchmark::Counter ((double) block, benchmark::Counter::kIsIterationInvariantRate |
                                                                          benchmark::Counter::kInvert);
}

// One minute of 48 kHz stereo in 64-frame blocks; each block timed on its own.
template <typename Subject>
void blockSpread (benchmark::State& state)
{
    constexpr int block = 64;
    constexpr int blocks = (int) (60 * rate / block);
    std::vector<double> times ((size_t) blocks);

    for (auto _ : state)
    {
        Subject subject (block);
        juce::AudioBuffer<float> input (2, block), buffer (2, block);
        fillInput (input);

        for (auto& t : times)
        {
            buffer.makeCopyOf (input, true);
            const auto start = std::chrono::steady_clock::now();
            subject.process (buffer);
            t = std::chrono::duration<double, std::nano> (std::chrono::steady_clock::now() - start).count();
            benchmark::DoNotOptimize (buffer.getReadPointer (0));
        }
    }

    std::sort (times.begin(), times.end());
    const double median = times[times.size() / 2];
    const double p995 = times[(size_t) (0.995 * (double) (times.size() - 1))];
    state.counters["median_ns"] = median;
    state.counters["p99.5_ns"] = p995;
    state.counters["p99.5_over_median"] = p995 / median;
    state.counters["max_ns"] = times.back();
}
} // namespace

BENCHMARK_TEMPLATE (perFrame, Real)->Arg (32)->Arg (64)->Arg (512)->Arg (4096);
BENCHMARK_TEMPLATE (perFrame, Literal)->Arg (32)->Arg (64)->Arg (512)->Arg (4096);
BENCHMARK_TEMPLATE (blockSpread, Real)->Iterations (1)->Unit (benchmark::kMillisecond);
BENCHMARK_TEMPLATE (blockSpread, Literal)->Iterations (1)->Unit (benchmark::kMillisecond);

BENCHMARK_MAIN();
