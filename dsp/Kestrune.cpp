#include "Kestrune.h"

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
    // Every fill holds bufferSize + 1 values; reserving both generations now means no fill
    // ever allocates again.
    const auto fillSize = (size_t) bufferSize + 1;
    walk.reserve (fillSize);
    buffer.reserve (fillSize);
    nextWalk.reserve (fillSize);
    nextBuffer.reserve (fillSize);

    fillBuffer (random.nextFloat());
    readPosition = 0;
}

void BrownNoise::fillBuffer (float startValue)
{
    walk.clear();
    buffer.clear();
    nextWalk.clear();
    nextBuffer.clear();

    walk.push_back (startValue);
    for (int i = 0; i < bufferSize; ++i)
        walk.push_back (walkStep (walk.back()));

    maxValue = walk[0];
    minValue = walk[0];
    for (auto v : walk)
    {
        maxValue = std::max (maxValue, v);
        minValue = std::min (minValue, v);
    }

    for (auto v : walk)
        buffer.push_back (normalise (v, minValue, maxValue));
}

void BrownNoise::advanceNextFill() noexcept
{
    const auto fillSize = (size_t) bufferSize + 1;

    if (nextWalk.empty())
    {
        // The start of the next walk: a fresh draw on top of where this walk ends.
        const float start = random.nextFloat() + walk.back();
        nextWalk.push_back (start);
        nextMax = start;
        nextMin = start;
    }
    else if (nextWalk.size() < fillSize)
    {
        const float v = walkStep (nextWalk.back());
        nextWalk.push_back (v);
        nextMax = std::max (nextMax, v);
        nextMin = std::min (nextMin, v);
    }
    else if (nextBuffer.size() < fillSize)
    {
        nextBuffer.push_back (normalise (nextWalk[nextBuffer.size()], nextMin, nextMax));
    }
}

void BrownNoise::takeNextFill() noexcept
{
    // Normally complete already: a fill hands out as many values as it takes steps to
    // draw the next one at two steps per value.
    const auto fillSize = (size_t) bufferSize + 1;
    while (nextBuffer.size() < fillSize)
        advanceNextFill();

    walk.swap (nextWalk);
    buffer.swap (nextBuffer);
    maxValue = nextMax;
    minValue = nextMin;
    nextWalk.clear();
    nextBuffer.clear();
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
void Kestrune<SampleType>::prepare (double newSampleRate, int /*maximumBlockSize*/)
{
    sampleRate.store ((float) newSampleRate, std::memory_order_relaxed);

    for (auto* filter : { &bandPassFilter[0], &bandPassFilter[1], &peakFilter[0], &peakFilter[1] })
        filter->reset();

    updateEQCurves();

    // A filter sizes its state for the order of its coefficients on the first sample after
    // the order changes, clearing it. Doing that here, where the state is clear already,
    // keeps that allocation off the audio thread and changes no sample. Nothing else needs
    // preparing: process() works sample by sample without scratch buffers.
    for (auto* filter : { &bandPassFilter[0], &bandPassFilter[1], &peakFilter[0], &peakFilter[1] })
        filter->reset();
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

    // Assigning the six raw values normalises them into each filter's existing coefficient
    // storage (capacity for eight), so no heap memory is touched and the filter state runs
    // on with the new coefficients.
    const auto bandPass = Design::makeBandPass ((double) rate, designFreq, q);
    *bandPassFilter[0].coefficients = bandPass;
    *bandPassFilter[1].coefficients = bandPass;

    const float gain = juce::Decibels::decibelsToGain (gainDb);
    const auto peak = Design::makePeakFilter ((double) rate, designFreq, q, gain);
    *peakFilter[0].coefficients = peak;
    *peakFilter[1].coefficients = peak;
}

template <typename SampleType>
void Kestrune<SampleType>::process (juce::AudioBuffer<SampleType>& buffer) noexcept
{
    const int numChannels = buffer.getNumChannels();
    const int numSamples = buffer.getNumSamples();

    updateEQCurves();

    if (numChannels <= 0 || numSamples <= 0)
        return;

    // Non-finite outputs seen per filter in this block: x - x is 0 for every finite x and
    // NaN otherwise, so each sum stays 0 exactly while the filter behaves.
    float bandPassProbe[2] = { 0.0f, 0.0f };
    float peakProbe[2] = { 0.0f, 0.0f };

    // Noise is generated and consumed sample by sample, channel after channel: the same
    // draws in the same order as generating every channel's noise first, without scratch
    // buffers.
    for (int ch = 0; ch < numChannels; ++ch)
    {
        const int parity = ch % 2;
        auto& bandPass = bandPassFilter[parity];
        auto& peak = peakFilter[parity];
        auto* samples = buffer.getWritePointer (ch);

        for (int i = 0; i < numSamples; ++i)
        {
            const float white = whiteDC.process (whiteAverage.process (whiteRandom.nextFloat()));
            const float pinkSample = pinkDC.process (pinkAverage.process (pink.nextSample()));
            const float brownSample = brownDC.process (brownAverage.process (brown.nextSample()));

            // The colour index truncates toward zero; anything outside 0..2 selects silence.
            const float colour = load (tone);
            const int t = (colour > -1.0f && colour < 3.0f) ? (int) colour : -1;
            const float s = t == 0 ? white : t == 1 ? pinkSample : t == 2 ? brownSample : 0.0f;

            const float levelDb = load (noiseDb);
            if (!(levelDb == gainNoiseDb))
            {
                gainNoiseDb = levelDb;
                noiseGain = juce::Decibels::decibelsToGain (levelDb);
            }

            const float x = s * noiseGain;
            const float p = bandPass.processSample (x);

            const float mixPercent = load (mix);
            if (!(mixPercent == fractionMix))
            {
                fractionMix = mixPercent;
                wet = mixPercent / 100;
                dry = 1 - wet;
            }

            const float y = (dry * samples[i]) + (wet * p);
            const float z = peak.processSample (y);
            samples[i] = z;

            bandPassProbe[parity] += p - p;
            peakProbe[parity] += z - z;
        }
    }

    // A NaN or infinity that reached a filter (from the input, or from an overflow) would
    // stay in its state for ever; clear that filter so finite input gives finite output
    // again from the next block on.
    for (int k = 0; k < 2; ++k)
    {
        if (!(bandPassProbe[k] == 0.0f))
            bandPassFilter[k].reset();
        if (!(peakProbe[k] == 0.0f))
            peakFilter[k].reset();
    }
}

template class Kestrune<float>;
