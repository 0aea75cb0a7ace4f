// libFuzzer target: the processor's state restore. A rejected blob leaves all eight
// parameters exactly as they were; an accepted one leaves every parameter finite and inside
// its range.

#include <plugin/PluginProcessor.h>

#include "FuzzSupport.h"

#include <cmath>
#include <cstdint>
#include <memory>

namespace
{
struct Target
{
    juce::ScopedJuceInitialiser_GUI juce;
    TWKestruneAudioProcessor processor;
    juce::MemoryBlock defaults;

    Target() { processor.getStateInformation (defaults); }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput (const uint8_t* data, size_t size)
{
    auto& t = fuzz::persistent<Target>();
    auto& processor = t.processor;
    processor.setStateInformation (t.defaults.getData(), (int) t.defaults.getSize());

    const auto& parameters = processor.getParameters();
    std::vector<float> before;
    for (auto* p : parameters)
        before.push_back (p->getValue());

    const auto xml = TWKestruneAudioProcessor::readStateXml (data, (int) size);
    const bool accepted = xml != nullptr && xml->hasTagName ("PARAMETERS");

    processor.setStateInformation (data, (int) size);

    for (int i = 0; i < parameters.size(); ++i)
    {
        auto* p = dynamic_cast<juce::RangedAudioParameter*> (parameters[i]);
        const float plain = p->convertFrom0to1 (p->getValue());
        if (! accepted)
            fuzz::check (p->getValue() == before[(size_t) i]);
        fuzz::check (std::isfinite (plain));
        fuzz::check (plain >= p->getNormalisableRange().start && plain <= p->getNormalisableRange().end);
    }

    for (float field : { processor.engine.noiseDb.load(), processor.engine.tone.load(), processor.engine.mix.load(),
                         processor.engine.freq.load(), processor.engine.width.load(), processor.engine.peakDb.load(),
                         processor.engine.inputDb.load(), processor.engine.outputDb.load() })
        fuzz::check (std::isfinite (field));
    return 0;
}
