#include "Kestrune.h"

#include <algorithm>
#include <cmath>

//==============================================================================
PinkNoise::PinkNoise()
{
    initialiseRows();
}

PinkNoise::PinkNoise (juce::int64 seed)
    : random (seed)
{
    initialiseRows();
}

void PinkNoise::initialiseRows()
{
    rows.resize ((size_t) numRows);

    for (auto& row : rows)
        row = random.nextFloat();

    runningSum = 0.0f;
    for (auto row : rows)
        runningSum += row;
}

//==============================================================================
BrownNoise::BrownNoise()
{
    initialise();
}

BrownNoise::BrownNoise (juce::int64 seed)
    : random (seed)
{
    initialise();
}

void BrownNoise::initialise()
{
    // Every fill holds bufferSize + 1 values. All storage is sized here; the fills only
    // ever trade places afterwards, so no fill allocates again.
    walk.resize (fillSize());
    buffer.resize (fillSize());
    nextWalk.resize (fillSize());
    nextBuffer.resize (fillSize());
    aheadWalk.resize (fillSize());

    fillBuffer (random.nextFloat());
    readPosition = 0;
}

void BrownNoise::fillBuffer (float startValue)
{
    auto seed = random.getSeed();

    walk[0] = startValue;
    for (size_t i = 1; i < fillSize(); ++i)
        walk[i] = walkStep (walk[i - 1], seed);

    maxValue = *std::max_element (walk.begin(), walk.end());
    minValue = *std::min_element (walk.begin(), walk.end());

    for (size_t i = 0; i < fillSize(); ++i)
        buffer[i] = normalise (walk[i], minValue, maxValue);

    random.setSeed (seed);
    drawNextWalk();
}

void BrownNoise::drawNextWalk()
{
    auto seed = random.getSeed();

    nextWalk[0] = InlineRandom::nextFloat (seed) + walk.back();
    for (size_t i = 1; i < fillSize(); ++i)
        nextWalk[i] = walkStep (nextWalk[i - 1], seed);

    nextMax = *std::max_element (nextWalk.begin(), nextWalk.end());
    nextMin = *std::min_element (nextWalk.begin(), nextWalk.end());
    nextNormalised = 0;
    aheadSteps = 0;

    random.setSeed (seed);
}

void BrownNoise::takeNextFill (juce::int64& seed) noexcept
{
    // Normally complete already: a fill hands out exactly as many values as the next one
    // has left to normalise and the one after it has walk steps to draw.
    while (nextNormalised < fillSize() || aheadSteps < fillSize())
        stepAhead (seed);

    walk.swap (nextWalk);
    buffer.swap (nextBuffer);
    maxValue = nextMax;
    minValue = nextMin;

    nextWalk.swap (aheadWalk);
    nextMax = aheadMax;
    nextMin = aheadMin;
    nextNormalised = 0;
    aheadSteps = 0;

    readPosition = 0;
}

//==============================================================================
template <typename SampleType>
Kestrune<SampleType>::Kestrune() = default;

template <typename SampleType>
Kestrune<SampleType>::Kestrune (NoiseSeeds seeds)
    : whiteRandom (seeds.white)
    , pink (seeds.pink)
    , brown (seeds.brown)
{
}

template <typename SampleType>
void Kestrune<SampleType>::prepare (double newSampleRate, int maximumBlockSize)
{
    sampleRate.store ((float) newSampleRate, std::memory_order_relaxed);

    for (auto* filter : { &bandPassFilter[0], &bandPassFilter[1], &peakFilter[0], &peakFilter[1] })
        filter->reset();

    updateEQCurves();

    // Nothing else needs preparing: process() runs sample by sample without scratch
    // buffers, and the noise sources hold all their storage from construction.
    juce::ignoreUnused (maximumBlockSize);
}

template <typename SampleType>
void Kestrune<SampleType>::updateEQCurves() noexcept
{
    const float rate = load (sampleRate);
    const float centre = load (freq);
    const float q = load (width);
    const float gainDb = load (peakDb);

    if (rate == designedSampleRate && centre == designedFreq && q == designedWidth && gainDb == designedPeakDb)
        return;

    designedSampleRate = rate;
    designedFreq = centre;
    designedWidth = q;
    designedPeakDb = gainDb;

    const float limit = rate * maxDesignFrequencyRatio;
    const float designFreq = centre < limit ? centre : limit;

    using Design = juce::dsp::IIR::ArrayCoefficients<float>;

    // The framework's coefficient class normalises the six raw values into storage it
    // already holds; the filters copy the result and run on from their state.
    bandPassDesign = Design::makeBandPass ((double) rate, designFreq, q);
    bandPassFilter[0].setCoefficients (bandPassDesign);
    bandPassFilter[1].setCoefficients (bandPassDesign);

    const float gain = juce::Decibels::decibelsToGain (gainDb);
    peakDesign = Design::makePeakFilter ((double) rate, designFreq, q, gain);
    peakFilter[0].setCoefficients (peakDesign);
    peakFilter[1].setCoefficients (peakDesign);
}

template <typename SampleType>
forcedinline float Kestrune<SampleType>::nextNoise (Seeds& seeds) noexcept
{
    // All three colours advance on every sample, whichever one is heard.
    const float white = whiteDC.process (whiteAverage.process (InlineRandom::nextFloat (seeds.white)));
    const float pinkSample = pinkDC.process (pinkAverage.process (pink.nextSample (seeds.pink)));
    const float brownSample = brownDC.process (brownAverage.process (brown.nextSample (seeds.brown)));

    // The colour index truncates toward zero; anything outside 0..2 selects silence.
    const float colour = load (tone);
    const int t = (colour > -1.0f && colour < 3.0f) ? (int) colour : -1;
    const float s = t == 0 ? white : t == 1 ? pinkSample : t == 2 ? brownSample : 0.0f;

    const float levelDb = load (noiseDb);
    if (! (levelDb == gainNoiseDb))
    {
        gainNoiseDb = levelDb;
        noiseGain = juce::Decibels::decibelsToGain (levelDb);
    }

    return s * noiseGain;
}

template <typename SampleType>
forcedinline float Kestrune<SampleType>::crossfade (float drySample, float bandPassed) noexcept
{
    const float mixPercent = load (mix);
    if (! (mixPercent == fractionMix))
    {
        fractionMix = mixPercent;
        wet = mixPercent / 100;
        dry = 1 - wet;
    }

    return (dry * drySample) + (wet * bandPassed);
}

template <typename SampleType>
void Kestrune<SampleType>::keepState (Biquad& filter, float state1, float state2) noexcept
{
    // A NaN or infinity that reaches a filter (from the input, or from an overflow) stays
    // in its state for ever, whatever follows. Clearing such a state lets finite input give
    // finite output again from the next sample that filter runs.
    if (! (std::isfinite (state1) && std::isfinite (state2)))
        state1 = state2 = 0.0f;

    filter.s1 = state1;
    filter.s2 = state2;
}

template <typename SampleType>
void Kestrune<SampleType>::process (juce::AudioBuffer<SampleType>& buffer) noexcept
{
    const int numChannels = buffer.getNumChannels();
    const int numSamples = buffer.getNumSamples();

    updateEQCurves();

    if (numChannels <= 0 || numSamples <= 0)
        return;

    // The three generators run on local copies of their seeds.
    Seeds seeds{ whiteRandom.getSeed(), pink.random.getSeed(), brown.random.getSeed() };

    processChannelByChannel (buffer, seeds);

    whiteRandom.setSeed (seeds.white);
    pink.random.setSeed (seeds.pink);
    brown.random.setSeed (seeds.brown);
}

// Each channel from end to end, noise and filters together: the same draws in the same
// order as generating every channel's noise first, without scratch buffers. Channels of
// equal parity share a filter, so channel 2 continues where channel 0 left it.
template <typename SampleType>
void Kestrune<SampleType>::processChannelByChannel (juce::AudioBuffer<SampleType>& buffer, Seeds& seeds) noexcept
{
    const int numSamples = buffer.getNumSamples();

    for (int ch = 0; ch < buffer.getNumChannels(); ++ch)
    {
        auto& bandPassFilterOfChannel = bandPassFilter[ch % 2];
        auto& peakFilterOfChannel = peakFilter[ch % 2];
        const auto bandPassCoefficients = bandPassFilterOfChannel.coefficients;
        const auto peakCoefficients = peakFilterOfChannel.coefficients;
        float bandPass1 = bandPassFilterOfChannel.s1, bandPass2 = bandPassFilterOfChannel.s2;
        float peak1 = peakFilterOfChannel.s1, peak2 = peakFilterOfChannel.s2;
        auto* samples = buffer.getWritePointer (ch);

        for (int i = 0; i < numSamples; ++i)
        {
            const float p = Biquad::run (nextNoise (seeds), bandPassCoefficients, bandPass1, bandPass2);
            samples[i] = Biquad::run (crossfade (samples[i], p), peakCoefficients, peak1, peak2);
        }

        keepState (bandPassFilterOfChannel, bandPass1, bandPass2);
        keepState (peakFilterOfChannel, peak1, peak2);
    }
}

template class Kestrune<float>;
