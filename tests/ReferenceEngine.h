#pragma once

// A straight, unoptimised reading of the riser engine's documented behaviour, used only to
// check the real engine sample for sample: a double-ended queue for each moving average,
// whole brown fills done at the moment they run out, fresh temporary buffers and
// coefficient objects on every block, and a dB conversion for every sample.

#include <juce_audio_basics/juce_audio_basics.h>
#include <juce_dsp/juce_dsp.h>

#include <algorithm>
#include <deque>
#include <vector>

namespace reference
{
struct DCBlocker
{
    float pole = 0.99f, previousInput = 0.0f, previousOutput = 0.0f;

    float process (float x)
    {
        float y = (pole * previousOutput) + (x - previousInput);
        previousInput = x;
        previousOutput = y;
        return y;
    }
};

struct MovingAverage
{
    int windowSize = 4, count = 0;
    float runningSum = 0.0f;
    std::deque<float> window;

    float process (float x)
    {
        if (count < windowSize)
        {
            window.push_back (x);
            runningSum += x;
            ++count;
            return x;
        }
        window.push_back (x);
        float d = x - window.front();
        runningSum = runningSum + d;
        window.pop_front();
        return runningSum / (float) windowSize;
    }
};

struct PinkNoise
{
    explicit PinkNoise (juce::int64 seed)
        : random (seed)
    {
        for (int i = 0; i < 12; ++i)
            rows.push_back (random.nextFloat());
        runningSum = 0.0f;
        for (auto r : rows)
            runningSum += r;
    }

    float nextSample()
    {
        index = (index + 1) & indexMask;
        if (index != 0)
        {
            int n = 0;
            while (((index >> n) & 1) == 0)
                ++n;
            float r1 = random.nextFloat();
            runningSum = (runningSum - rows[(size_t) n]) + r1;
            rows[(size_t) n] = r1;
        }
        float r2 = random.nextFloat();
        return (r2 + runningSum) * scale;
    }

    juce::Random random;
    std::vector<float> rows;
    float runningSum = 0.0f;
    int index = 0, indexMask = 4095;
    float scale = 0.07692308f;
};

struct BrownNoise
{
    explicit BrownNoise (juce::int64 seed)
        : random (seed)
    {
        fillBuffer (random.nextFloat());
        readPosition = 0;
    }

    void fillBuffer (float startValue)
    {
        walk.clear();
        buffer.clear();
        walk.push_back (startValue);
        for (int i = 0; i < bufferSize; ++i)
        {
            float r = random.nextFloat();
            walk.push_back (((r * 2) + leak * walk.back()) - 1);
        }
        maxValue = *std::max_element (walk.begin(), walk.end());
        minValue = *std::min_element (walk.begin(), walk.end());
        for (auto v : walk)
        {
            float unit = ((v - minValue) * 2) / (maxValue - minValue) - 1;
            buffer.push_back ((float) (unit * 0.8));
        }
    }

    float nextSample()
    {
        if (readPosition >= buffer.size())
        {
            float r = random.nextFloat();
            fillBuffer (r + walk.back());
            readPosition = 0;
        }
        return buffer[readPosition++];
    }

    juce::Random random;
    std::vector<float> walk, buffer;
    size_t readPosition = 0;
    float maxValue = 0.0f, minValue = 0.0f;
    int bufferSize = 20000;
    float leak = 0.95f;
};

struct Engine
{
    Engine (juce::int64 whiteSeed, juce::int64 pinkSeed, juce::int64 brownSeed)
        : whiteRandom (whiteSeed)
        , pink (pinkSeed)
        , brown (brownSeed)
    {
    }

    void prepare (double rate)
    {
        sampleRate = (float) rate;
        bandPassFilter[0].reset();
        bandPassFilter[1].reset();
        peakFilter[0].reset();
        peakFilter[1].reset();
        updateEQCurves();
    }

    void updateEQCurves()
    {
        using Coefficients = juce::dsp::IIR::Coefficients<float>;
        auto bp1 = Coefficients::makeBandPass (sampleRate, freq, width);
        auto bp2 = Coefficients::makeBandPass (sampleRate, freq, width);
        *bandPassFilter[0].coefficients = *bp1;
        *bandPassFilter[1].coefficients = *bp2;
        float g = juce::Decibels::decibelsToGain (peakDb);
        auto pk1 = Coefficients::makePeakFilter (sampleRate, freq, width, g);
        auto pk2 = Coefficients::makePeakFilter (sampleRate, freq, width, g);
        *peakFilter[0].coefficients = *pk1;
        *peakFilter[1].coefficients = *pk2;
    }

    void process (juce::AudioBuffer<float>& buffer)
    {
        const int numChannels = buffer.getNumChannels();
        const int numSamples = buffer.getNumSamples();

        juce::AudioBuffer<float> whiteBuffer, pinkBuffer, brownBuffer;
        whiteBuffer.setSize (numChannels, numSamples);
        pinkBuffer.setSize (numChannels, numSamples);
        brownBuffer.setSize (numChannels, numSamples);
        whiteBuffer.clear();
        pinkBuffer.clear();
        brownBuffer.clear();

        for (int ch = 0; ch < numChannels; ++ch)
            for (int i = 0; i < numSamples; ++i)
            {
                whiteBuffer.setSample (ch, i, whiteDC.process (whiteAverage.process (whiteRandom.nextFloat())));
                pinkBuffer.setSample (ch, i, pinkDC.process (pinkAverage.process (pink.nextSample())));
                brownBuffer.setSample (ch, i, brownDC.process (brownAverage.process (brown.nextSample())));
            }

        updateEQCurves();

        for (int ch = 0; ch < numChannels; ++ch)
            for (int i = 0; i < numSamples; ++i)
            {
                int t = (int) tone;
                float s = t == 0   ? whiteBuffer.getSample (ch, i)
                          : t == 1 ? pinkBuffer.getSample (ch, i)
                          : t == 2 ? brownBuffer.getSample (ch, i)
                                   : 0.0f;
                float g = juce::Decibels::decibelsToGain (noiseDb);
                float x = s * g;
                float p = bandPassFilter[ch % 2].processSample (x);
                float m = mix / 100;
                float d = buffer.getSample (ch, i);
                float y = ((1 - m) * d) + (m * p);
                buffer.setSample (ch, i, y);
                float z = peakFilter[ch % 2].processSample (y);
                buffer.setSample (ch, i, z);
            }
    }

    float sampleRate = 44100.0f, noiseDb = -6.0f, tone = 0.0f, mix = 50.0f, freq = 20.0f, width = 1.0f, peakDb = 0.0f;

    juce::Random whiteRandom;
    PinkNoise pink;
    BrownNoise brown;
    DCBlocker whiteDC;
    MovingAverage whiteAverage;
    DCBlocker pinkDC;
    MovingAverage pinkAverage;
    DCBlocker brownDC;
    MovingAverage brownAverage;
    juce::dsp::IIR::Filter<float> bandPassFilter[2], peakFilter[2];
};
} // namespace reference
