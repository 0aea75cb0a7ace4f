#include "PluginEditor.h"

#include "BinaryData.h"

#include <plugin/Parameters.h>
#include <plugin/PluginProcessor.h>

TWKestruneAudioProcessorEditor::TWKestruneAudioProcessorEditor (TWKestruneAudioProcessor& p,
                                                                juce::AudioProcessorValueTreeState& vts)
    : AudioProcessorEditor (p)
    , valueTreeState (vts)
    , audioProcessor (p)
{
    initializeControls();

    // Only the white thumb dot of each knob is drawn; track and value arcs are invisible so
    // the painted knob bodies show through. The editor has no look-and-feel of its own, so
    // this reaches the shared default one, and every new editor sets the same values.
    getLookAndFeel().setColour (juce::Slider::thumbColourId, juce::Colours::white);
    getLookAndFeel().setColour (juce::Slider::rotarySliderOutlineColourId, juce::Colours::transparentWhite);
    getLookAndFeel().setColour (juce::Slider::rotarySliderFillColourId, juce::Colours::transparentWhite);

    setSize (800, 400);
}

TWKestruneAudioProcessorEditor::~TWKestruneAudioProcessorEditor()
{
    // No attachment may outlive its slider.
    noiseAttachment.reset();
    toneAttachment.reset();
    mixAttachment.reset();
    freqAttachment.reset();
    widthAttachment.reset();
    peakAttachment.reset();
}

juce::String TWKestruneAudioProcessorEditor::formatGain (float value)
{
    auto v = (double) value;
    if (v > -0.005 && v < 0.005)
        v = 0.0;

    return juce::String (v, 2) + " dB";
}

void TWKestruneAudioProcessorEditor::initializeControls()
{
    struct Knob
    {
        juce::Slider& slider;
        const juce::String& id;
        const char* suffix;
        std::unique_ptr<juce::AudioProcessorValueTreeState::SliderAttachment>& attachment;
    };
    const Knob knobs[] = {
        { noiseSlider, Parameters::noiseID, " dB", noiseAttachment },
        { toneSlider, Parameters::toneID, "", toneAttachment },
        { mixSlider, Parameters::mixID, " %", mixAttachment },
        { freqSlider, Parameters::freqID, "", freqAttachment },
        { widthSlider, Parameters::widthID, "", widthAttachment },
        { peakSlider, Parameters::peakID, "", peakAttachment },
    };

    for (const auto& knob : knobs)
    {
        knob.slider.setSliderStyle (juce::Slider::RotaryVerticalDrag);
        knob.slider.setTextBoxStyle (juce::Slider::TextBoxAbove, false, knob.slider.getTextBoxWidth(),
                                     knob.slider.getTextBoxHeight());
        knob.slider.setTextValueSuffix (knob.suffix);
        knob.slider.setColour (juce::Slider::textBoxOutlineColourId, juce::Colours::transparentWhite);
        addAndMakeVisible (knob.slider);
        knob.attachment = std::make_unique<juce::AudioProcessorValueTreeState::SliderAttachment> (valueTreeState,
                                                                                                  knob.id, knob.slider);
    }

    const std::pair<juce::Label*, const juce::String*> boxes[] = { { &inputLabel, &Parameters::inputID },
                                                                   { &outputLabel, &Parameters::outputID } };
    for (const auto& [box, id] : boxes)
    {
        box->setEnabled (true);
        box->setEditable (true, false, false);
        box->setText (formatGain (valueTreeState.getRawParameterValue (*id)->load()), juce::dontSendNotification);
        box->onTextChange = [this, box = box, id = *id] { commitValueBox (*box, id); };
        box->setJustificationType (juce::Justification::horizontallyCentred);
        box->setColour (juce::Label::textColourId, juce::Colours::white);
        box->setColour (juce::Label::outlineColourId, juce::Colours::white);
        addAndMakeVisible (*box);
    }
}

void TWKestruneAudioProcessorEditor::commitValueBox (juce::Label& box, const juce::String& parameterID)
{
    // The tree reads the number at the start of the text ("3 dB" gives 3, no number gives
    // 0) and the parameter clamps and snaps it to its range.
    valueTreeState.getParameterAsValue (parameterID).setValue (box.getTextValue().getValue());
    box.setText (formatGain (valueTreeState.getRawParameterValue (parameterID)->load()), juce::dontSendNotification);
}

void TWKestruneAudioProcessorEditor::paint (juce::Graphics& g)
{
    // The image cache keeps the decoded artwork; the editor holds no copy of its own.
    const auto image = juce::ImageCache::getFromMemory (BinaryData::background_png, BinaryData::background_pngSize);

    if (image.isValid())
        g.drawImage (image, getLocalBounds().toFloat());
}

void TWKestruneAudioProcessorEditor::resized()
{
    noiseSlider.setBounds (65, 82, 170, 170);
    toneSlider.setBounds (17, 271, 80, 80);
    mixSlider.setBounds (205, 271, 80, 80);
    freqSlider.setBounds (565, 82, 170, 170);
    widthSlider.setBounds (516, 271, 80, 80);
    peakSlider.setBounds (703, 271, 80, 80);
    inputLabel.setBounds (256, 175, 65, 20);
    outputLabel.setBounds (480, 175, 65, 20);
}
