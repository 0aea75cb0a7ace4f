// The whole processor on silence after loud audio (mix 0, the filters ringing out towards
// zero) against the same on audio: flushing denormals keeps the silent blocks from slowing
// down.

#include <plugin/PluginProcessor.h>

#include <benchmark/benchmark.h>

#include <random>

namespace
{
void setPlain (TWKestruneAudioProcessor& processor, const juce::String& id, float value)
{
    auto* p = processor.parameters.getParameter (id);
    p->setValueNotifyingHost (p->convertTo0to1 (value));
}

void ringOut (benchmark::State& state, bool silence)
{
    constexpr int block = 480;
    TWKestruneAudioProcessor processor;
    processor.prepareToPlay (48000.0, block);
    setPlain (processor, Parameters::peakID, 24.0f);
    setPlain (processor, Parameters::widthID, 4.0f);
    setPlain (processor, Parameters::freqID, 60.0f);

    juce::AudioBuffer<float> noise (2, block), buffer (2, block);
    std::mt19937 rng (1);
    std::uniform_real_distribution<float> dist (-1.0f, 1.0f);
    for (int ch = 0; ch < 2; ++ch)
        for (int i = 0; i < block; ++i)
            noise.setSample (ch, i, dist (rng));

    juce::MidiBuffer midi;
    for (int i = 0; i < 100; ++i)
    {
        buffer.makeCopyOf (noise, true);
        processor.processBlock (buffer, midi);
    }
    setPlain (processor, Parameters::mixID, 0.0f);

    // Ten seconds of 48 kHz per run of the loop body's thousand blocks.
    for (auto _ : state)
    {
        for (int i = 0; i < 1000; ++i)
        {
            if (silence)
                buffer.clear();
            else
                buffer.makeCopyOf (noise, true);
            processor.processBlock (buffer, midi);
        }
        benchmark::DoNotOptimize (buffer.getReadPointer (0));
    }
    state.counters["per_frame"] = benchmark::Counter (1000.0 * block, benchmark::Counter::kIsIterationInvariantRate |
                                                                          benchmark::Counter::kInvert);
}
} // namespace

BENCHMARK_CAPTURE (ringOut, silence_after_audio, true)->Unit (benchmark::kMillisecond);
BENCHMARK_CAPTURE (ringOut, audio, false)->Unit (benchmark::kMillisecond);
