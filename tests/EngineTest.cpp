#include "AllocationCounter.h"
#include "ReferenceEngine.h"

#include <dsp/Kestrune.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <random>

namespace
{
constexpr NoiseSeeds testSeeds{ 11, 22, 33 };

void fillRandom (juce::AudioBuffer<float>& buffer, std::mt19937& rng, float amplitude = 1.0f)
{
    std::uniform_real_distribution<float> dist (-amplitude, amplitude);
    for (int ch = 0; ch < buffer.getNumChannels(); ++ch)
        for (int i = 0; i < buffer.getNumSamples(); ++i)
            buffer.setSample (ch, i, dist (rng));
}

bool sameBits (const juce::AudioBuffer<float>& a, const juce::AudioBuffer<float>& b)
{
    if (a.getNumChannels() != b.getNumChannels() || a.getNumSamples() != b.getNumSamples())
        return false;
    for (int ch = 0; ch < a.getNumChannels(); ++ch)
        if (std::memcmp (a.getReadPointer (ch), b.getReadPointer (ch), sizeof (float) * (size_t) a.getNumSamples()) !=
            0)
            return false;
    return true;
}

void setParameters (Kestrune<float>& engine, reference::Engine& ref, float noiseDb, float tone, float mix, float freq,
                    float width, float peakDb)
{
    engine.noiseDb = ref.noiseDb = noiseDb;
    engine.tone = ref.tone = tone;
    engine.mix = ref.mix = mix;
    engine.freq = ref.freq = freq;
    engine.width = ref.width = width;
    engine.peakDb = ref.peakDb = peakDb;
}
} // namespace

//==============================================================================
TEST (Conditioning, MovingAveragePassesFourThenAveragesTheLastFour)
{
    MovingAverage average;
    const float expected[] = { 1.0f, 2.0f, 3.0f, 4.0f, 3.5f, 4.5f };
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ (average.process ((float) (i + 1)), expected[i]) << "input " << i + 1;
    EXPECT_EQ (average.runningSum, 18.0f);
}

TEST (Conditioning, DCBlockerDecaysByItsPoleOnAConstantInput)
{
    DCBlocker blocker;
    float expected = 1.0f;
    for (int i = 0; i < 50; ++i)
    {
        EXPECT_FLOAT_EQ (blocker.process (1.0f), expected) << "step " << i;
        expected *= 0.99f;
    }
}

TEST (NoiseSources, BrownFillSpansPlusMinusPointEightWithTheStartValueFirst)
{
    BrownNoise brown (1234);
    const float start = 0.3f;
    brown.fillBuffer (start);

    ASSERT_EQ (brown.walk.size(), 20001u);
    ASSERT_EQ (brown.buffer.size(), 20001u);
    EXPECT_EQ (brown.walk.front(), start);
    const auto [lo, hi] = std::minmax_element (brown.buffer.begin(), brown.buffer.end());
    EXPECT_NEAR (*lo, -0.8f, 1e-6f);
    EXPECT_NEAR (*hi, 0.8f, 1e-6f);
    const float unit = ((start - brown.minValue) * 2) / (brown.maxValue - brown.minValue) - 1;
    EXPECT_EQ (brown.buffer.front(), (float) (unit * 0.8));
}

TEST (NoiseSources, BrownRefillsEvery20001ValuesExactlyAsAWholeFillWould)
{
    BrownNoise drawnAhead (77);
    reference::BrownNoise whole (77);

    for (int i = 0; i < 3 * 20001 + 10; ++i)
        ASSERT_EQ (drawnAhead.nextSample(), whole.nextSample()) << "value " << i;

    EXPECT_EQ (drawnAhead.walk, whole.walk);
    EXPECT_EQ (drawnAhead.buffer, whole.buffer);
    EXPECT_EQ (drawnAhead.maxValue, whole.maxValue);
    EXPECT_EQ (drawnAhead.minValue, whole.minValue);
}

TEST (NoiseSources, PinkRefreshesNoRowWhereItsIndexWraps)
{
    PinkNoise pink (5);
    juce::Random mirror (5);
    for (int i = 0; i < 12; ++i)
        mirror.nextFloat();

    for (int sample = 1; sample <= 2 * 4096; ++sample)
    {
        const auto rowsBefore = pink.rows;
        const float sumBefore = pink.runningSum;
        const float value = pink.nextSample();

        if (sample % 4096 == 0)
        {
            ASSERT_EQ (pink.index, 0);
            EXPECT_EQ (pink.rows, rowsBefore);
            EXPECT_EQ (pink.runningSum, sumBefore);
            EXPECT_EQ (value, (mirror.nextFloat() + sumBefore) * pink.scale);
        }
        else
        {
            mirror.nextFloat(); // the row's refresh
            mirror.nextFloat(); // the per-sample draw
        }
    }
}

TEST (NoiseSources, RawWhiteStaysInTheUnitIntervalAndConditionedWhiteIsCentred)
{
    juce::Random white (99);
    MovingAverage average;
    DCBlocker blocker;
    double sum = 0.0;
    const int n = 200000;
    for (int i = 0; i < n; ++i)
    {
        const float raw = white.nextFloat();
        ASSERT_GE (raw, 0.0f);
        ASSERT_LT (raw, 1.0f);
        const float conditioned = blocker.process (average.process (raw));
        if (i >= 1000)
            sum += conditioned;
    }
    EXPECT_NEAR (sum / (n - 1000), 0.0, 0.01);
}

//==============================================================================
TEST (Engine, EmptyBuffersStillRedesignTheFilters)
{
    for (const auto& [channels, samples] : { std::pair{ 0, 0 }, std::pair{ 2, 0 }, std::pair{ 0, 64 } })
    {
        Kestrune<float> engine (testSeeds);
        engine.prepare (48000.0, 512);
        engine.freq = 2500.0f;
        engine.width = 2.0f;
        engine.peakDb = 12.0f;

        juce::AudioBuffer<float> buffer (channels, samples);
        engine.process (buffer);

        const auto bandPass = juce::dsp::IIR::Coefficients<float>::makeBandPass (48000.0, 2500.0f, 2.0f);
        const auto peak = juce::dsp::IIR::Coefficients<float>::makePeakFilter (48000.0, 2500.0f, 2.0f,
                                                                               juce::Decibels::decibelsToGain (12.0f));
        for (int k = 0; k < 2; ++k)
        {
            EXPECT_EQ (std::vector<float> (engine.bandPassFilter[k].coefficients.begin(),
                                           engine.bandPassFilter[k].coefficients.end()),
                       std::vector<float> (bandPass->coefficients.begin(), bandPass->coefficients.end()));
            EXPECT_EQ (
                std::vector<float> (engine.peakFilter[k].coefficients.begin(), engine.peakFilter[k].coefficients.end()),
                std::vector<float> (peak->coefficients.begin(), peak->coefficients.end()));
        }
    }
}

TEST (Engine, MixZeroAndPeakZeroPassTheInputOnceSettled)
{
    Kestrune<float> engine (testSeeds);
    engine.prepare (44100.0, 256);
    engine.mix = 0.0f;
    engine.peakDb = 0.0f;
    engine.freq = 1000.0f;

    std::mt19937 rng (3);
    juce::AudioBuffer<float> buffer (2, 256);
    for (int block = 0; block < 20; ++block)
    {
        fillRandom (buffer, rng);
        juce::AudioBuffer<float> input (buffer);
        engine.process (buffer);
        for (int ch = 0; ch < 2; ++ch)
            for (int i = 0; i < 256; ++i)
                ASSERT_NEAR (buffer.getSample (ch, i), input.getSample (ch, i), 1e-5f);
    }
}

TEST (Engine, MixHundredIgnoresTheInputAndStereoChannelsCarryDifferentNoise)
{
    Kestrune<float> quiet (testSeeds), loud (testSeeds);
    for (auto* engine : { &quiet, &loud })
    {
        engine->prepare (48000.0, 128);
        engine->mix = 100.0f;
        engine->freq = 3000.0f;
    }

    juce::AudioBuffer<float> silent (2, 128), noisy (2, 128);
    std::mt19937 rng (8);
    for (int block = 0; block < 10; ++block)
    {
        silent.clear();
        fillRandom (noisy, rng);
        quiet.process (silent);
        loud.process (noisy);
        ASSERT_TRUE (sameBits (silent, noisy)) << "block " << block;
    }

    bool channelsDiffer = false;
    for (int i = 0; i < 128; ++i)
        channelsDiffer |= silent.getSample (0, i) != silent.getSample (1, i);
    EXPECT_TRUE (channelsDiffer);
    EXPECT_GT (silent.getMagnitude (0, 0, 128), 0.0f);
}

TEST (Engine, EveryColourChainRunsWhateverTheTone)
{
    Kestrune<float> white (testSeeds), brown (testSeeds);
    white.tone = 0.0f;
    brown.tone = 2.0f;

    juce::AudioBuffer<float> a (2, 300), b (2, 300);
    a.clear();
    b.clear();
    white.process (a);
    brown.process (b);

    // The colour not heard has advanced exactly as far as the one heard, so switching
    // colours picks up an already settled chain at the very next sample.
    for (const auto& pair : { std::pair{ &white.pinkDC, &brown.pinkDC }, std::pair{ &white.brownDC, &brown.brownDC } })
    {
        EXPECT_EQ (pair.first->previousInput, pair.second->previousInput);
        EXPECT_EQ (pair.first->previousOutput, pair.second->previousOutput);
    }
    EXPECT_EQ (white.brown.readPosition, brown.brown.readPosition);
    EXPECT_EQ (white.brown.readPosition, 600u);
}

//==============================================================================
// The engine against the straight reading, bit for bit: random parameters between
// blocks, block sizes from 0 to 4096, one to three channels, several brown refills.
TEST (Engine, MatchesTheReferenceBitForBit)
{
    for (int seed = 1; seed <= 12; ++seed)
    {
        std::mt19937 rng ((unsigned) seed);
        const NoiseSeeds seeds{ seed * 1000 + 1, seed * 1000 + 2, seed * 1000 + 3 };
        Kestrune<float> engine (seeds);
        reference::Engine ref (seeds.white, seeds.pink, seeds.brown);

        const double rates[] = { 44100.0, 48000.0, 88200.0, 96000.0 };
        const double rate = rates[rng() % 4];
        engine.prepare (rate, 4096);
        ref.prepare (rate);

        std::uniform_real_distribution<float> unit (0.0f, 1.0f);
        long totalSamples = 0;
        int block = 0;
        while (totalSamples < 3 * 20001 + 5000)
        {
            if (rng() % 3 == 0)
                setParameters (engine, ref, -36.0f + 36.0f * unit (rng), (float) (rng() % 3), 100.0f * unit (rng),
                               20.0f + 19980.0f * unit (rng) * unit (rng), 0.1f + 3.9f * unit (rng),
                               24.0f * unit (rng));

            const int sizes[] = { 0, 1, 7, 33, 64, 127, 256, 511, 1000, 4096 };
            const int numSamples = sizes[rng() % 10];
            const int numChannels = 1 + (int) (rng() % 3);

            juce::AudioBuffer<float> a (numChannels, numSamples);
            fillRandom (a, rng);
            juce::AudioBuffer<float> b (a);

            engine.process (a);
            ref.process (b);
            ASSERT_TRUE (sameBits (a, b))
                << "seed " << seed << ", block " << block << " (" << numChannels << " x " << numSamples << ")";

            totalSamples += (long) numSamples * numChannels;
            ++block;
        }

        // Re-preparing mid-stream clears the filters on both sides and keeps the noise going.
        engine.prepare (48000.0, 512);
        ref.prepare (48000.0);
        juce::AudioBuffer<float> a (2, 512);
        fillRandom (a, rng);
        juce::AudioBuffer<float> b (a);
        engine.process (a);
        ref.process (b);
        ASSERT_TRUE (sameBits (a, b)) << "seed " << seed << " after re-preparing";
    }
}

TEST (Engine, ProcessAllocatesNothingAfterPrepare)
{
    if (! allocations::available)
        GTEST_SKIP() << "allocations are not counted in sanitizer builds";

    Kestrune<float> engine (testSeeds);
    engine.prepare (48000.0, 1024);

    std::mt19937 rng (4);
    std::vector<std::unique_ptr<juce::AudioBuffer<float>>> buffers;
    for (int channels = 1; channels <= 3; ++channels)
        for (int size : { 1, 64, 1024 })
            buffers.push_back (std::make_unique<juce::AudioBuffer<float>> (channels, size));
    for (auto& b : buffers)
        fillRandom (*b, rng);

    long samples = 0;
    std::size_t allocated = 0;
    for (int block = 0; samples < 4 * 20001; ++block)
    {
        auto& buffer = *buffers[(size_t) block % buffers.size()];
        engine.freq = 100.0f + (float) (block % 50) * 300.0f;
        engine.tone = (float) (block % 3);
        engine.noiseDb = -(float) (block % 30);
        engine.mix = (float) (block % 100);
        engine.peakDb = (float) (block % 24);

        allocations::Counting counting;
        engine.process (buffer);
        allocated += counting.allocations();
        samples += (long) buffer.getNumChannels() * buffer.getNumSamples();
    }
    EXPECT_EQ (allocated, 0u);
}

//==============================================================================
// Non-finite input must not poison the filters for ever.
TEST (Engine, RecoversFromNonFiniteInputByTheNextBlock)
{
    for (float poison : { std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity() })
    {
        Kestrune<float> engine (testSeeds);
        engine.prepare (48000.0, 256);
        engine.mix = 30.0f;
        engine.peakDb = 6.0f;

        juce::AudioBuffer<float> buffer (2, 256);
        buffer.clear();
        buffer.setSample (0, 100, poison);
        buffer.setSample (1, 3, poison);
        engine.process (buffer);

        std::mt19937 rng (1);
        fillRandom (buffer, rng);
        engine.process (buffer);
        for (int ch = 0; ch < 2; ++ch)
            for (int i = 0; i < 256; ++i)
                ASSERT_TRUE (std::isfinite (buffer.getSample (ch, i))) << "channel " << ch << ", sample " << i;
    }
}
