// kestrune-render: a small command-line host that loads Kestrune.vst3 through JUCE's own
// VST3 hosting, exactly as a DAW does, and renders audio through it offline: input from a
// WAV file or generated, parameters set by their IDs, automation ramps delivered per block,
// output as WAV and, optionally, a spectrogram picture.

#include "Options.h"
#include "Spectrogram.h"

#include <juce_audio_formats/juce_audio_formats.h>
#include <juce_audio_processors/juce_audio_processors.h>

#include <cmath>
#include <cstdio>
#include <iostream>
#include <memory>
#include <unistd.h>

namespace
{
[[noreturn]] void fail (int code, const juce::String& message)
{
    std::cerr << "kestrune-render: error: " << message << "\n";
    std::exit (code);
}

/** The VST3 parameter ID a host sees for one of Kestrune's string IDs. */
juce::String vst3IdFor (const juce::String& id)
{
    juce::uint32 hash = 0;
    for (auto c : id)
        hash = hash * 31 + (juce::uint32) c;
    return juce::String ((int) (hash & 0x7fffffff));
}

juce::AudioProcessorParameter* findParameter (juce::AudioPluginInstance& plugin, const juce::String& id)
{
    const auto wanted = vst3IdFor (id);
    for (auto* p : plugin.getParameters())
        if (auto* withId = dynamic_cast<juce::HostedAudioProcessorParameter*> (p))
            if (withId->getParameterID() == wanted)
                return p;
    return nullptr;
}

/** A drum-like loop to put the riser on: kick, snare and hats at 120 BPM. */
void generatePattern (juce::AudioBuffer<float>& buffer, double rate, juce::int64 startSample)
{
    const double beat = rate * 0.5;
    juce::Random random (startSample + 1);
    for (int i = 0; i < buffer.getNumSamples(); ++i)
    {
        const auto n = (double) (startSample + i);
        const double inBeat = std::fmod (n, beat) / rate;
        const auto beatIndex = (juce::int64) (n / beat);
        const double inEighth = std::fmod (n, beat * 0.5) / rate;

        // Kick on every beat: a falling sine with a quick decay.
        const double kickPhase =
            2.0 * juce::MathConstants<double>::pi * (50.0 * inBeat + 60.0 * (1.0 - std::exp (-inBeat * 30.0)) / 30.0);
        double v = 0.8 * std::sin (kickPhase) * std::exp (-inBeat * 9.0);
        // Snare on 2 and 4: a noise burst.
        if (beatIndex % 2 == 1)
            v += 0.35 * (random.nextFloat() * 2.0f - 1.0f) * std::exp (-inBeat * 22.0);
        // Hats on the eighths: short, quiet noise.
        v += 0.08 * (random.nextFloat() * 2.0f - 1.0f) * std::exp (-inEighth * 120.0);

        for (int ch = 0; ch < buffer.getNumChannels(); ++ch)
            buffer.setSample (ch, i, (float) v);
    }
}

class Progress
{
public:
    explicit Progress (bool shown)
        : enabled (shown)
    {
    }

    void update (double fraction)
    {
        if (! enabled)
            return;
        const int width = 40;
        const int filled = (int) std::round (fraction * width);
        if (filled == last)
            return;
        last = filled;
        std::fprintf (stderr, "\r  rendering [%s%s] %3d%%", std::string ((size_t) filled, '#').c_str(),
                      std::string ((size_t) (width - filled), '.').c_str(), (int) std::round (fraction * 100));
        std::fflush (stderr);
    }

    void finish()
    {
        if (enabled)
            std::fprintf (stderr, "\n");
    }

private:
    bool enabled;
    int last = -1;
};
} // namespace

int main (int argc, char** argv)
{
    render::Options options;
    try
    {
        options = render::parse (argc, argv);
    }
    catch (const render::UsageError& e)
    {
        fail (2, e.what());
    }

    if (options.help)
    {
        std::cout << render::usage();
        return 0;
    }

    juce::ScopedJuceInitialiser_GUI juce;

    // Input, before the plug-in: a file sets the rate, length and channels it can.
    std::unique_ptr<juce::AudioFormatReader> reader;
    juce::AudioFormatManager formats;
    formats.registerBasicFormats();
    if (options.input != "silence" && options.input != "pink-loop")
    {
        const juce::File file = juce::File::getCurrentWorkingDirectory().getChildFile (options.input);
        if (! file.existsAsFile())
            fail (4, "cannot read input '" + options.input + "': no such file");
        reader.reset (formats.createReaderFor (file));
        if (reader == nullptr || reader->lengthInSamples <= 0 || reader->numChannels == 0)
            fail (4, "cannot read input '" + options.input + "': not a readable WAV file");
        // A file cut short still announces its full length; refuse it rather than pad it.
        const auto dataBytes =
            reader->lengthInSamples * (juce::int64) reader->numChannels * (juce::int64) (reader->bitsPerSample / 8);
        if (file.getSize() < dataBytes + 12)
            fail (4, "cannot read input '" + options.input + "': the file is truncated");
        if (options.rate <= 0)
            options.rate = reader->sampleRate;
        else if (std::abs (options.rate - reader->sampleRate) > 0.5)
            fail (2, "input '" + options.input + "' is " + juce::String (reader->sampleRate) +
                         " Hz; leave out --rate or pass --rate " + juce::String (reader->sampleRate));
        if (options.seconds <= 0)
            options.seconds = (double) reader->lengthInSamples / reader->sampleRate;
    }
    if (options.rate <= 0)
        options.rate = 48000.0;
    if (options.seconds <= 0)
        options.seconds = 8.0;

    // The plug-in, loaded from its bundle by JUCE's VST3 host.
    const juce::File bundle = juce::File::getCurrentWorkingDirectory().getChildFile (options.plugin);
    if (! bundle.exists())
        fail (3, "no plug-in at '" + bundle.getFullPathName() + "' (build it with ./kestrune build, or pass --plugin)");

    juce::AudioPluginFormatManager pluginFormats;
    pluginFormats.addFormat (new juce::VST3PluginFormat());
    juce::OwnedArray<juce::PluginDescription> found;
    for (auto* format : pluginFormats.getFormats())
        format->findAllTypesForFile (found, bundle.getFullPathName());
    if (found.isEmpty())
        fail (3, "'" + bundle.getFullPathName() + "' is not a loadable VST3 plug-in");

    juce::String error;
    auto plugin = pluginFormats.createPluginInstance (*found[0], options.rate, options.block, error);
    if (plugin == nullptr)
        fail (3, "cannot load '" + bundle.getFullPathName() + "': " + error);

    const auto set = options.channels == 1 ? juce::AudioChannelSet::mono() : juce::AudioChannelSet::stereo();
    juce::AudioProcessor::BusesLayout layout;
    layout.inputBuses.add (set);
    layout.outputBuses.add (set);
    if (! plugin->setBusesLayout (layout))
        fail (1, "the plug-in refused a " + set.getDescription() + " layout");
    plugin->setNonRealtime (true);
    plugin->prepareToPlay (options.rate, options.block);

    // Fixed settings, through the host's text conversion.
    for (const auto& [id, text] : options.sets)
    {
        auto* p = findParameter (*plugin, id);
        if (p == nullptr)
            fail (2, "unknown parameter '" + id + "' (known: noise tone mix freq width peak input output)");
        p->setValueNotifyingHost (p->getValueForText (text));
    }

    struct Lane
    {
        render::Ramp ramp;
        juce::AudioProcessorParameter* parameter;
    };
    std::vector<Lane> lanes;
    for (const auto& ramp : options.ramps)
    {
        auto* p = findParameter (*plugin, ramp.id);
        if (p == nullptr)
            fail (2,
                  "unknown parameter '" + ramp.id + "' in --ramp (known: noise tone mix freq width peak input output)");
        lanes.push_back ({ ramp, p });
    }

    // Output.
    const juce::File outFile = juce::File::getCurrentWorkingDirectory().getChildFile (options.output);
    outFile.getParentDirectory().createDirectory();
    outFile.deleteFile();
    std::unique_ptr<juce::AudioFormatWriter> writer;
    {
        auto stream = std::make_unique<juce::FileOutputStream> (outFile);
        if (! stream->openedOk())
            fail (1, "cannot write '" + outFile.getFullPathName() + "'");
        juce::WavAudioFormat wav;
        writer.reset (
            wav.createWriterFor (stream.get(), options.rate, (unsigned int) options.channels, options.bits, {}, 0));
        if (writer == nullptr)
            fail (1, "cannot write a " + juce::String (options.bits) + "-bit WAV");
        stream.release();
    }

    const auto totalSamples = (juce::int64) std::llround (options.seconds * options.rate);
    juce::AudioBuffer<float> buffer (options.channels, options.block);
    juce::MidiBuffer midi;
    render::SpectrogramBuilder spectrogram (options.rate);
    Progress progress (isatty (2) && options.seconds > 1.0 && ! options.quiet);
    double peak = 0.0, sumSquares = 0.0;

    for (juce::int64 start = 0; start < totalSamples; start += options.block)
    {
        const int n = (int) std::min<juce::int64> (options.block, totalSamples - start);
        buffer.setSize (options.channels, n, false, false, true);

        if (reader != nullptr)
        {
            buffer.clear();
            juce::AudioBuffer<float> fileBlock ((int) reader->numChannels, n);
            reader->read (&fileBlock, 0, n, start, true, true);
            for (int ch = 0; ch < options.channels; ++ch)
                buffer.copyFrom (ch, 0, fileBlock, std::min (ch, (int) reader->numChannels - 1), 0, n);
        }
        else if (options.input == "pink-loop")
            generatePattern (buffer, options.rate, start);
        else
            buffer.clear();

        // Automation: each lane's value at the start of the block, as a host sends it.
        const double t = (double) start / (double) std::max<juce::int64> (1, totalSamples - 1);
        for (auto& lane : lanes)
            lane.parameter->setValueNotifyingHost (
                lane.parameter->getValueForText (juce::String (lane.ramp.valueAt (t), 4)));

        plugin->processBlock (buffer, midi);
        midi.clear();

        for (int ch = 0; ch < options.channels; ++ch)
            for (int i = 0; i < n; ++i)
            {
                const double v = buffer.getSample (ch, i);
                peak = std::max (peak, std::abs (v));
                sumSquares += v * v;
            }
        if (options.spectrogramPath.isNotEmpty())
            spectrogram.add (buffer);

        writer->writeFromAudioSampleBuffer (buffer, 0, n);
        progress.update ((double) (start + n) / (double) totalSamples);
    }
    progress.finish();
    writer.reset();
    plugin->releaseResources();
    plugin.reset();

    const auto toDb = [] (double v) { return v > 0.0 ? 20.0 * std::log10 (v) : -999.0; };
    const double rms = std::sqrt (sumSquares / std::max<double> (1.0, (double) totalSamples * options.channels));

    if (options.spectrogramPath.isNotEmpty())
    {
        const auto pictureFile = juce::File::getCurrentWorkingDirectory().getChildFile (options.spectrogramPath);
        if (! spectrogram.write (pictureFile, options.pictureWidth, options.pictureHeight))
            fail (1, "cannot write '" + pictureFile.getFullPathName() + "'");
        if (! options.quiet)
            std::cout << "spectrogram: " << pictureFile.getFullPathName() << "\n";
    }

    if (! options.quiet)
    {
        std::cout << "rendered " << juce::String (options.seconds, 2) << " s at " << options.rate << " Hz, "
                  << (options.channels == 1 ? "mono" : "stereo") << ", " << options.block << "-frame blocks\n"
                  << "peak " << juce::String (toDb (peak), 1) << " dBFS, RMS " << juce::String (toDb (rms), 1)
                  << " dBFS\n"
                  << "audio: " << outFile.getFullPathName() << "\n";
    }
    return 0;
}
