// kestrune-render end to end: the bundle in an installed layout, loaded by JUCE's VST3
// host, renders that do what a user asks, and clear errors for what it cannot do.

#include <juce_audio_formats/juce_audio_formats.h>
#include <juce_dsp/juce_dsp.h>
#include <juce_graphics/juce_graphics.h>

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <memory>
#include <set>

namespace
{
struct Run
{
    int exitCode;
    juce::String output;
};

Run render (const juce::StringArray& args)
{
    juce::StringArray command{ KESTRUNE_RENDER };
    command.addArray (args);
    juce::ChildProcess process;
    if (! process.start (command, juce::ChildProcess::wantStdOut | juce::ChildProcess::wantStdErr))
        return { -1, "could not start " + command.joinIntoString (" ") };
    const auto output = process.readAllProcessOutput();
    process.waitForProcessToFinish (120000);
    return { (int) process.getExitCode(), output };
}

struct Audio
{
    double rate = 0.0;
    int channels = 0;
    juce::AudioBuffer<float> samples;
};

Audio readWav (const juce::File& file)
{
    juce::AudioFormatManager formats;
    formats.registerBasicFormats();
    std::unique_ptr<juce::AudioFormatReader> reader (formats.createReaderFor (file));
    Audio audio;
    if (reader == nullptr)
        return audio;
    audio.rate = reader->sampleRate;
    audio.channels = (int) reader->numChannels;
    audio.samples.setSize (audio.channels, (int) reader->lengthInSamples);
    reader->read (&audio.samples, 0, (int) reader->lengthInSamples, 0, true, true);
    return audio;
}

void writeWav (const juce::File& file, const juce::AudioBuffer<float>& buffer, double rate)
{
    file.deleteFile();
    auto stream = std::make_unique<juce::FileOutputStream> (file);
    juce::WavAudioFormat wav;
    std::unique_ptr<juce::AudioFormatWriter> writer (
        wav.createWriterFor (stream.get(), rate, (unsigned int) buffer.getNumChannels(), 32, {}, 0));
    ASSERT_NE (writer, nullptr);
    stream.release();
    writer->writeFromAudioSampleBuffer (buffer, 0, buffer.getNumSamples());
}

constexpr int fftOrder = 12, fftSize = 1 << fftOrder;

/** Averaged power spectrum of channel 0 over [start, start + length). */
std::vector<double> spectrum (const Audio& audio, int start, int length)
{
    juce::dsp::FFT fft (fftOrder);
    juce::dsp::WindowingFunction<float> window ((size_t) fftSize, juce::dsp::WindowingFunction<float>::hann, false);
    std::vector<double> power (fftSize / 2, 0.0);
    std::vector<float> frame (2 * fftSize);
    for (int at = start; at + fftSize <= start + length; at += fftSize / 2)
    {
        std::fill (frame.begin(), frame.end(), 0.0f);
        std::copy_n (audio.samples.getReadPointer (0, at), fftSize, frame.begin());
        window.multiplyWithWindowingTable (frame.data(), (size_t) fftSize);
        fft.performFrequencyOnlyForwardTransform (frame.data());
        for (size_t k = 0; k < power.size(); ++k)
            power[k] += (double) frame[k] * frame[k];
    }
    return power;
}

double centroidHz (const std::vector<double>& power, double rate)
{
    double weighted = 0.0, total = 0.0;
    for (size_t k = 1; k < power.size(); ++k)
    {
        weighted += power[k] * (double) k * rate / fftSize;
        total += power[k];
    }
    return weighted / total;
}

double bandDb (const std::vector<double>& power, double rate, double lo, double hi)
{
    double sum = 0.0;
    int count = 0;
    for (int k = (int) (lo * fftSize / rate); k <= (int) (hi * fftSize / rate); ++k, ++count)
        sum += power[(size_t) k];
    return 10.0 * std::log10 (sum / count);
}

struct RenderFixture : ::testing::Test
{
    void SetUp() override
    {
        folder = juce::File::createTempFile ("kestrune-render-test");
        folder.createDirectory();
        // The bundle copied as an install puts it: <vst3 folder>/Kestrune.vst3.
        installed = folder.getChildFile ("vst3/Kestrune.vst3");
        installed.getParentDirectory().createDirectory();
        const juce::File built (std::filesystem::weakly_canonical (KESTRUNE_BUNDLE).string());
        ASSERT_TRUE (built.copyDirectoryTo (installed));

        juce::AudioBuffer<float> white (2, 4 * 48000);
        juce::Random random (7);
        for (int ch = 0; ch < 2; ++ch)
            for (int i = 0; i < white.getNumSamples(); ++i)
                white.setSample (ch, i, 0.5f * (random.nextFloat() * 2.0f - 1.0f));
        whiteFile = folder.getChildFile ("white.wav");
        writeWav (whiteFile, white, 48000.0);
    }

    void TearDown() override { folder.deleteRecursively(); }

    juce::StringArray base (const juce::String& out) const
    {
        return { "--plugin", installed.getFullPathName(),
                 "--in",     whiteFile.getFullPathName(),
                 "--out",    folder.getChildFile (out).getFullPathName(),
                 "--quiet" };
    }

    juce::File folder, installed, whiteFile;
};
} // namespace

TEST_F (RenderFixture, AFreqRampMakesTheNoiseRise)
{
    auto args = base ("riser.wav");
    args.addArray ({ "--ramp", "freq=300:6000:exp", "--set", "mix=100", "--seconds", "4", "--rate", "48000" });
    const auto run = render (args);
    ASSERT_EQ (run.exitCode, 0) << run.output;

    const auto audio = readWav (folder.getChildFile ("riser.wav"));
    EXPECT_EQ (audio.rate, 48000.0);
    EXPECT_EQ (audio.channels, 2);
    EXPECT_EQ (audio.samples.getNumSamples(), 4 * 48000);

    const double first = centroidHz (spectrum (audio, 0, 48000), 48000.0);
    const double last = centroidHz (spectrum (audio, 3 * 48000, 48000), 48000.0);
    EXPECT_GT (last, 3.0 * first) << "first second " << first << " Hz, last second " << last << " Hz";
}

TEST_F (RenderFixture, MixZeroAndPeakZeroGiveTheInputBack)
{
    auto args = base ("dry.wav");
    args.addArray ({ "--set", "mix=0", "--set", "peak=0", "--block", "100" });
    const auto run = render (args);
    ASSERT_EQ (run.exitCode, 0) << run.output;

    const auto input = readWav (whiteFile);
    const auto output = readWav (folder.getChildFile ("dry.wav"));
    ASSERT_EQ (output.samples.getNumSamples(), input.samples.getNumSamples());
    float worst = 0.0f;
    for (int ch = 0; ch < 2; ++ch)
        for (int i = 4800; i < input.samples.getNumSamples(); ++i)
            worst = std::max (worst, std::abs (output.samples.getSample (ch, i) - input.samples.getSample (ch, i)));
    EXPECT_LT (worst, 1e-4f);
}

TEST_F (RenderFixture, BrownToneSlopesLikeBrownNoise)
{
    // Rendered white and brown through the same filter; their ratio is the colour alone.
    std::vector<double> power[2];
    int index = 0;
    for (const char* tone : { "W", "B" })
    {
        auto args = base (juce::String ("steady-") + tone + ".wav");
        args.addArray ({ "--set", juce::String ("tone=") + tone, "--set", "mix=100", "--set", "width=0.1", "--set",
                         "freq=2000", "--mono", "--seconds", "3" });
        const auto run = render (args);
        ASSERT_EQ (run.exitCode, 0) << run.output;
        const auto audio = readWav (folder.getChildFile (juce::String ("steady-") + tone + ".wav"));
        ASSERT_EQ (audio.channels, 1);
        power[index++] = spectrum (audio, 4800, audio.samples.getNumSamples() - 4800);
    }

    auto ratioDb = [&] (double hz)
    { return bandDb (power[1], 48000.0, hz * 0.9, hz * 1.1) - bandDb (power[0], 48000.0, hz * 0.9, hz * 1.1); };
    const double slope = (ratioDb (4000.0) - ratioDb (1000.0)) / 2.0; // two octaves
    EXPECT_NEAR (slope, -6.0, 2.0);
}

TEST_F (RenderFixture, SpectrogramHasTheRequestedSizeAndShowsSomething)
{
    auto args = base ("picture.wav");
    const auto picture = folder.getChildFile ("picture.png");
    args.addArray ({ "--seconds", "2", "--spectrogram", picture.getFullPathName(), "--size", "900x500", "--ramp",
                     "freq=200:8000:exp" });
    const auto run = render (args);
    ASSERT_EQ (run.exitCode, 0) << run.output;

    const auto image = juce::ImageFileFormat::loadFrom (picture);
    ASSERT_TRUE (image.isValid());
    EXPECT_EQ (image.getWidth(), 900);
    EXPECT_EQ (image.getHeight(), 500);

    // Inside the plot, the picture is not one flat colour.
    std::set<juce::uint32> colours;
    for (int y = 60; y < 420; y += 7)
        for (int x = 100; x < 760; x += 11)
            colours.insert (image.getPixelAt (x, y).getARGB());
    EXPECT_GT (colours.size(), 50u);
}

TEST_F (RenderFixture, BadArgumentsGiveOneLineErrorsAndExitCodes)
{
    const auto text = folder.getChildFile ("notes.txt");
    text.replaceWithText ("these are not samples");
    const auto truncated = folder.getChildFile ("truncated.wav");
    {
        juce::MemoryBlock bytes;
        whiteFile.loadFileAsData (bytes);
        truncated.replaceWithData (bytes.getData(), 2000);
    }

    struct Case
    {
        juce::StringArray args;
        int exitCode;
        const char* message;
    };
    const Case cases[] = {
        { { "--plugin", folder.getChildFile ("nowhere/Kestrune.vst3").getFullPathName() }, 3, "no plug-in at" },
        { { "--plugin", text.getFullPathName() }, 3, "not a loadable VST3 plug-in" },
        { { "--in", folder.getChildFile ("missing.wav").getFullPathName() }, 4, "cannot read input" },
        { { "--in", text.getFullPathName() }, 4, "not a readable WAV file" },
        { { "--in", truncated.getFullPathName() }, 4, "truncated" },
        { { "--set", "bogus=3" }, 2, "unknown parameter 'bogus'" },
        { { "--ramp", "bogus=1:2" }, 2, "unknown parameter 'bogus'" },
        { { "--ramp", "freq=200" }, 2, "malformed ramp" },
        { { "--ramp", "freq=0:100:exp" }, 2, "two positive ends" },
        { { "--ramp", "freq=a:b" }, 2, "malformed ramp start" },
        { { "--seconds", "-1" }, 2, "length" },
        { { "--frobnicate" }, 2, "unknown option" },
    };

    for (const auto& c : cases)
    {
        juce::StringArray args{ "--plugin",  installed.getFullPathName(),
                                "--in",      "silence",
                                "--seconds", "0.1",
                                "--out",     folder.getChildFile ("error.wav").getFullPathName() };
        args.addArray (c.args);
        const auto run = render (args);
        EXPECT_EQ (run.exitCode, c.exitCode) << c.args.joinIntoString (" ") << "\n" << run.output;
        EXPECT_TRUE (run.output.contains ("kestrune-render: error: ")) << run.output;
        EXPECT_TRUE (run.output.contains (c.message)) << run.output;
        EXPECT_EQ (run.output.trim().indexOfChar ('\n'), -1) << run.output;
    }
}
