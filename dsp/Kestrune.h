#pragma once

#include <juce_audio_basics/juce_audio_basics.h>
#include <juce_dsp/juce_dsp.h>

#include <array>
#include <atomic>
#include <cstddef>
#include <vector>

/** Seeds for the three noise sources, so that a render can be repeated sample for sample. */
struct NoiseSeeds
{
    juce::int64 white, pink, brown;
};

/** First-order DC blocker: y = pole * previousOutput + (x - previousInput). */
class DCBlocker
{
public:
    float process (float x) noexcept
    {
        const float y = (pole * previousOutput) + (x - previousInput);
        previousInput = x;
        previousOutput = y;
        return y;
    }

    float pole = 0.99f;
    float previousInput = 0.0f;
    float previousOutput = 0.0f;
};

/** Running mean over the last four inputs. While the window fills, inputs pass through
    unchanged; afterwards the sum is kept up to date by adding the newest input minus the
    oldest one. The window is a fixed ring, so sliding it never touches the heap. */
class MovingAverage
{
public:
    static constexpr int capacity = 4;

    float process (float x) noexcept
    {
        if (count < windowSize)
        {
            window[(size_t) count] = x;
            runningSum += x;
            ++count;
            return x;
        }

        const float oldest = window[(size_t) front];
        window[(size_t) front] = x;
        front = (front + 1) % capacity;
        const float d = x - oldest;
        runningSum = runningSum + d;
        return runningSum / (float) windowSize;
    }

    int windowSize = capacity;
    int count = 0;
    float runningSum = 0.0f;
    std::array<float, capacity> window{}; // ring of the last four inputs
    int front = 0;                        // ring slot of the oldest input
};

/** Voss-McCartney pink noise with twelve rows of uniform [0, 1) values. */
class PinkNoise
{
public:
    PinkNoise();
    explicit PinkNoise (juce::int64 seed);

    float nextSample() noexcept
    {
        index = (index + 1) & indexMask;

        if (index != 0)
        {
            const int n = countTrailingZeros (index);
            const float r1 = random.nextFloat();
            runningSum = (runningSum - rows[(size_t) n]) + r1;
            rows[(size_t) n] = r1;
        }

        const float r2 = random.nextFloat();
        return (r2 + runningSum) * scale;
    }

    static constexpr int numRows = 12;

    juce::Random random;
    std::vector<float> rows;
    float runningSum = 0.0f;
    int index = 0;
    int indexMask = (1 << numRows) - 1;
    float scale = 1.0f / (float) (numRows + 1);

private:
    static int countTrailingZeros (int value) noexcept
    {
        int n = 0;
        while ((value & 1) == 0)
        {
            value >>= 1;
            ++n;
        }
        return n;
    }

    void initialiseRows();
};

/** Brown noise: a leaky integrator of uniform noise, written 20,000 steps at a time into a
    buffer normalised to +-0.8 by that fill's own extremes. Each new fill continues the walk
    from where the last one ended, raised by a random amount in [0, 1).

    The next fill only ever draws from this source's own generator, so it is drawn ahead:
    every value handed out also advances the next fill by two steps (first the walk, then
    its normalisation). When the current buffer runs out, the next one is ready, and no
    single audio block pays for a whole fill. The values are exactly those of a fill done
    all at once at that moment. */
class BrownNoise
{
public:
    BrownNoise();
    explicit BrownNoise (juce::int64 seed);

    /** Rebuilds walk and buffer from startValue in one go (construction and tests). */
    void fillBuffer (float startValue);

    float nextSample() noexcept
    {
        if (readPosition >= buffer.size())
            takeNextFill();

        advanceNextFill();
        advanceNextFill();
        return buffer[readPosition++];
    }

    juce::Random random;
    std::vector<float> walk;
    std::vector<float> buffer;
    size_t readPosition = 0;
    float maxValue = 0.0f;
    float minValue = 0.0f;
    int bufferSize = 20000;
    float leak = 0.95f;

private:
    void initialise();
    void advanceNextFill() noexcept;
    void takeNextFill() noexcept;

    float walkStep (float previous) noexcept
    {
        const float r = random.nextFloat();
        return ((r * 2) + leak * previous) - 1;
    }

    static float normalise (float v, float minimum, float maximum) noexcept
    {
        const float unit = ((v - minimum) * 2) / (maximum - minimum) - 1;
        return (float) ((double) unit * 0.8);
    }

    // The fill being drawn ahead.
    std::vector<float> nextWalk;
    std::vector<float> nextBuffer;
    float nextMax = 0.0f;
    float nextMin = 0.0f;
};

/** The riser engine: three always-running noise colours, a band-pass and a peaking filter
    at one centre frequency and Q, and a dry/wet crossfade, processed in place.

    The parameter fields and sampleRate may be written from any thread while the audio
    thread runs process(): each is an atomic float, read with relaxed ordering, so every
    read sees a whole value (old or new). inputDb and outputDb belong to the processor's
    gain stages; the engine never reads them. */
template <typename SampleType>
class Kestrune
{
public:
    /** Seeds all three noise sources randomly. */
    Kestrune();

    /** Seeds the noise sources from the given values (reproducible renders and tests). */
    explicit Kestrune (NoiseSeeds seeds);

    /** Stores the sample rate, clears the four filters and designs their coefficients.
        After this, process() allocates nothing, locks nothing and makes no system call,
        whatever the block size. */
    void prepare (double newSampleRate, int maximumBlockSize);

    /** Processes every channel of the buffer in place. */
    void process (juce::AudioBuffer<SampleType>& buffer) noexcept;

    /** Designs the band-pass and peaking coefficients from sampleRate, freq, width and
        peakDb. Recomputes only when one of them changed since the last design. */
    void updateEQCurves() noexcept;

    /** The highest centre frequency handed to the filter designs, as a fraction of the
        sample rate. At or above half the sample rate both designs put their poles outside
        the unit circle, which happens with "freq" at 20 kHz and rates below 40 kHz, so the
        design frequency is held just below that: 0.49 of the rate. Lower frequencies are
        designed exactly as set. */
    static constexpr float maxDesignFrequencyRatio = 0.49f;

    std::atomic<float> sampleRate{ 44100.0f };
    std::atomic<float> noiseDb{ -6.0f };
    std::atomic<float> tone{ 0.0f };
    std::atomic<float> mix{ 50.0f };
    std::atomic<float> freq{ 20.0f };
    std::atomic<float> width{ 1.0f };
    std::atomic<float> peakDb{ 0.0f };
    std::atomic<float> inputDb{ 0.0f };
    std::atomic<float> outputDb{ 0.0f };

    juce::Random whiteRandom;
    PinkNoise pink;
    BrownNoise brown;
    DCBlocker whiteDC;
    MovingAverage whiteAverage;
    DCBlocker pinkDC;
    MovingAverage pinkAverage;
    DCBlocker brownDC;
    MovingAverage brownAverage;

    juce::dsp::IIR::Filter<float> bandPassFilter[2];
    juce::dsp::IIR::Filter<float> peakFilter[2];

private:
    static float load (const std::atomic<float>& field) noexcept { return field.load (std::memory_order_relaxed); }

    // Inputs of the current filter design; NaN until the first design.
    float designedSampleRate = std::numeric_limits<float>::quiet_NaN();
    float designedFreq = std::numeric_limits<float>::quiet_NaN();
    float designedWidth = std::numeric_limits<float>::quiet_NaN();
    float designedPeakDb = std::numeric_limits<float>::quiet_NaN();

    // The noise gain and the mix fraction, recomputed only when their fields change.
    float gainNoiseDb = std::numeric_limits<float>::quiet_NaN();
    float noiseGain = 0.0f;
    float fractionMix = std::numeric_limits<float>::quiet_NaN();
    float wet = 0.0f;
    float dry = 1.0f;
};
