#include <dsp/Kestrune.h>

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

namespace
{
constexpr int fftOrder = 13;
constexpr int fftSize = 1 << fftOrder;

/** Averaged power spectrum (Welch, Hann window, no overlap) of a signal. */
std::vector<double> powerSpectrum (const std::vector<float>& signal)
{
    juce::dsp::FFT fft (fftOrder);
    juce::dsp::WindowingFunction<float> window ((size_t) fftSize, juce::dsp::WindowingFunction<float>::hann, false);
    std::vector<double> power (fftSize / 2, 0.0);
    std::vector<float> frame (2 * fftSize);

    int frames = 0;
    for (size_t start = 0; start + fftSize <= signal.size(); start += fftSize, ++frames)
    {
        std::fill (frame.begin(), frame.end(), 0.0f);
        std::copy (signal.begin() + (long) start, signal.begin() + (long) start + fftSize, frame.begin());
        window.multiplyWithWindowingTable (frame.data(), (size_t) fftSize);
        fft.performFrequencyOnlyForwardTransform (frame.data());
        for (int k = 0; k < fftSize / 2; ++k)
            power[(size_t) k] += (double) frame[(size_t) k] * frame[(size_t) k];
    }
    for (auto& p : power)
        p /= frames;
    return power;
}

/** Mean power density in dB over a band around a frequency (one sixth of an octave). */
double bandLevelDb (const std::vector<double>& power, double sampleRate, double centre)
{
    const double binHz = sampleRate / fftSize;
    const int lo = (int) std::floor (centre * std::pow (2.0, -1.0 / 12.0) / binHz);
    const int hi = (int) std::ceil (centre * std::pow (2.0, 1.0 / 12.0) / binHz);
    double sum = 0.0;
    for (int k = lo; k <= hi; ++k)
        sum += power[(size_t) k];
    return 10.0 * std::log10 (sum / (hi - lo + 1));
}

template <typename Source>
std::vector<float> conditioned (Source&& nextRaw, int count)
{
    MovingAverage average;
    DCBlocker blocker;
    std::vector<float> out ((size_t) count);
    for (auto& v : out)
        v = blocker.process (average.process (nextRaw()));
    return out;
}

double slopePerOctave (const std::vector<double>& power, double sampleRate, double from, double to)
{
    const double octaves = std::log2 (to / from);
    return (bandLevelDb (power, sampleRate, to) - bandLevelDb (power, sampleRate, from)) / octaves;
}

std::vector<float> render (Kestrune<float>& engine, const std::vector<float>& input, int blockSize = 512)
{
    std::vector<float> output (input.size());
    juce::AudioBuffer<float> buffer (1, blockSize);
    for (size_t start = 0; start + (size_t) blockSize <= input.size(); start += (size_t) blockSize)
    {
        std::copy_n (input.begin() + (long) start, blockSize, buffer.getWritePointer (0));
        engine.process (buffer);
        std::copy_n (buffer.getReadPointer (0), blockSize, output.begin() + (long) start);
    }
    return output;
}
} // namespace

TEST (Spectrum, PinkFallsAboutThreeDecibelsPerOctaveAndBrownFaster)
{
    const double rate = 44100.0;
    const int n = 64 * fftSize;

    PinkNoise pink (21);
    BrownNoise brown (22);
    const auto pinkPower = powerSpectrum (conditioned ([&] { return pink.nextSample(); }, n));
    const auto brownPower = powerSpectrum (conditioned ([&] { return brown.nextSample(); }, n));

    const double pinkSlope = slopePerOctave (pinkPower, rate, 250.0, 2000.0);
    const double brownSlope = slopePerOctave (brownPower, rate, 500.0, 4000.0);
    EXPECT_NEAR (pinkSlope, -3.0, 1.0);
    EXPECT_LT (brownSlope, -4.5);
}

TEST (Spectrum, BandPassedWhiteNoisePeaksNearTheCentreFrequency)
{
    for (float centre : { 300.0f, 1000.0f, 5000.0f })
    {
        Kestrune<float> engine (NoiseSeeds{ 1, 2, 3 });
        engine.prepare (48000.0, 512);
        engine.mix = 100.0f;
        engine.tone = 0.0f;
        engine.freq = centre;
        engine.width = 4.0f;

        const auto output = render (engine, std::vector<float> (40 * fftSize, 0.0f));
        const auto power = powerSpectrum (output);

        // Smooth over a third of an octave, then find the loudest band.
        double bestLevel = -1e9, bestFreq = 0.0;
        for (double f = 40.0; f < 20000.0; f *= std::pow (2.0, 1.0 / 24.0))
            if (const double level = bandLevelDb (power, 48000.0, f); level > bestLevel)
                bestLevel = level, bestFreq = f;

        EXPECT_NEAR (std::log2 (bestFreq / centre), 0.0, 0.1) << "centre " << centre << " Hz, peak at " << bestFreq;
    }
}

TEST (Spectrum, PeakFilterLiftsASineAtTheCentreByItsGain)
{
    const double rate = 48000.0;
    const float centre = 1000.0f;

    Kestrune<float> engine (NoiseSeeds{ 4, 5, 6 });
    engine.prepare (rate, 480);
    engine.mix = 0.0f;
    engine.freq = centre;
    engine.width = 1.0f;
    engine.peakDb = 24.0f;

    std::vector<float> sine (48000);
    for (size_t i = 0; i < sine.size(); ++i)
        sine[i] = 0.01f * (float) std::sin (2.0 * juce::MathConstants<double>::pi * centre * (double) i / rate);
    const auto output = render (engine, sine, 480);

    double in = 0.0, out = 0.0;
    for (size_t i = 24000; i < sine.size(); ++i)
    {
        in += (double) sine[i] * sine[i];
        out += (double) output[i] * output[i];
    }
    EXPECT_NEAR (10.0 * std::log10 (out / in), 24.0, 0.1);
}

//==============================================================================
// Every rate a host may choose, against the parameter corners: finite and bounded.
TEST (Stability, EveryRateAndParameterCornerStaysFiniteAndBounded)
{
    const double rates[] = { 1234.5678, 8000.0, 22050.0, 44100.0, 48000.0, 96000.0, 192000.0, 384000.0 };
    std::mt19937 rng (17);
    std::uniform_real_distribution<float> dist (-1.0f, 1.0f);

    for (double rate : rates)
        for (int corner = 0; corner < 32; ++corner)
        {
            Kestrune<float> engine (NoiseSeeds{ corner, corner + 1, corner + 2 });
            engine.prepare (rate, 256);
            engine.freq = (corner & 1) ? 20000.0f : 20.0f;
            engine.width = (corner & 2) ? 4.0f : 0.1f;
            engine.peakDb = (corner & 4) ? 24.0f : 0.0f;
            engine.noiseDb = (corner & 8) ? 0.0f : -36.0f;
            engine.mix = (corner & 16) ? 100.0f : 0.0f;
            engine.tone = (float) (corner % 3);

            juce::AudioBuffer<float> buffer (2, 256);
            float peak = 0.0f;
            bool finite = true;
            for (int block = 0; block < 64; ++block)
            {
                for (int ch = 0; ch < 2; ++ch)
                    for (int i = 0; i < 256; ++i)
                        buffer.setSample (ch, i, dist (rng));
                engine.process (buffer);
                for (int ch = 0; ch < 2; ++ch)
                    for (int i = 0; i < 256; ++i)
                    {
                        const float v = buffer.getSample (ch, i);
                        finite &= std::isfinite (v);
                        peak = std::max (peak, std::abs (v));
                    }
            }
            EXPECT_TRUE (finite) << rate << " Hz, corner " << corner;
            EXPECT_LT (peak, 64.0f) << rate << " Hz, corner " << corner;
        }
}
