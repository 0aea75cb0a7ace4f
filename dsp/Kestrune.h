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

/** juce::Random's generator, inlined: the same 48-bit linear congruential step and the same
    mapping to a float in [0, 1), so it yields exactly the sequence that nextFloat() on a
    juce::Random with this seed would. The sample loop runs its generators through this with
    the seed in a register and hands the seed back to the juce::Random afterwards. */
struct InlineRandom
{
    static float nextFloat (juce::int64& seed) noexcept
    {
        seed = (juce::int64) (((((juce::uint64) seed) * 0x5deece66dLL) + 11) & 0xffffffffffffLL);
        const auto value = (int) (seed >> 16);
        const auto result = static_cast<float> (static_cast<juce::uint32> (value)) /
                            (static_cast<float> (std::numeric_limits<juce::uint32>::max()) + 1.0f);
        return juce::jmin (result, 1.0f - std::numeric_limits<float>::epsilon());
    }
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

/** One second-order filter section, transposed direct form II, doing exactly the arithmetic
    of juce::dsp::IIR::Filter<float>::processSample for second-order coefficients, in the
    same order: out = b0 x + s1; s1 = b1 x - a1 out + s2; s2 = b2 x - a2 out. The state is
    public so the sample loop can keep it in registers for a whole channel. */
class Biquad
{
public:
    /** Normalised coefficients in the framework's order: b0, b1, b2, a1, a2. */
    std::array<float, 5> coefficients{ 1.0f, 0.0f, 0.0f, 0.0f, 0.0f };
    float s1 = 0.0f;
    float s2 = 0.0f;

    void reset() noexcept
    {
        s1 = 0.0f;
        s2 = 0.0f;
    }

    /** Takes the normalised values of a framework coefficient set. */
    void setCoefficients (const juce::dsp::IIR::Coefficients<float>& source) noexcept
    {
        std::copy_n (source.coefficients.begin(), 5, coefficients.begin());
    }

    float processSample (float x) noexcept { return run (x, coefficients, s1, s2); }

    static float run (float x, const std::array<float, 5>& c, float& state1, float& state2) noexcept
    {
        const float out = (c[0] * x) + state1;
        state1 = (c[1] * x) - (c[3] * out) + state2;
        state2 = (c[2] * x) - (c[4] * out);
        return out;
    }
};

/** Voss-McCartney pink noise with twelve rows of uniform [0, 1) values. */
class PinkNoise
{
public:
    PinkNoise();
    explicit PinkNoise (juce::int64 seed);

    float nextSample() noexcept
    {
        auto seed = random.getSeed();
        const float value = nextSample (seed);
        random.setSeed (seed);
        return value;
    }

    /** The next value, drawing from `seed`, which stands in for `random`'s own seed. */
    float nextSample (juce::int64& seed) noexcept
    {
        index = (index + 1) & indexMask;

        if (index != 0)
        {
            const int n = countTrailingZeros (index);
            const float r1 = InlineRandom::nextFloat (seed);
            runningSum = (runningSum - rows[(size_t) n]) + r1;
            rows[(size_t) n] = r1;
        }

        const float r2 = InlineRandom::nextFloat (seed);
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
    // value is never 0 here.
    static int countTrailingZeros (int value) noexcept
    {
#if defined(__GNUC__) || defined(__clang__)
        return __builtin_ctz ((unsigned int) value);
#else
        int n = 0;
        while ((value & 1) == 0)
        {
            value >>= 1;
            ++n;
        }
        return n;
#endif
    }

    void initialiseRows();
};

/** Brown noise: a leaky integrator of uniform noise, written 20,000 steps at a time into a
    buffer normalised to +-0.8 by that fill's own extremes. Each new fill continues the walk
    from where the last one ended, raised by a random amount in [0, 1).

    The fills after the current one draw only from this source's own generator, so they are
    drawn ahead, in step with the values handed out: with every value taken, one value of
    the next fill is normalised (its walk is complete) and one step of the walk after that
    is drawn. When the current buffer runs out, the next one is ready, and no audio block
    pays for a whole fill. The values are exactly those of a fill done all at once at the
    moment the buffer runs out. */
class BrownNoise
{
public:
    BrownNoise();
    explicit BrownNoise (juce::int64 seed);

    /** Rebuilds walk and buffer from startValue in one go, then draws the next walk. */
    void fillBuffer (float startValue);

    float nextSample() noexcept
    {
        auto seed = random.getSeed();
        const float value = nextSample (seed);
        random.setSeed (seed);
        return value;
    }

    /** The next value, drawing from `seed`, which stands in for `random`'s own seed. */
    float nextSample (juce::int64& seed) noexcept
    {
        if (readPosition >= buffer.size())
            takeNextFill (seed);

        stepAhead (seed);
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
    size_t fillSize() const noexcept { return (size_t) bufferSize + 1; }

    float walkStep (float previous, juce::int64& seed) const noexcept
    {
        const float r = InlineRandom::nextFloat (seed);
        return ((r * 2) + leak * previous) - 1;
    }

    static float normalise (float v, float minimum, float maximum) noexcept
    {
        const float unit = ((v - minimum) * 2) / (maximum - minimum) - 1;
        return (float) ((double) unit * 0.8);
    }

    void stepAhead (juce::int64& seed) noexcept
    {
        if (nextNormalised < nextBuffer.size())
        {
            nextBuffer[nextNormalised] = normalise (nextWalk[nextNormalised], nextMin, nextMax);
            ++nextNormalised;
        }

        if (aheadSteps < aheadWalk.size())
        {
            if (aheadSteps == 0)
            {
                // A fresh draw on top of where the next walk ends.
                aheadWalk[0] = InlineRandom::nextFloat (seed) + nextWalk.back();
                aheadMax = aheadMin = aheadWalk[0];
            }
            else
            {
                const float v = walkStep (aheadWalk[aheadSteps - 1], seed);
                aheadWalk[aheadSteps] = v;
                aheadMax = std::max (aheadMax, v);
                aheadMin = std::min (aheadMin, v);
            }
            ++aheadSteps;
        }
    }

    void initialise();
    void drawNextWalk();
    void takeNextFill (juce::int64& seed) noexcept;

    // The next fill: its walk complete, its buffer normalised up to nextNormalised.
    std::vector<float> nextWalk;
    std::vector<float> nextBuffer;
    float nextMax = 0.0f;
    float nextMin = 0.0f;
    size_t nextNormalised = 0;

    // The walk of the fill after that, drawn up to aheadSteps.
    std::vector<float> aheadWalk;
    float aheadMax = 0.0f;
    float aheadMin = 0.0f;
    size_t aheadSteps = 0;
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

    Biquad bandPassFilter[2];
    Biquad peakFilter[2];

private:
    static float load (const std::atomic<float>& field) noexcept { return field.load (std::memory_order_relaxed); }

    struct Seeds
    {
        juce::int64 white, pink, brown;
    };

    /** Generates one sample of all three conditioned colours and returns the chosen one,
        scaled by the noise level: the band-pass input. */
    float nextNoise (Seeds& seeds) noexcept;

    /** The crossfade of a dry sample with band-passed noise at the current mix. */
    float crossfade (float drySample, float bandPassed) noexcept;

    /** Clears a filter state that has turned non-finite, then stores it. */
    static void keepState (Biquad& filter, float state1, float state2) noexcept;

    void processChannelByChannel (juce::AudioBuffer<SampleType>& buffer, Seeds& seeds) noexcept;

    // The designs are normalised by the framework's own coefficient class; these two are
    // sized once (room for eight values) and re-assigned in place, so designing never
    // touches the heap.
    juce::dsp::IIR::Coefficients<float> bandPassDesign, peakDesign;

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
