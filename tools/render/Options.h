#pragma once

// Command-line options of kestrune-render.

#include <juce_core/juce_core.h>

#include <cmath>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace render
{
struct UsageError : std::runtime_error
{
    using std::runtime_error::runtime_error;
};

/** A parameter moving from one plain value to another over the whole render. */
struct Ramp
{
    juce::String id;
    double from = 0.0, to = 0.0;
    bool exponential = false;

    double valueAt (double t) const
    {
        t = juce::jlimit (0.0, 1.0, t);
        return exponential ? from * std::pow (to / from, t) : from + (to - from) * t;
    }
};

struct Options
{
    juce::String plugin;
    juce::String input = "pink-loop";
    juce::String output = "out/kestrune-render.wav";
    juce::String spectrogramPath;
    std::vector<std::pair<juce::String, juce::String>> sets;
    std::vector<Ramp> ramps;
    double seconds = 0.0; // 0: the input file's length, or 8 s
    double rate = 0.0;    // 0: the input file's rate, or 48 kHz
    int block = 256;
    int channels = 2;
    int bits = 32;
    int pictureWidth = 1200, pictureHeight = 600;
    bool quiet = false;
    bool help = false;
};

inline std::string usage()
{
    return R"(usage: kestrune-render [options]

Renders audio offline through Kestrune.vst3, loaded the way a DAW loads it.

  --plugin PATH          the Kestrune.vst3 bundle (default: this build's bundle, or
                         ~/.vst3/Kestrune.vst3 when there is no build)
  --in SOURCE            a WAV file, "silence" or "pink-loop" (default: pink-loop, a
                         120 BPM kick/snare/hat pattern)
  --out FILE.wav         where to write the result (default: out/kestrune-render.wav)
  --set ID=TEXT          set a parameter with the plug-in's own text conversion,
                         e.g. --set mix=60 --set tone=P (repeatable)
  --ramp ID=FROM:TO[:exp|:lin]
                         move a parameter from FROM to TO over the render, delivered
                         per block as host automation, e.g. --ramp freq=200:12000:exp
  --seconds S            length (default: the input file's length, or 8)
  --rate HZ              sample rate (default: the input file's rate, or 48000)
  --block N              block size in frames (default 256)
  --mono | --stereo      channel layout (default stereo)
  --bits 24|32           24-bit integer or 32-bit float WAV (default 32)
  --spectrogram FILE.png also draw a spectrogram (log frequency 20 Hz-20 kHz, dB colour)
  --size WxH             spectrogram size in pixels (default 1200x600)
  --quiet                print nothing but errors
  --help                 this text

Parameter IDs: noise tone mix freq width peak input output.
Exit codes: 0 done, 1 could not write or process, 2 bad arguments (unknown option or
parameter, malformed ramp or value), 3 plug-in missing or not loadable, 4 unreadable input.
)";
}

/** This build's bundle when it exists, otherwise the one installed for this user. */
inline juce::String defaultPlugin()
{
    const auto built = std::filesystem::weakly_canonical (KESTRUNE_DEFAULT_PLUGIN);
    if (std::filesystem::exists (built))
        return built.string();
    return juce::File::getSpecialLocation (juce::File::userHomeDirectory)
        .getChildFile (".vst3/Kestrune.vst3")
        .getFullPathName();
}

inline double number (const juce::String& text, const juce::String& what)
{
    const auto trimmed = text.trim();
    if (trimmed.isEmpty() || ! trimmed.containsOnly ("0123456789.-+eE"))
        throw UsageError ("malformed " + what.toStdString() + " '" + text.toStdString() + "'");
    return trimmed.getDoubleValue();
}

inline Ramp parseRamp (const juce::String& spec)
{
    const auto id = spec.upToFirstOccurrenceOf ("=", false, false).trim();
    const auto rest = spec.fromFirstOccurrenceOf ("=", false, false);
    auto parts = juce::StringArray::fromTokens (rest, ":", "");
    if (! spec.contains ("=") || id.isEmpty() || parts.size() < 2 || parts.size() > 3)
        throw UsageError ("malformed ramp '" + spec.toStdString() + "' (expected ID=FROM:TO[:exp|:lin])");

    Ramp ramp;
    ramp.id = id;
    ramp.from = number (parts[0], "ramp start in '" + spec + "'");
    ramp.to = number (parts[1], "ramp end in '" + spec + "'");
    if (parts.size() == 3)
    {
        if (parts[2] == "exp")
            ramp.exponential = true;
        else if (parts[2] != "lin")
            throw UsageError ("malformed ramp '" + spec.toStdString() + "': the shape is exp or lin");
    }
    if (ramp.exponential && (ramp.from <= 0.0 || ramp.to <= 0.0))
        throw UsageError ("malformed ramp '" + spec.toStdString() + "': an exp ramp needs two positive ends");
    return ramp;
}

inline Options parse (int argc, char** argv)
{
    Options o;
    o.plugin = defaultPlugin();

    for (int i = 1; i < argc; ++i)
    {
        const juce::String arg (argv[i]);
        auto value = [&]() -> juce::String
        {
            if (i + 1 >= argc)
                throw UsageError ("option " + arg.toStdString() + " needs a value");
            return juce::String (argv[++i]);
        };

        if (arg == "--help" || arg == "-h")
            o.help = true;
        else if (arg == "--plugin")
            o.plugin = value();
        else if (arg == "--in")
            o.input = value();
        else if (arg == "--out")
            o.output = value();
        else if (arg == "--spectrogram")
            o.spectrogramPath = value();
        else if (arg == "--set")
        {
            const auto spec = value();
            if (! spec.contains ("=") || spec.upToFirstOccurrenceOf ("=", false, false).trim().isEmpty())
                throw UsageError ("malformed setting '" + spec.toStdString() + "' (expected ID=TEXT)");
            o.sets.emplace_back (spec.upToFirstOccurrenceOf ("=", false, false).trim(),
                                 spec.fromFirstOccurrenceOf ("=", false, false));
        }
        else if (arg == "--ramp")
            o.ramps.push_back (parseRamp (value()));
        else if (arg == "--seconds")
        {
            o.seconds = number (value(), "length");
            if (! (o.seconds > 0.0 && o.seconds <= 3600.0))
                throw UsageError ("the length must be above 0 and at most 3600 seconds");
        }
        else if (arg == "--rate")
        {
            o.rate = number (value(), "sample rate");
            if (! (o.rate >= 1000.0 && o.rate <= 1536000.0))
                throw UsageError ("the sample rate must be between 1000 and 1536000 Hz");
        }
        else if (arg == "--block")
        {
            o.block = (int) number (value(), "block size");
            if (o.block < 1 || o.block > 65536)
                throw UsageError ("the block size must be between 1 and 65536 frames");
        }
        else if (arg == "--mono")
            o.channels = 1;
        else if (arg == "--stereo")
            o.channels = 2;
        else if (arg == "--bits")
        {
            o.bits = (int) number (value(), "bit depth");
            if (o.bits != 24 && o.bits != 32)
                throw UsageError ("the bit depth is 24 or 32");
        }
        else if (arg == "--size")
        {
            const auto spec = value();
            o.pictureWidth = spec.upToFirstOccurrenceOf ("x", false, true).getIntValue();
            o.pictureHeight = spec.fromFirstOccurrenceOf ("x", false, true).getIntValue();
            if (o.pictureWidth < 320 || o.pictureHeight < 200 || o.pictureWidth > 8000 || o.pictureHeight > 8000)
                throw UsageError ("malformed size '" + spec.toStdString() + "' (expected WxH, at least 320x200)");
        }
        else if (arg == "--quiet" || arg == "-q")
            o.quiet = true;
        else
            throw UsageError ("unknown option '" + arg.toStdString() + "' (try --help)");
    }
    return o;
}
} // namespace render
