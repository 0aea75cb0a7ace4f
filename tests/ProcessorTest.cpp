#include "AllocationCounter.h"

#include <plugin/PluginProcessor.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

namespace
{
juce::RangedAudioParameter& parameter (TWKestruneAudioProcessor& processor, const juce::String& id)
{
    auto* p = processor.parameters.getParameter (id);
    if (p == nullptr)
        throw std::runtime_error ("no parameter " + id.toStdString());
    return *p;
}

void setPlain (TWKestruneAudioProcessor& processor, const juce::String& id, float value)
{
    auto& p = parameter (processor, id);
    p.setValueNotifyingHost (p.convertTo0to1 (value));
}

float plain (TWKestruneAudioProcessor& processor, const juce::String& id)
{
    return processor.parameters.getRawParameterValue (id)->load();
}

const juce::String* const allIDs[] = { &Parameters::noiseID, &Parameters::toneID,  &Parameters::mixID,
                                       &Parameters::freqID,  &Parameters::widthID, &Parameters::peakID,
                                       &Parameters::inputID, &Parameters::outputID };

juce::MemoryBlock saveState (TWKestruneAudioProcessor& processor)
{
    juce::MemoryBlock block;
    processor.getStateInformation (block);
    return block;
}

std::vector<float> allValues (TWKestruneAudioProcessor& processor)
{
    std::vector<float> values;
    for (auto* id : allIDs)
        values.push_back (plain (processor, *id));
    return values;
}

std::vector<float> engineFields (TWKestruneAudioProcessor& processor)
{
    auto& e = processor.engine;
    return { e.noiseDb, e.tone, e.mix, e.freq, e.width, e.peakDb, e.inputDb, e.outputDb };
}

// Counts the change notifications that reach the processor.
class CountingProcessor : public TWKestruneAudioProcessor
{
public:
    void parameterChanged (const juce::String& id, float value) override
    {
        ++changes;
        TWKestruneAudioProcessor::parameterChanged (id, value);
    }

    int changes = 0;
};
} // namespace

//==============================================================================
TEST (Parameters, IdentityRangesAndDefaults)
{
    struct Row
    {
        const char* id;
        const char* name;
        float start, end, interval, skew, defaultValue;
    };
    const Row rows[] = {
        { "noise", "Noise", -36.0f, 0.0f, 0.01f, 1.0f, -6.0f },
        { "tone", "Tone", 0.0f, 2.0f, 1.0f, 1.0f, 0.0f },
        { "mix", "Mix", 0.0f, 100.0f, 0.01f, 1.0f, 50.0f },
        { "freq", "Freq", 20.0f, 20000.0f, 1.0f, 0.5f, 800.0f },
        { "width", "Width", 0.1f, 4.0f, 0.01f, 1.0f, 1.0f },
        { "peak", "Peak", 0.0f, 24.0f, 0.01f, 1.0f, 0.0f },
        { "input", "Input", -24.0f, 24.0f, 0.01f, 1.0f, 0.0f },
        { "output", "Output", -24.0f, 24.0f, 0.01f, 1.0f, 0.0f },
    };

    TWKestruneAudioProcessor processor;
    const auto& list = processor.getParameters();
    ASSERT_EQ (list.size(), 8);

    for (int i = 0; i < 8; ++i)
    {
        const auto& row = rows[i];
        auto* p = dynamic_cast<juce::AudioParameterFloat*> (list[i]);
        ASSERT_NE (p, nullptr) << row.id;
        EXPECT_EQ (p->getParameterID(), row.id);
        EXPECT_EQ (p->getName (100), row.name);
        EXPECT_EQ (p->getLabel(), "");
        EXPECT_EQ (p->range.start, row.start) << row.id;
        EXPECT_EQ (p->range.end, row.end) << row.id;
        EXPECT_EQ (p->range.interval, row.interval) << row.id;
        EXPECT_EQ (p->range.skew, row.skew) << row.id;
        EXPECT_FALSE (p->range.symmetricSkew) << row.id;
        EXPECT_EQ (p->get(), row.defaultValue) << row.id;
        EXPECT_EQ (p->convertFrom0to1 (static_cast<juce::AudioProcessorParameter*> (p)->getDefaultValue()),
                   row.defaultValue)
            << row.id;
        EXPECT_TRUE (p->isAutomatable());
        EXPECT_FALSE (p->isMetaParameter());
        EXPECT_EQ (p->getCategory(), juce::AudioProcessorParameter::genericParameter);
        EXPECT_EQ (p->getVersionHint(), 1);
    }
    EXPECT_EQ (processor.parameters.state.getType().toString(), "PARAMETERS");
}

TEST (Parameters, FreqSkewGivesTheLowEndMoreTravel)
{
    TWKestruneAudioProcessor processor;
    auto& freq = parameter (processor, Parameters::freqID);
    EXPECT_EQ (freq.convertFrom0to1 (0.5f), 5015.0f);
    EXPECT_NEAR (freq.convertTo0to1 (800.0f), 0.1976f, 0.0001f);
}

TEST (Parameters, ValueToTextAndBack)
{
    TWKestruneAudioProcessor processor;

    struct ToText
    {
        const juce::String* id;
        float value;
        const char* text;
    };
    const ToText toText[] = {
        { &Parameters::noiseID, -6.0f, "-6.00" },
        { &Parameters::toneID, 0.0f, "W" },
        { &Parameters::mixID, 50.0f, "50.00" },
        { &Parameters::freqID, 800.0f, "800.00" },
        { &Parameters::widthID, 1.0f, "1.00" },
        { &Parameters::peakID, 0.0f, "0" },
        { &Parameters::inputID, 0.0f, "0" },
        { &Parameters::outputID, 0.0f, "0" },
        { &Parameters::noiseID, -36.0f, "-36.00" },
        { &Parameters::noiseID, 0.0f, "0" },
        { &Parameters::freqID, 20000.0f, "20000.00" },
        { &Parameters::widthID, 0.1f, "0.10" },
        { &Parameters::inputID, -24.0f, "-24.00" },
        { &Parameters::peakID, 24.0f, "24.00" },
        { &Parameters::mixID, 0.01f, "0.01" },
        { &Parameters::toneID, 1.0f, "P" },
        { &Parameters::toneID, 2.0f, "B" },
    };
    for (const auto& row : toText)
    {
        auto& p = parameter (processor, *row.id);
        EXPECT_EQ (p.getText (p.convertTo0to1 (row.value), 1), row.text) << *row.id << " " << row.value;
    }

    // The numeric text function itself, on values the ranges would snap away.
    for (float tiny : { 0.004f, -0.004f })
        EXPECT_EQ (Parameters::numberToText (tiny, 10), "0") << tiny;

    struct FromText
    {
        const juce::String* id;
        const char* text;
        float value;
    };
    const FromText fromText[] = {
        { &Parameters::mixID, "0", 0.0f },     { &Parameters::mixID, "12.5", 12.5f },
        { &Parameters::freqID, "abc", 20.0f }, { &Parameters::noiseID, "-3", -3.0f },
        { &Parameters::toneID, "P", 1.0f },    { &Parameters::toneID, "B", 2.0f },
        { &Parameters::toneID, "p", 0.0f },    { &Parameters::toneID, "White", 0.0f },
        { &Parameters::toneID, "", 0.0f },     { &Parameters::freqID, "1234.4 Hz", 1234.0f },
    };
    for (const auto& row : fromText)
    {
        auto& p = parameter (processor, *row.id);
        EXPECT_EQ (p.convertFrom0to1 (p.getValueForText (row.text)), row.value) << *row.id << " '" << row.text << "'";
    }
}

TEST (Parameters, EachSingleChangeRefreshesAllEightEngineFieldsOnce)
{
    CountingProcessor processor;
    EXPECT_EQ (processor.changes, 0);

    const std::pair<const juce::String*, float> changes[] = {
        { &Parameters::noiseID, -12.0f }, { &Parameters::toneID, 2.0f },   { &Parameters::mixID, 75.0f },
        { &Parameters::freqID, 4321.0f }, { &Parameters::widthID, 2.5f },  { &Parameters::peakID, 9.0f },
        { &Parameters::inputID, -3.0f },  { &Parameters::outputID, 4.5f },
    };
    int expected = 0;
    for (const auto& [id, value] : changes)
    {
        // Scribble over the engine so the refresh is visible.
        for (auto* field : { &processor.engine.noiseDb, &processor.engine.tone, &processor.engine.mix,
                             &processor.engine.freq, &processor.engine.width, &processor.engine.peakDb,
                             &processor.engine.inputDb, &processor.engine.outputDb })
            *field = 999.0f;

        setPlain (processor, *id, value);
        EXPECT_EQ (processor.changes, ++expected) << *id;
        EXPECT_EQ (engineFields (processor), allValues (processor)) << *id;
    }
}

//==============================================================================
TEST (Processor, IdentityProgramsAndMidiAnswers)
{
    TWKestruneAudioProcessor processor;
    EXPECT_EQ (processor.getName(), "Kestrune");
    EXPECT_EQ (processor.getTailLengthSeconds(), 0.0);
    EXPECT_FALSE (processor.acceptsMidi());
    EXPECT_FALSE (processor.producesMidi());
    EXPECT_FALSE (processor.isMidiEffect());
    EXPECT_TRUE (processor.hasEditor());
    EXPECT_EQ (processor.getLatencySamples(), 0);
    EXPECT_FALSE (processor.supportsDoublePrecisionProcessing());

    EXPECT_EQ (processor.getNumPrograms(), 1);
    EXPECT_EQ (processor.getCurrentProgram(), 0);
    for (int index : { -1, 0, 1, 7 })
    {
        processor.setCurrentProgram (index);
        processor.changeProgramName (index, "Renamed");
        EXPECT_EQ (processor.getCurrentProgram(), 0);
        EXPECT_EQ (processor.getProgramName (index), "Default");
    }
}

TEST (Processor, GainStagesScaleByTheirDecibels)
{
    for (float db : { 0.0f, -24.0f, 24.0f })
        for (bool isInput : { true, false })
        {
            TWKestruneAudioProcessor processor;
            processor.prepareToPlay (48000.0, 64);
            setPlain (processor, Parameters::mixID, 0.0f);
            setPlain (processor, Parameters::peakID, 0.0f);
            setPlain (processor, isInput ? Parameters::inputID : Parameters::outputID, db);

            juce::AudioBuffer<float> buffer (2, 64);
            for (int ch = 0; ch < 2; ++ch)
                for (int i = 0; i < 64; ++i)
                    buffer.setSample (ch, i, 0.01f * (float) ((i % 13) - 6));
            const juce::AudioBuffer<float> input (buffer);
            juce::MidiBuffer midi;
            processor.processBlock (buffer, midi);

            const float factor = std::pow (10.0f, 0.05f * db);
            for (int ch = 0; ch < 2; ++ch)
                for (int i = 0; i < 64; ++i)
                    ASSERT_NEAR (buffer.getSample (ch, i), input.getSample (ch, i) * factor, 1e-5f * factor)
                        << (isInput ? "input " : "output ") << db << " dB";
        }
}

TEST (Processor, EmptyBlocksStillReachTheEngineAndMidiIsLeftAlone)
{
    TWKestruneAudioProcessor processor;
    processor.prepareToPlay (44100.0, 128);
    setPlain (processor, Parameters::freqID, 3000.0f);

    juce::MidiBuffer midi;
    midi.addEvent (juce::MidiMessage::noteOn (1, 60, (juce::uint8) 100), 3);
    midi.addEvent (juce::MidiMessage::controllerEvent (2, 7, 64), 10);
    const juce::MidiBuffer midiBefore (midi);

    for (const auto& [channels, samples] : { std::pair{ 2, 0 }, std::pair{ 0, 128 }, std::pair{ 0, 0 } })
    {
        juce::AudioBuffer<float> buffer (channels, samples);
        processor.processBlock (buffer, midi);
    }
    const auto expected = juce::dsp::IIR::Coefficients<float>::makeBandPass (44100.0, 3000.0f, 1.0f);
    EXPECT_EQ (std::vector<float> (processor.engine.bandPassFilter[0].coefficients.begin(),
                                   processor.engine.bandPassFilter[0].coefficients.end()),
               std::vector<float> (expected->coefficients.begin(), expected->coefficients.end()));

    juce::AudioBuffer<float> buffer (2, 128);
    buffer.clear();
    processor.processBlock (buffer, midi);

    ASSERT_EQ (midi.getNumEvents(), midiBefore.getNumEvents());
    auto a = midi.begin();
    for (const auto meta : midiBefore)
    {
        const auto other = *a++;
        EXPECT_EQ (meta.samplePosition, other.samplePosition);
        EXPECT_EQ (meta.getMessage().getDescription(), other.getMessage().getDescription());
    }
}

TEST (Processor, ProcessBlockAllocatesNothingAfterPrepare)
{
    if (! allocations::available)
        GTEST_SKIP() << "allocations are not counted in sanitizer builds";

    TWKestruneAudioProcessor processor;
    processor.prepareToPlay (48000.0, 512);
    juce::AudioBuffer<float> buffer (2, 512);
    juce::MidiBuffer midi;
    std::mt19937 rng (2);
    std::uniform_real_distribution<float> dist (-1.0f, 1.0f);

    std::size_t allocated = 0;
    for (int block = 0; block < 300; ++block)
    {
        for (int ch = 0; ch < 2; ++ch)
            for (int i = 0; i < 512; ++i)
                buffer.setSample (ch, i, dist (rng));
        processor.engine.inputDb = (float) (block % 7) - 3.0f;
        processor.engine.outputDb = (float) (block % 5) - 2.0f;

        allocations::Counting counting;
        processor.processBlock (buffer, midi);
        allocated += counting.allocations();
    }
    EXPECT_EQ (allocated, 0u);
}

// After loud, resonant audio, ten seconds of silence with mix 0: the peaking filter's state
// dies away, but no output sample is ever subnormal (denormals are flushed per block).
TEST (Processor, SilenceAfterAudioGivesNoSubnormalOutput)
{
    TWKestruneAudioProcessor processor;
    processor.prepareToPlay (48000.0, 480);
    setPlain (processor, Parameters::peakID, 24.0f);
    setPlain (processor, Parameters::widthID, 4.0f);
    setPlain (processor, Parameters::freqID, 60.0f);

    juce::AudioBuffer<float> buffer (2, 480);
    juce::MidiBuffer midi;
    std::mt19937 rng (6);
    std::uniform_real_distribution<float> dist (-1.0f, 1.0f);
    for (int block = 0; block < 100; ++block)
    {
        for (int ch = 0; ch < 2; ++ch)
            for (int i = 0; i < 480; ++i)
                buffer.setSample (ch, i, dist (rng));
        processor.processBlock (buffer, midi);
    }

    setPlain (processor, Parameters::mixID, 0.0f);
    long subnormal = 0, nonZero = 0;
    for (int block = 0; block < 1000; ++block)
    {
        buffer.clear();
        processor.processBlock (buffer, midi);
        for (int ch = 0; ch < 2; ++ch)
            for (int i = 0; i < 480; ++i)
            {
                const float v = buffer.getSample (ch, i);
                subnormal += std::fpclassify (v) == FP_SUBNORMAL;
                nonZero += v != 0.0f;
            }
    }
    EXPECT_EQ (subnormal, 0);
    EXPECT_GT (nonZero, 0); // the filter really was ringing out
}

//==============================================================================
TEST (State, BlobLayoutHoldsTheEightDefaultsOnOneLine)
{
    TWKestruneAudioProcessor processor;
    const auto blob = saveState (processor);
    const auto* bytes = static_cast<const juce::uint8*> (blob.getData());

    ASSERT_GT (blob.getSize(), 9u);
    EXPECT_EQ (std::memcmp (bytes, "VC2!", 4), 0);
    EXPECT_EQ (juce::ByteOrder::littleEndianInt (bytes + 4), (juce::uint32) blob.getSize() - 9);
    EXPECT_EQ (bytes[blob.getSize() - 1], 0);

    const juce::String text (juce::CharPointer_UTF8 (reinterpret_cast<const char*> (bytes + 8)));
    EXPECT_TRUE (text.startsWith ("<?xml version=\"1.0\" encoding=\"UTF-8\"?> <PARAMETERS>")) << text;
    EXPECT_FALSE (text.containsAnyOf ("\r\n"));

    const auto xml = juce::parseXML (text);
    ASSERT_NE (xml, nullptr);
    EXPECT_EQ (xml->getNumChildElements(), 8);
    const std::pair<const char*, double> defaults[] = { { "noise", -6.0 }, { "tone", 0.0 },  { "mix", 50.0 },
                                                        { "freq", 800.0 }, { "width", 1.0 }, { "peak", 0.0 },
                                                        { "input", 0.0 },  { "output", 0.0 } };
    for (const auto& [id, value] : defaults)
    {
        auto* child = xml->getChildByAttribute ("id", id);
        ASSERT_NE (child, nullptr) << id;
        EXPECT_EQ (child->getTagName(), "PARAM");
        EXPECT_DOUBLE_EQ (child->getDoubleAttribute ("value"), value) << id;
    }
}

TEST (State, RoundTripRestoresParametersAndEngine)
{
    TWKestruneAudioProcessor processor;
    const float saved[] = { -20.0f, 1.0f, 33.33f, 1500.0f, 3.3f, 12.5f, -7.25f, 6.0f };
    for (size_t i = 0; i < 8; ++i)
        setPlain (processor, *allIDs[i], saved[i]);
    const auto expected = allValues (processor); // as snapped by the ranges
    const auto blob = saveState (processor);

    for (size_t i = 0; i < 8; ++i)
        setPlain (processor, *allIDs[i], parameter (processor, *allIDs[i]).convertFrom0to1 (0.9f));
    processor.setStateInformation (blob.getData(), (int) blob.getSize());
    EXPECT_EQ (allValues (processor), expected);
    EXPECT_EQ (engineFields (processor), allValues (processor));

    TWKestruneAudioProcessor fresh;
    fresh.setStateInformation (blob.getData(), (int) blob.getSize());
    EXPECT_EQ (allValues (fresh), allValues (processor));
}

namespace
{
juce::MemoryBlock blobWithText (const juce::String& text, juce::uint32 magic = 0x21324356, int lengthDelta = 0)
{
    juce::MemoryOutputStream out;
    out.writeInt ((int) magic);
    out.writeInt ((int) text.getNumBytesAsUTF8() + lengthDelta);
    out.write (text.toRawUTF8(), text.getNumBytesAsUTF8());
    out.writeByte (0);
    return out.getMemoryBlock();
}

const juce::String changedTree = "<?xml version=\"1.0\" encoding=\"UTF-8\"?> <PARAMETERS>"
                                 "<PARAM id=\"mix\" value=\"12.0\"/><PARAM id=\"freq\" value=\"4000.0\"/>"
                                 "</PARAMETERS>";
} // namespace

TEST (State, RejectedBlobsChangeNothing)
{
    TWKestruneAudioProcessor reference;
    const auto good = saveState (reference);

    std::vector<std::pair<std::string, juce::MemoryBlock>> cases;
    for (size_t size = 0; size <= 8; ++size)
        cases.emplace_back ("first " + std::to_string (size) + " bytes", juce::MemoryBlock (good.getData(), size));
    cases.emplace_back ("wrong magic", blobWithText (changedTree.replace ("PARAMETERS", "PARAMETERS"), 0x21324357));
    cases.emplace_back ("length 0", blobWithText (changedTree, 0x21324356, -(int) changedTree.getNumBytesAsUTF8()));
    cases.emplace_back ("negative length", blobWithText (changedTree, 0x21324356, -100000));
    cases.emplace_back ("not XML", blobWithText ("this is not a saved state"));
    cases.emplace_back ("other root", blobWithText (changedTree.replace ("PARAMETERS", "SETTINGS")));
    // Text cut inside a multi-byte character is not valid UTF-8, so it is not a saved state.
    const auto rawBlob = [] (const std::string& text)
    {
        juce::MemoryOutputStream out;
        out.writeInt (0x21324356);
        out.writeInt ((int) text.size());
        out.write (text.data(), text.size());
        out.writeByte (0);
        return out.getMemoryBlock();
    };
    const std::string tree = changedTree.toStdString();
    cases.emplace_back ("cut UTF-8", rawBlob (tree.substr (0, tree.size() - 13) + "<a>\xc3"));
    cases.emplace_back ("bad UTF-8 lead", rawBlob (tree.substr (0, 60) + "\xf4\x80" + tree.substr (60)));
    cases.emplace_back ("lead byte where a continuation belongs",
                        rawBlob (tree.substr (0, 30) + "\xdd\xdd" + tree.substr (30)));
    cases.emplace_back ("overlong form", rawBlob (tree.substr (0, 30) + "\xc0\xaf" + tree.substr (30)));

    for (const auto& [name, blob] : cases)
    {
        TWKestruneAudioProcessor processor;
        setPlain (processor, Parameters::widthID, 2.0f);
        const auto before = allValues (processor);
        processor.setStateInformation (blob.getData(), (int) blob.getSize());
        EXPECT_EQ (allValues (processor), before) << name;
    }
}

// Malformed XML that kept the framework's XML reader busy for minutes (found by fuzzing)
// is not plain XML, so it is refused without being parsed.
TEST (State, MalformedXmlIsRefusedWithoutParsing)
{
    const std::string text (
        "\x3c\x3f\x78\x6d\x6c\x20\x76\x65\x72\x3c\x50\x41\x52\x41\x4d\x20\x69\x64\x3f\x20\x3c\x41\x4d\x2e"
        "\x30\x22\x2f\x3e\x3c\x50\x41\x3e\x3c\x73\x69\x6f\x6e\x3d\x22\x31\x2e\x30\x22\x6f\x63\x6e\x20\x65"
        "\x64\x69\x6e\x67\x3d\x22\x55\x54\x46\x2d\x38\x22\x67\x3d\x22\x55\x54\x46\x2d\x38\x22\x3f\x3e\x20"
        "\x3c\x50\x41\x52\x41\x4d\x45\x54\x45\x52\x53\x3e\x3c\x50\x41\x52\x41\x4d\x20\x69\x64\x3d\x22\x66"
        "\x72\x65\x71\x22\x20\x76\x61\x6c\x75\x65\x3d\x22\x38\x30\x30\x2e\x30\x22\x2f\x3e\x3c\x50\x41\x52"
        "\x41\x4d\x20\x69\x64\x3d\x22\x69\x6e\x70\x75\x74\x22\x20\x76\x61\x6c\x75\x65\x3d\x22\x30\x2e\x30"
        "\x22\x2f\x3e\x3c\x50\x41\x52\x41\x4d\x20\x3e\x3f\x3c\x50\x41\x2f\x3e\x20\x3c\x50\x41\x52\x41\x4d"
        "\x45\x55\x45\x52\x53\x3e\x3c\x50\x41\x52\x41\x4d\x20\x69\x64\x3d\x22\x66\x72\x65\x71\x22\x20\x76"
        "\x61\x6c\x75\x65\x3d\x22\x38\x30\x30\x2e\x30\x22\x2f\x3e\x3c\x50\x41\x52\x41\x4d\x20\x69\x64\x3d"
        "\x22\x69\x6e\x70\x75\x74\x22\x20\x76\x61\x6c\x75\x65\x3d\x22\x30\x2e\x30\x22\x2f\x3e\x3c\x50\x41"
        "\x52\x41\x4d\x20\x3e\x3c\x2f\x50\x41\x52\x41\x4d\x45\x38\x30\x30\x2e\x4e\x31\x30\x5f\x5f\x63\x78"
        "\x78\x61\x62\x69\x76\x31\x32\x31\x5f\x5f\x76\x6d\x69\x5f\x63\x6c\x61\x73\x73\x5f\x74\x79\x70\x65"
        "\x5f\x69\x6e\x66\x6f\x41\x4d\x45\x05\x45\x50\x2d\x41\x52\x41\x4d\x20\x69\x64\x3d\x22\x69\x6e\x70"
        "\x75\x74\x22\x20\x76\x61\x6c\x75\x65\x3d\x22\x30\x2e\x30\x22\x2f\x3e\x3c\x50\x41\x52\x41\x4d\x20"
        "\x3e\x3f\x3c\x50\x41\x2f\x3e\x20\x3c\x50\x41\x52\x72\x73\x69\x6f\x6e\x3d\x22\x31\x2e\x30\x22\x20"
        "\x65\x6e\x63\x6f\x64\x69\x6e\x67\x3d\x22\x55\x4d\x3c\x3f\x78\x6d\x6c\x20\x76\x65\x72\x73\x69\x6f"
        "\x6e\x3d\x22\x32\x2e\x30\x22\x20\x65\x6e\x63\x6f\x64\x69\x6e\x67\x3d\x22\x55\x54\x46\x2d\x38\x22"
        "\x3f\x3e\x20\x30\x2e\x30\x22\x2f\x3e\x3c\x50\x41\x52\x41\x4d\x20\x3e\x3c\x2f\x50\x22",
        429);
    juce::MemoryOutputStream out;
    out.writeInt (0x21324356);
    out.writeInt ((int) text.size());
    out.write (text.data(), text.size());
    const auto blob = out.getMemoryBlock();

    EXPECT_EQ (TWKestruneAudioProcessor::readStateXml (blob.getData(), (int) blob.getSize()), nullptr);
    TWKestruneAudioProcessor processor;
    const auto before = allValues (processor);
    processor.setStateInformation (blob.getData(), (int) blob.getSize());
    EXPECT_EQ (allValues (processor), before);
}

TEST (State, AcceptedVariantsRestore)
{
    const std::pair<std::string, juce::MemoryBlock> cases[] = {
        { "lower-case root", blobWithText (changedTree.replace ("PARAMETERS", "parameters")) },
        { "stored length beyond the data", blobWithText (changedTree, 0x21324356, 5000) },
    };
    for (const auto& [name, blob] : cases)
    {
        TWKestruneAudioProcessor processor;
        processor.setStateInformation (blob.getData(), (int) blob.getSize());
        EXPECT_EQ (plain (processor, Parameters::mixID), 12.0f) << name;
        EXPECT_EQ (plain (processor, Parameters::freqID), 4000.0f) << name;
        EXPECT_EQ (processor.engine.mix.load(), 12.0f) << name;
    }
}

TEST (State, ValuesThatReadAsNotANumberFallBackToTheDefault)
{
    for (const char* text : { "nan", "NaN", "-nan" })
    {
        const juce::String tree = juce::String ("<?xml version=\"1.0\" encoding=\"UTF-8\"?> <PARAMETERS>") +
                                  "<PARAM id=\"mix\" value=\"" + text + "\"/><PARAM id=\"freq\" value=\"inf\"/>" +
                                  "<PARAM id=\"peak\" value=\"7\"/></PARAMETERS>";
        const auto blob = blobWithText (tree);
        TWKestruneAudioProcessor processor;
        setPlain (processor, Parameters::mixID, 30.0f);
        processor.setStateInformation (blob.getData(), (int) blob.getSize());

        EXPECT_EQ (plain (processor, Parameters::mixID), 50.0f) << text;
        EXPECT_EQ (plain (processor, Parameters::freqID), 20000.0f) << text;
        EXPECT_EQ (plain (processor, Parameters::peakID), 7.0f) << text;
        for (float v : engineFields (processor))
            EXPECT_TRUE (std::isfinite (v)) << text;
    }
}

//==============================================================================
TEST (Layouts, AcceptsExactlyMonoToMonoAndStereoToStereo)
{
    using Set = juce::AudioChannelSet;
    const Set none, mono = Set::mono(), stereo = Set::stereo(), discrete2 = Set::discreteChannels (2),
                    surround = Set::create5point1(), leftOnly = Set::channelSetWithChannels ({ Set::left });

    struct Row
    {
        const char* name;
        std::vector<Set> ins, outs;
        bool accepted;
    };
    const Row rows[] = {
        { "stereo -> stereo", { stereo }, { stereo }, true },
        { "mono -> mono", { mono }, { mono }, true },
        { "mono -> stereo", { mono }, { stereo }, false },
        { "stereo -> mono", { stereo }, { mono }, false },
        { "discrete pair both ways", { discrete2 }, { discrete2 }, false },
        { "5.1 both ways", { surround }, { surround }, false },
        { "left-only one channel", { leftOnly }, { leftOnly }, false },
        { "output disabled", { stereo }, { none }, false },
        { "input disabled", { none }, { stereo }, false },
        { "no output bus", { stereo }, {}, false },
        { "no input bus", {}, { stereo }, false },
    };

    TWKestruneAudioProcessor processor;
    for (const auto& row : rows)
    {
        juce::AudioProcessor::BusesLayout layout;
        layout.inputBuses.addArray (row.ins.data(), (int) row.ins.size());
        layout.outputBuses.addArray (row.outs.data(), (int) row.outs.size());
        EXPECT_EQ (processor.isBusesLayoutSupported (layout), row.accepted) << row.name;
    }

    EXPECT_EQ (processor.getBusCount (true), 1);
    EXPECT_EQ (processor.getBusCount (false), 1);
    EXPECT_EQ (processor.getBus (true, 0)->getName(), "Input");
    EXPECT_EQ (processor.getBus (false, 0)->getName(), "Output");
    EXPECT_EQ (processor.getBus (true, 0)->getDefaultLayout(), stereo);
    EXPECT_FALSE (processor.canAddBus (true));
    EXPECT_FALSE (processor.canRemoveBus (false));
}
