#include "Parameters.h"

namespace Parameters
{
const juce::String noiseID{ "noise" };
const juce::String toneID{ "tone" };
const juce::String mixID{ "mix" };
const juce::String freqID{ "freq" };
const juce::String widthID{ "width" };
const juce::String peakID{ "peak" };
const juce::String inputID{ "input" };
const juce::String outputID{ "output" };

const juce::String noiseName{ "Noise" };
const juce::String toneName{ "Tone" };
const juce::String mixName{ "Mix" };
const juce::String freqName{ "Freq" };
const juce::String widthName{ "Width" };
const juce::String peakName{ "Peak" };
const juce::String inputName{ "Input" };
const juce::String outputName{ "Output" };

juce::String numberToText (float value, int /*maximumLength*/)
{
    if ((int) (value * 100.0f) == 0)
        return "0";

    return juce::String ((double) value, 2);
}

float textToNumber (const juce::String& text)
{
    if (text == "0")
        return 0.0f;

    return text.getFloatValue();
}

juce::String colourToText (float value, int /*maximumLength*/)
{
    const int index = (int) value;

    if (index == 2)
        return "B";
    if (index == 1)
        return "P";
    return "W";
}

float textToColour (const juce::String& text)
{
    if (text == "W")
        return 0.0f;
    if (text == "P")
        return 1.0f;
    if (text == "B")
        return 2.0f;
    return 0.0f;
}
} // namespace Parameters
