#pragma once

#include <juce_audio_processors/juce_audio_processors.h>
#include <juce_gui_basics/juce_gui_basics.h>

#include <memory>

class TWKestruneAudioProcessor;

/** Kestrune's window: a fixed 800 x 400 face painted from one artwork, six see-through
    knobs over the painted knob bodies and two boxes that show and take the input and output
    gain. It talks to the parameters only through the parameter tree. */
class TWKestruneAudioProcessorEditor : public juce::AudioProcessorEditor
{
public:
    TWKestruneAudioProcessorEditor (TWKestruneAudioProcessor& p, juce::AudioProcessorValueTreeState& vts);
    ~TWKestruneAudioProcessorEditor() override;

    void paint (juce::Graphics& g) override;
    void resized() override;

    /** The value-box text of a gain: two decimals and " dB", never "-0.00 dB". */
    static juce::String formatGain (float value);

    juce::Slider noiseSlider;
    juce::Slider toneSlider;
    juce::Slider mixSlider;
    juce::Slider freqSlider;
    juce::Slider widthSlider;
    juce::Slider peakSlider;
    juce::Label inputLabel;
    juce::Label outputLabel;

    std::unique_ptr<juce::AudioProcessorValueTreeState::SliderAttachment> noiseAttachment;
    std::unique_ptr<juce::AudioProcessorValueTreeState::SliderAttachment> toneAttachment;
    std::unique_ptr<juce::AudioProcessorValueTreeState::SliderAttachment> mixAttachment;
    std::unique_ptr<juce::AudioProcessorValueTreeState::SliderAttachment> freqAttachment;
    std::unique_ptr<juce::AudioProcessorValueTreeState::SliderAttachment> widthAttachment;
    std::unique_ptr<juce::AudioProcessorValueTreeState::SliderAttachment> peakAttachment;

private:
    void initializeControls();

    /** Commits an edited value box: the typed text goes to the parameter, then the box shows
        the value the parameter really took. */
    void commitValueBox (juce::Label& box, const juce::String& parameterID);

    juce::AudioProcessorValueTreeState& valueTreeState;
    TWKestruneAudioProcessor& audioProcessor;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (TWKestruneAudioProcessorEditor)
};
