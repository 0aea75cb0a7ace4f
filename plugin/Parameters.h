#pragma once

#include <juce_core/juce_core.h>

// Parameter IDs are the persistent keys (saved state, host automation, editor
// attachments); names are what hosts display.
namespace Parameters
{
extern const juce::String noiseID;
extern const juce::String toneID;
extern const juce::String mixID;
extern const juce::String freqID;
extern const juce::String widthID;
extern const juce::String peakID;
extern const juce::String inputID;
extern const juce::String outputID;

extern const juce::String noiseName;
extern const juce::String toneName;
extern const juce::String mixName;
extern const juce::String freqName;
extern const juce::String widthName;
extern const juce::String peakName;
extern const juce::String inputName;
extern const juce::String outputName;

// Text conversions. Seven parameters show plain numbers with two decimals, and anything
// below 0.01 in magnitude as "0"; the noise colour shows as a letter, W(hite), P(ink) or
// B(rown).
juce::String numberToText (float value, int maximumLength);
float textToNumber (const juce::String& text);
juce::String colourToText (float value, int maximumLength);
float textToColour (const juce::String& text);
} // namespace Parameters
