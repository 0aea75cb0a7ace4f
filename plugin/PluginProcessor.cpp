#include "PluginProcessor.h"

#include <editor/PluginEditor.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

namespace
{
std::unique_ptr<juce::AudioParameterFloat> makeParameter (const juce::String& id, const juce::String& name, float start,
                                                          float end, float interval, float skew, float defaultValue,
                                                          bool showsColour = false)
{
    auto attributes =
        juce::AudioParameterFloatAttributes()
            .withStringFromValueFunction (showsColour ? Parameters::colourToText : Parameters::numberToText)
            .withValueFromStringFunction (showsColour ? Parameters::textToColour : Parameters::textToNumber);

    return std::make_unique<juce::AudioParameterFloat> (juce::ParameterID{ id, 1 }, name,
                                                        juce::NormalisableRange<float> (start, end, interval, skew),
                                                        defaultValue, attributes);
}

const juce::String* const parameterOrder[] = { &Parameters::noiseID, &Parameters::toneID,  &Parameters::mixID,
                                               &Parameters::freqID,  &Parameters::widthID, &Parameters::peakID,
                                               &Parameters::inputID, &Parameters::outputID };
} // namespace

//==============================================================================
TWKestruneAudioProcessor::TWKestruneAudioProcessor()
    : AudioProcessor (BusesProperties()
                          .withInput ("Input", juce::AudioChannelSet::stereo(), true)
                          .withOutput ("Output", juce::AudioChannelSet::stereo(), true))
    , parameters (*this, nullptr, "PARAMETERS", createParameterLayout())
{
    for (size_t i = 0; i < rawValues.size(); ++i)
        rawValues[i] = parameters.getRawParameterValue (*parameterOrder[i]);

    for (auto* id : parameterOrder)
        parameters.addParameterListener (*id, this);
}

TWKestruneAudioProcessor::~TWKestruneAudioProcessor()
{
    for (auto* id : parameterOrder)
        parameters.removeParameterListener (*id, this);
}

juce::AudioProcessorValueTreeState::ParameterLayout TWKestruneAudioProcessor::createParameterLayout()
{
    using namespace Parameters;

    std::vector<std::unique_ptr<juce::RangedAudioParameter>> list;
    list.push_back (makeParameter (noiseID, noiseName, -36.0f, 0.0f, 0.01f, 1.0f, -6.0f));
    list.push_back (makeParameter (toneID, toneName, 0.0f, 2.0f, 1.0f, 1.0f, 0.0f, true));
    list.push_back (makeParameter (mixID, mixName, 0.0f, 100.0f, 0.01f, 1.0f, 50.0f));
    list.push_back (makeParameter (freqID, freqName, 20.0f, 20000.0f, 1.0f, 0.5f, 800.0f));
    list.push_back (makeParameter (widthID, widthName, 0.1f, 4.0f, 0.01f, 1.0f, 1.0f));
    list.push_back (makeParameter (peakID, peakName, 0.0f, 24.0f, 0.01f, 1.0f, 0.0f));
    list.push_back (makeParameter (inputID, inputName, -24.0f, 24.0f, 0.01f, 1.0f, 0.0f));
    list.push_back (makeParameter (outputID, outputName, -24.0f, 24.0f, 0.01f, 1.0f, 0.0f));

    return { std::make_move_iterator (list.begin()), std::make_move_iterator (list.end()) };
}

void TWKestruneAudioProcessor::updateParameters()
{
    std::atomic<float>* const fields[] = { &engine.noiseDb, &engine.tone,   &engine.mix,     &engine.freq,
                                           &engine.width,   &engine.peakDb, &engine.inputDb, &engine.outputDb };

    for (size_t i = 0; i < rawValues.size(); ++i)
        fields[i]->store (rawValues[i]->load (std::memory_order_relaxed), std::memory_order_relaxed);
}

void TWKestruneAudioProcessor::parameterChanged (const juce::String&, float)
{
    updateParameters();
}

//==============================================================================
const juce::String TWKestruneAudioProcessor::getName() const
{
    return "Kestrune";
}

void TWKestruneAudioProcessor::prepareToPlay (double sampleRate, int samplesPerBlock)
{
    engine.prepare (sampleRate, samplesPerBlock);
    updateParameters();
}

void TWKestruneAudioProcessor::releaseResources() {}

void TWKestruneAudioProcessor::applyGain (juce::AudioBuffer<float>& buffer, int numChannels,
                                          const std::atomic<float>& gainDb, float& convertedDb, float& gain) noexcept
{
    const int numSamples = buffer.getNumSamples();

    for (int ch = 0; ch < numChannels; ++ch)
    {
        auto* samples = buffer.getWritePointer (ch);

        for (int i = 0; i < numSamples; ++i)
        {
            // Read for every sample, so a change from another thread lands mid-block.
            const float db = gainDb.load (std::memory_order_relaxed);
            if (! (db == convertedDb))
            {
                convertedDb = db;
                gain = juce::Decibels::decibelsToGain (db);
            }

            samples[i] *= gain;
        }
    }
}

void TWKestruneAudioProcessor::processBlock (juce::AudioBuffer<float>& buffer, juce::MidiBuffer&)
{
    juce::ScopedNoDenormals noDenormals;

    // The layout's channel counts, bounded by the channels the buffer really has.
    const int available = buffer.getNumChannels();
    const int ins = std::min (getTotalNumInputChannels(), available);
    const int outs = std::min (getTotalNumOutputChannels(), available);

    // Output channels that no input feeds start from silence.
    for (int ch = ins; ch < outs; ++ch)
        buffer.clear (ch, 0, buffer.getNumSamples());

    applyGain (buffer, outs, engine.inputDb, inputGainDb, inputGain);
    engine.process (buffer);
    applyGain (buffer, outs, engine.outputDb, outputGainDb, outputGain);
}

//==============================================================================
double TWKestruneAudioProcessor::getTailLengthSeconds() const
{
    return 0.0;
}

bool TWKestruneAudioProcessor::acceptsMidi() const
{
    return false;
}

bool TWKestruneAudioProcessor::producesMidi() const
{
    return false;
}

bool TWKestruneAudioProcessor::isMidiEffect() const
{
    return false;
}

juce::AudioProcessorEditor* TWKestruneAudioProcessor::createEditor()
{
    return new TWKestruneAudioProcessorEditor (*this, parameters);
}

bool TWKestruneAudioProcessor::hasEditor() const
{
    return true;
}

//==============================================================================
// One program. It is named "Default" rather than left blank: hosts list a nameless
// program as an empty entry and the VST3 validator rejects it.
int TWKestruneAudioProcessor::getNumPrograms()
{
    return 1;
}

int TWKestruneAudioProcessor::getCurrentProgram()
{
    return 0;
}

void TWKestruneAudioProcessor::setCurrentProgram (int) {}

const juce::String TWKestruneAudioProcessor::getProgramName (int)
{
    return "Default";
}

void TWKestruneAudioProcessor::changeProgramName (int, const juce::String&) {}

//==============================================================================
void TWKestruneAudioProcessor::getStateInformation (juce::MemoryBlock& destData)
{
    const auto state = parameters.copyState();

    if (const auto xml = state.createXml())
        copyXmlToBinary (*xml, destData);
}

namespace
{
// Strict UTF-8 (RFC 3629): every sequence complete, continuation bytes 10xxxxxx, no overlong
// forms, no surrogates, nothing above U+10FFFF. The text ends at a zero byte, as the XML
// reader sees it.
bool isWellFormedUtf8 (const char* text, size_t length)
{
    const auto* bytes = reinterpret_cast<const unsigned char*> (text);

    for (size_t i = 0; i < length && bytes[i] != 0;)
    {
        const auto lead = bytes[i];
        size_t extra = 0;
        unsigned char low = 0x80, high = 0xbf; // allowed range of the first continuation byte

        if (lead < 0x80)
            extra = 0;
        else if (lead >= 0xc2 && lead <= 0xdf)
            extra = 1;
        else if (lead >= 0xe0 && lead <= 0xef)
        {
            extra = 2;
            low = lead == 0xe0 ? 0xa0 : 0x80;
            high = lead == 0xed ? 0x9f : 0xbf;
        }
        else if (lead >= 0xf0 && lead <= 0xf4)
        {
            extra = 3;
            low = lead == 0xf0 ? 0x90 : 0x80;
            high = lead == 0xf4 ? 0x8f : 0xbf;
        }
        else
            return false;

        if (extra > 0)
        {
            if (i + extra >= length || bytes[i + 1] < low || bytes[i + 1] > high)
                return false;

            for (size_t k = 2; k <= extra; ++k)
                if ((bytes[i + k] & 0xc0) != 0x80)
                    return false;
        }

        i += extra + 1;
    }

    return true;
}
// The plain XML that saved states are made of: an optional declaration, then one element
// tree of tags with quoted attributes, balanced, at most 32 deep, with nothing but white
// space between tags. Comments, processing instructions, DOCTYPE, CDATA and text are not
// part of it. The framework's XML reader takes exponential time or reads past its text on
// some malformed input, so only text of this shape is handed to it.
bool isPlainXml (const char* text, size_t length)
{
    size_t i = 0;
    const auto end = std::find (text, text + length, '\0') - text;
    const auto at = [&] (size_t k) { return k < (size_t) end ? text[k] : '\0'; };
    const auto skipSpace = [&]
    {
        while (at (i) == ' ' || at (i) == '\t' || at (i) == '\r' || at (i) == '\n')
            ++i;
    };
    const auto readName = [&]
    {
        const auto start = i;
        while (juce::CharacterFunctions::isLetterOrDigit (at (i)) || at (i) == '_' || at (i) == ':' || at (i) == '-' ||
               at (i) == '.')
            ++i;
        return std::string (text + start, i - start);
    };

    skipSpace();
    if (std::string (text + i, std::min<size_t> (5, (size_t) end - i)) == "<?xml")
    {
        const auto close = std::string (text + i, (size_t) end - i).find ("?>");
        if (close == std::string::npos)
            return false;
        i += close + 2;
    }

    std::vector<std::string> open;
    bool rootSeen = false;

    for (;;)
    {
        skipSpace();
        if (at (i) == '\0')
            return rootSeen && open.empty();
        if (at (i) != '<' || (open.empty() && rootSeen))
            return false;
        ++i;

        if (at (i) == '/')
        {
            ++i;
            const auto name = readName();
            skipSpace();
            if (open.empty() || name != open.back() || at (i) != '>')
                return false;
            open.pop_back();
            ++i;
            continue;
        }

        const auto name = readName();
        if (name.empty())
            return false;

        for (;;)
        {
            skipSpace();
            if (at (i) == '/' && at (i + 1) == '>')
            {
                i += 2;
                rootSeen = true;
                break;
            }
            if (at (i) == '>')
            {
                ++i;
                rootSeen = true;
                open.push_back (name);
                if (open.size() > 32)
                    return false;
                break;
            }
            if (readName().empty())
                return false;
            skipSpace();
            if (at (i) != '=')
                return false;
            ++i;
            skipSpace();
            const auto quote = at (i);
            if (quote != '"' && quote != '\'')
                return false;
            ++i;
            while (at (i) != quote)
                if (at (i) == '\0' || at (i) == '<')
                    return false;
                else
                    ++i;
            ++i;
        }
    }
}
} // namespace

std::unique_ptr<juce::XmlElement> TWKestruneAudioProcessor::readStateXml (const void* data, int sizeInBytes)
{
    // The XML text must be valid UTF-8 and plain XML: on other text the framework's XML
    // parser can step past the end of its text or take exponential time. Such a blob cannot
    // be a saved state and is refused like any other text that does not parse.
    if (sizeInBytes > 8)
    {
        const auto storedLength = (int) juce::ByteOrder::littleEndianInt (juce::addBytesToPointer (data, 4));
        const auto length = std::min (sizeInBytes - 8, storedLength);
        const auto* text = static_cast<const char*> (data) + 8;

        if (length > 0 && ! (isWellFormedUtf8 (text, (size_t) length) && isPlainXml (text, (size_t) length)))
            return {};
    }

    return getXmlFromBinary (data, sizeInBytes);
}

void TWKestruneAudioProcessor::setStateInformation (const void* data, int sizeInBytes)
{
    const auto xml = readStateXml (data, sizeInBytes);

    // Anything that is not a saved parameter tree is ignored and changes nothing.
    if (xml == nullptr || ! xml->hasTagName (parameters.state.getType().toString()))
        return;

    // A value that reads as NaN (text such as "nan") would pass the parameters' clamping
    // and reach the engine; it is dropped, so that parameter takes its default instead.
    for (auto* child : xml->getChildIterator())
        if (child->hasAttribute ("value") && std::isnan (child->getStringAttribute ("value").getFloatValue()))
            child->removeAttribute ("value");

    parameters.replaceState (juce::ValueTree::fromXml (*xml));
}

//==============================================================================
bool TWKestruneAudioProcessor::isBusesLayoutSupported (const BusesLayout& layouts) const
{
    const auto mainOutput = layouts.getMainOutputChannelSet();

    if (mainOutput != juce::AudioChannelSet::mono() && mainOutput != juce::AudioChannelSet::stereo())
        return false;

    return layouts.getMainInputChannelSet() == mainOutput;
}

//==============================================================================
juce::AudioProcessor* JUCE_CALLTYPE createPluginFilter()
{
    return new TWKestruneAudioProcessor();
}
