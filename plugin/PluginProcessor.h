#pragma once

#include "../dsp/Kestrune.h"
#include "Parameters.h"

#include <juce_audio_processors/juce_audio_processors.h>

#include <array>

/** Kestrune's audio processor: input gain, the riser engine and output gain on every
    block, eight automatable parameters, and the state blob hosts keep with a project. */
class TWKestruneAudioProcessor : public juce::AudioProcessor, private juce::AudioProcessorValueTreeState::Listener
{
public:
    TWKestruneAudioProcessor();
    ~TWKestruneAudioProcessor() override;

    const juce::String getName() const override;

    void prepareToPlay (double sampleRate, int samplesPerBlock) override;
    void releaseResources() override;
    void processBlock (juce::AudioBuffer<float>&, juce::MidiBuffer&) override;

    double getTailLengthSeconds() const override;
    bool acceptsMidi() const override;
    bool producesMidi() const override;
    bool isMidiEffect() const override;

    juce::AudioProcessorEditor* createEditor() override;
    bool hasEditor() const override;

    int getNumPrograms() override;
    int getCurrentProgram() override;
    void setCurrentProgram (int index) override;
    const juce::String getProgramName (int index) override;
    void changeProgramName (int index, const juce::String& newName) override;

    void getStateInformation (juce::MemoryBlock& destData) override;
    void setStateInformation (const void* data, int sizeInBytes) override;

    bool isBusesLayoutSupported (const BusesLayout& layouts) const override;

    /** The XML of a state blob as setStateInformation reads it, or null when the blob is
        not one (wrong magic or length, text that is not valid UTF-8 or does not parse). */
    static std::unique_ptr<juce::XmlElement> readStateXml (const void* data, int sizeInBytes);

    /** Any parameter change re-copies all eight values into the engine. */
    void parameterChanged (const juce::String& parameterID, float newValue) override;

    static juce::AudioProcessorValueTreeState::ParameterLayout createParameterLayout();

    /** Copies the eight current parameter values into the engine's fields. */
    void updateParameters();

    juce::AudioProcessorValueTreeState parameters;
    Kestrune<float> engine;

private:
    /** Multiplies channels [0, numChannels) by the gain of the given dB field, reading the
        field for every sample and converting only when its value changes. */
    static void applyGain (juce::AudioBuffer<float>& buffer, int numChannels, const std::atomic<float>& gainDb,
                           float& convertedDb, float& gain) noexcept;

    // The tree's atomic raw values in the order the engine fields are written, looked up
    // once here instead of by string on every change.
    std::array<std::atomic<float>*, 8> rawValues{};

    float inputGainDb = std::numeric_limits<float>::quiet_NaN();
    float inputGain = 1.0f;
    float outputGainDb = std::numeric_limits<float>::quiet_NaN();
    float outputGain = 1.0f;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (TWKestruneAudioProcessor)
};
