#pragma once

// A spectrogram picture of a render: log-frequency axis from 20 Hz to 20 kHz with labelled
// octaves, time in seconds, colour by level in dB, with a scale.

#include <juce_audio_basics/juce_audio_basics.h>
#include <juce_dsp/juce_dsp.h>
#include <juce_graphics/juce_graphics.h>

#include <cmath>
#include <vector>

namespace render
{
class SpectrogramBuilder
{
public:
    explicit SpectrogramBuilder (double sampleRate)
        : rate (sampleRate)
    {
    }

    /** Adds a block (its channels averaged). */
    void add (const juce::AudioBuffer<float>& block)
    {
        for (int i = 0; i < block.getNumSamples(); ++i)
        {
            float sum = 0.0f;
            for (int ch = 0; ch < block.getNumChannels(); ++ch)
                sum += block.getSample (ch, i);
            samples.push_back (sum / (float) std::max (1, block.getNumChannels()));
        }
    }

    bool write (const juce::File& file, int width, int height) const
    {
        const auto image = draw (width, height);
        file.getParentDirectory().createDirectory();
        file.deleteFile();
        juce::FileOutputStream out (file);
        juce::PNGImageFormat png;
        return out.openedOk() && png.writeImageToStream (image, out);
    }

    static constexpr double lowestHz = 20.0, highestHz = 20000.0;
    static constexpr float floorDb = -110.0f, topDb = 0.0f;

    /** The colour for a level: black through violet and orange to pale yellow. */
    static juce::Colour colourFor (float db)
    {
        const float t = juce::jlimit (0.0f, 1.0f, (db - floorDb) / (topDb - floorDb));
        static const juce::Colour stops[] = { juce::Colour (0, 0, 4),      juce::Colour (40, 11, 84),
                                              juce::Colour (101, 21, 110), juce::Colour (159, 42, 99),
                                              juce::Colour (212, 72, 66),  juce::Colour (245, 125, 21),
                                              juce::Colour (250, 193, 39), juce::Colour (252, 255, 164) };
        const float position = t * 7.0f;
        const int index = std::min (6, (int) position);
        return stops[index].interpolatedWith (stops[index + 1], position - (float) index);
    }

private:
    juce::Image draw (int width, int height) const
    {
        juce::Image image (juce::Image::RGB, width, height, true);
        juce::Graphics g (image);
        g.fillAll (juce::Colour (18, 16, 26));

        const juce::Rectangle<int> plot (70, 36, width - 70 - 110, height - 36 - 48);
        const double seconds = (double) samples.size() / rate;

        // Spectrum per column.
        constexpr int order = 12, size = 1 << order;
        juce::dsp::FFT fft (order);
        juce::dsp::WindowingFunction<float> window ((size_t) size, juce::dsp::WindowingFunction<float>::hann, false);
        std::vector<float> frame (2 * size);
        juce::Image::BitmapData pixels (image, juce::Image::BitmapData::writeOnly);

        for (int x = 0; x < plot.getWidth(); ++x)
        {
            const auto centre = (long) ((x + 0.5) / plot.getWidth() * (double) samples.size());
            std::fill (frame.begin(), frame.end(), 0.0f);
            for (int k = 0; k < size; ++k)
            {
                const long index = centre - size / 2 + k;
                if (index >= 0 && index < (long) samples.size())
                    frame[(size_t) k] = samples[(size_t) index];
            }
            window.multiplyWithWindowingTable (frame.data(), (size_t) size);
            fft.performFrequencyOnlyForwardTransform (frame.data());

            for (int y = 0; y < plot.getHeight(); ++y)
            {
                const double fraction = 1.0 - (y + 0.5) / plot.getHeight();
                const double hz = lowestHz * std::pow (highestHz / lowestHz, fraction);
                const double bin = hz * size / rate;
                const int b = (int) bin;
                float magnitude = 0.0f;
                if (b + 1 < size / 2)
                    magnitude = (float) (frame[(size_t) b] + (frame[(size_t) b + 1] - frame[(size_t) b]) * (bin - b));
                // A full-scale sine reads 0 dB (Hann window: coherent gain one half).
                const float db = magnitude > 0.0f ? 20.0f * std::log10 (magnitude / (size * 0.25f)) : floorDb;
                pixels.setPixelColour (plot.getX() + x, plot.getY() + y, colourFor (db));
            }
        }

        // Axes and labels.
        g.setColour (juce::Colours::white.withAlpha (0.85f));
        g.drawRect (plot.expanded (1));
        g.setFont (juce::FontOptions (13.0f));
        // The standard octave centres, plus both ends of the axis.
        for (double hz : { 20.0, 31.5, 63.0, 125.0, 250.0, 500.0, 1000.0, 2000.0, 4000.0, 8000.0, 16000.0, 20000.0 })
        {
            const int y = plot.getBottom() - (int) std::round (std::log (hz / lowestHz) /
                                                               std::log (highestHz / lowestHz) * plot.getHeight());
            g.setColour (juce::Colours::white.withAlpha (0.25f));
            g.drawHorizontalLine (y, (float) plot.getX(), (float) plot.getRight());
            g.setColour (juce::Colours::white.withAlpha (0.85f));
            const auto label = hz >= 1000.0 ? juce::String (juce::roundToInt (hz / 1000.0)) + "k"
                                            : juce::String (hz, hz < 100.0 && hz != std::floor (hz) ? 1 : 0);
            g.drawText (label, 0, y - 8, plot.getX() - 8, 16, juce::Justification::centredRight);
        }
        g.drawText ("Hz", 0, plot.getY() - 26, plot.getX() - 8, 16, juce::Justification::centredRight);

        const double step = seconds <= 2.0 ? 0.25 : seconds <= 10.0 ? 1.0 : seconds <= 60.0 ? 5.0 : 30.0;
        for (double t = 0.0; t <= seconds + 1e-9; t += step)
        {
            const int x = plot.getX() + (int) std::round (t / std::max (seconds, 1e-9) * plot.getWidth());
            g.drawVerticalLine (x, (float) plot.getBottom(), (float) plot.getBottom() + 5.0f);
            g.drawText (juce::String (t, step < 1.0 ? 2 : 0) + " s", x - 30, plot.getBottom() + 8, 60, 16,
                        juce::Justification::centred);
        }
        g.drawText ("time", plot.getX(), plot.getBottom() + 26, plot.getWidth(), 16, juce::Justification::centred);

        g.setFont (juce::FontOptions (15.0f, juce::Font::bold));
        g.drawText ("Kestrune render - spectrogram", plot.getX(), 8, plot.getWidth(), 20,
                    juce::Justification::centredLeft);

        // Colour scale.
        const juce::Rectangle<int> bar (plot.getRight() + 24, plot.getY(), 18, plot.getHeight());
        for (int y = 0; y < bar.getHeight(); ++y)
        {
            const float db = topDb - (topDb - floorDb) * (float) y / (float) bar.getHeight();
            g.setColour (colourFor (db));
            g.fillRect (bar.getX(), bar.getY() + y, bar.getWidth(), 1);
        }
        g.setColour (juce::Colours::white.withAlpha (0.85f));
        g.drawRect (bar.expanded (1));
        g.setFont (juce::FontOptions (12.0f));
        for (float db = topDb; db >= floorDb; db -= 20.0f)
        {
            const int y = bar.getY() + (int) std::round ((topDb - db) / (topDb - floorDb) * bar.getHeight());
            g.drawText (juce::String ((int) db) + " dB", bar.getRight() + 4, y - 7, 60, 14,
                        juce::Justification::centredLeft);
        }
        return image;
    }

    double rate;
    std::vector<float> samples;
};
} // namespace render
