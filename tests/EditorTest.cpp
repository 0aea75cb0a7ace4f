// The editor window: layout, texts, value boxes, knobs, the painted face, and opening and
// closing it while the host automates.

#include "MessageThread.h"

#include <editor/PluginEditor.h>
#include <plugin/PluginProcessor.h>

#include <atomic>
#include <cmath>
#include <memory>
#include <thread>

namespace
{
struct EditorFixture : ::testing::Test
{
    void SetUp() override
    {
        onMessageThread (
            [this]
            {
                processor = std::make_unique<TWKestruneAudioProcessor>();
                editor.reset (dynamic_cast<TWKestruneAudioProcessorEditor*> (processor->createEditor()));
            });
        ASSERT_NE (editor, nullptr);
    }

    void TearDown() override
    {
        onMessageThread (
            [this]
            {
                editor.reset();
                processor.reset();
            });
    }

    juce::RangedAudioParameter& parameter (const juce::String& id) { return *processor->parameters.getParameter (id); }

    void setFromHost (const juce::String& id, float value)
    {
        auto& p = parameter (id);
        p.setValueNotifyingHost (p.convertTo0to1 (value));
    }

    float value (const juce::String& id) { return processor->parameters.getRawParameterValue (id)->load(); }

    static juce::String knobText (juce::Slider& slider) { return slider.getTextFromValue (slider.getValue()); }

    /** Types text into a value box the way a user does, then presses Return or Escape. */
    static void type (juce::Label& box, const juce::String& text, bool escape = false)
    {
        box.showEditor();
        auto* field = box.getCurrentTextEditor();
        ASSERT_NE (field, nullptr);
        field->setText (text, false); // as typed while the box has the keyboard focus
        field->keyPressed (juce::KeyPress (escape ? juce::KeyPress::escapeKey : juce::KeyPress::returnKey));
    }

    std::unique_ptr<TWKestruneAudioProcessor> processor;
    std::unique_ptr<TWKestruneAudioProcessorEditor> editor;
};

const juce::Rectangle<int> layout[] = { { 65, 82, 170, 170 },  { 17, 271, 80, 80 },  { 205, 271, 80, 80 },
                                        { 565, 82, 170, 170 }, { 516, 271, 80, 80 }, { 703, 271, 80, 80 },
                                        { 256, 175, 65, 20 },  { 480, 175, 65, 20 } };
} // namespace

TEST_F (EditorFixture, FixedSizeEightChildrenAtTheirBoundsAndSixAttachments)
{
    onMessageThread (
        [this]
        {
            EXPECT_EQ (editor->getWidth(), 800);
            EXPECT_EQ (editor->getHeight(), 400);
            EXPECT_FALSE (editor->isResizable());

            juce::Component* expected[] = { &editor->noiseSlider, &editor->toneSlider,  &editor->mixSlider,
                                            &editor->freqSlider,  &editor->widthSlider, &editor->peakSlider,
                                            &editor->inputLabel,  &editor->outputLabel };
            ASSERT_EQ (editor->getNumChildComponents(), 8);
            for (int i = 0; i < 8; ++i)
            {
                EXPECT_EQ (editor->getChildComponent (i), expected[i]) << i;
                EXPECT_TRUE (expected[i]->isVisible()) << i;
                EXPECT_EQ (expected[i]->getBounds(), layout[i]) << i;
            }

            for (auto* attachment :
                 { editor->noiseAttachment.get(), editor->toneAttachment.get(), editor->mixAttachment.get(),
                   editor->freqAttachment.get(), editor->widthAttachment.get(), editor->peakAttachment.get() })
                EXPECT_NE (attachment, nullptr);
        });
}

TEST_F (EditorFixture, DefaultTexts)
{
    onMessageThread (
        [this]
        {
            EXPECT_EQ (knobText (editor->noiseSlider), "-6.00 dB");
            EXPECT_EQ (knobText (editor->toneSlider), "W");
            EXPECT_EQ (knobText (editor->mixSlider), "50.00 %");
            EXPECT_EQ (knobText (editor->freqSlider), "800.00");
            EXPECT_EQ (knobText (editor->widthSlider), "1.00");
            EXPECT_EQ (knobText (editor->peakSlider), "0");
            EXPECT_EQ (editor->inputLabel.getText(), "0.00 dB");
            EXPECT_EQ (editor->outputLabel.getText(), "0.00 dB");
        });
}

TEST_F (EditorFixture, ValueBoxesTakeTypedGains)
{
    struct Case
    {
        const char* typed;
        const char* shown;
        float value;
    };
    const Case cases[] = {
        { "3", "3.00 dB", 3.0f },       { "3 dB", "3.00 dB", 3.0f },   { "30", "24.00 dB", 24.0f },
        { "1.234", "1.23 dB", 1.23f },  { "-0.004", "0.00 dB", 0.0f }, { "loud", "0.00 dB", 0.0f },
        { "-30", "-24.00 dB", -24.0f },
    };

    // The text editor hands Return and Escape to the box as messages, so each edit is
    // checked in a later message.
    for (auto* box : { &editor->inputLabel, &editor->outputLabel })
    {
        const auto& id = box == &editor->inputLabel ? Parameters::inputID : Parameters::outputID;
        for (const auto& c : cases)
        {
            onMessageThread (
                [&]
                {
                    setFromHost (id, 7.0f);
                    type (*box, c.typed);
                });
            onMessageThread (
                [&]
                {
                    EXPECT_EQ (box->getText(), c.shown) << c.typed;
                    EXPECT_NEAR (value (id), c.value, 1e-4f) << c.typed;
                });
        }

        // Escape discards the typed text: nothing changes.
        onMessageThread ([&] { type (*box, "5"); });
        onMessageThread ([&] { type (*box, "12", true); });
        onMessageThread (
            [&]
            {
                EXPECT_EQ (box->getText(), "5.00 dB");
                EXPECT_EQ (value (id), 5.0f);
            });
    }
}

TEST_F (EditorFixture, DoubleClickReturnsAKnobToItsDefault)
{
    onMessageThread (
        [this]
        {
            const std::pair<juce::Slider*, const juce::String*> knobs[] = {
                { &editor->noiseSlider, &Parameters::noiseID }, { &editor->toneSlider, &Parameters::toneID },
                { &editor->mixSlider, &Parameters::mixID },     { &editor->freqSlider, &Parameters::freqID },
                { &editor->widthSlider, &Parameters::widthID }, { &editor->peakSlider, &Parameters::peakID },
            };
            for (const auto& [slider, id] : knobs)
            {
                auto& p = parameter (*id);
                const float defaultValue = p.convertFrom0to1 (p.getDefaultValue());
                p.setValueNotifyingHost (0.9f);
                ASSERT_NE (value (*id), defaultValue) << *id;

                const auto centre = slider->getLocalBounds().getCentre().toFloat();
                const juce::MouseEvent click (juce::Desktop::getInstance().getMainMouseSource(), centre, {},
                                              juce::MouseInputSource::defaultPressure, 0.0f, 0.0f, 0.0f, 0.0f, slider,
                                              slider, juce::Time::getCurrentTime(), centre,
                                              juce::Time::getCurrentTime(), 2, false);
                slider->mouseDoubleClick (click);
                EXPECT_EQ (value (*id), defaultValue) << *id;
            }
        });
}

TEST_F (EditorFixture, HostChangesMoveKnobsButNotTheValueBoxes)
{
    onMessageThread (
        [this]
        {
            setFromHost (Parameters::freqID, 5015.0f);
            setFromHost (Parameters::toneID, 2.0f);
            setFromHost (Parameters::inputID, -12.0f);
            EXPECT_EQ (editor->freqSlider.getValue(), 5015.0);
            EXPECT_EQ (knobText (editor->toneSlider), "B");
            EXPECT_EQ (editor->inputLabel.getText(), "0.00 dB");
        });

    // Reopening shows the current gain.
    onMessageThread (
        [this]
        {
            editor.reset (dynamic_cast<TWKestruneAudioProcessorEditor*> (processor->createEditor()));
            EXPECT_EQ (editor->inputLabel.getText(), "-12.00 dB");
        });
}

//==============================================================================
// In a snapshot of the window, each knob's white thumb sits on its circle around the
// painted disc's centre at the angle of its value, and the discs carry their fills.
TEST_F (EditorFixture, ThumbsOrbitThePaintedDiscs)
{
    struct Knob
    {
        juce::Slider TWKestruneAudioProcessorEditor::*slider;
        juce::Point<float> centre;
        float orbit;
        juce::Colour fill;
    };
    const juce::Colour large (33, 187, 62), small (0, 109, 31);
    const Knob knobs[] = {
        { &TWKestruneAudioProcessorEditor::noiseSlider, { 150, 177 }, 61, large },
        { &TWKestruneAudioProcessorEditor::freqSlider, { 650, 177 }, 61, large },
        { &TWKestruneAudioProcessorEditor::toneSlider, { 57, 321 }, 16, small },
        { &TWKestruneAudioProcessorEditor::mixSlider, { 245, 321 }, 16, small },
        { &TWKestruneAudioProcessorEditor::widthSlider, { 556, 321 }, 16, small },
        { &TWKestruneAudioProcessorEditor::peakSlider, { 743, 321 }, 16, small },
    };

    for (float position : { 0.0f, 0.3f, 1.0f })
    {
        onMessageThread (
            [&]
            {
                if (position > 0.0f)
                    for (auto* id : { &Parameters::noiseID, &Parameters::toneID, &Parameters::mixID,
                                      &Parameters::freqID, &Parameters::widthID, &Parameters::peakID })
                        parameter (*id).setValueNotifyingHost (position);

                const auto snapshot = editor->createComponentSnapshot (editor->getLocalBounds(), true, 2.0f);
                ASSERT_EQ (snapshot.getWidth(), 1600);

                for (const auto& knob : knobs)
                {
                    auto& slider = (*editor).*knob.slider;
                    const auto angle = 1.2f * juce::MathConstants<float>::pi +
                                       (float) slider.valueToProportionOfLength (slider.getValue()) * 1.6f *
                                           juce::MathConstants<float>::pi;
                    const auto thumb =
                        knob.centre + juce::Point<float> (std::sin (angle), -std::cos (angle)) * knob.orbit;
                    const auto pixel =
                        snapshot.getPixelAt (juce::roundToInt (thumb.x * 2), juce::roundToInt (thumb.y * 2));
                    EXPECT_GT (pixel.getBrightness(), 0.95f) << slider.getName() << " at " << position;

                    // Opposite the thumb, inside the disc: the flat fill.
                    const auto across = knob.centre - (thumb - knob.centre) * 0.6f;
                    const auto fill =
                        snapshot.getPixelAt (juce::roundToInt (across.x * 2), juce::roundToInt (across.y * 2));
                    EXPECT_EQ (fill.getRed(), knob.fill.getRed());
                    EXPECT_EQ (fill.getGreen(), knob.fill.getGreen());
                    EXPECT_EQ (fill.getBlue(), knob.fill.getBlue());
                }
            });
    }
}

//==============================================================================
// The host opens and closes the window again and again while automation runs on another
// thread: nothing may reach a destroyed knob.
TEST_F (EditorFixture, OpenAndCloseTwoHundredTimesUnderAutomation)
{
    onMessageThread ([this] { editor.reset(); });

    std::atomic<bool> running{ true };
    std::thread automation (
        [&]
        {
            const juce::String* ids[] = { &Parameters::noiseID, &Parameters::toneID,  &Parameters::mixID,
                                          &Parameters::freqID,  &Parameters::widthID, &Parameters::peakID };
            for (int step = 0; running; ++step)
                for (auto* id : ids)
                    parameter (*id).setValueNotifyingHost ((float) ((step * 7) % 100) / 100.0f);
        });

    for (int i = 0; i < 200; ++i)
    {
        onMessageThread (
            [this]
            {
                editor.reset (dynamic_cast<TWKestruneAudioProcessorEditor*> (processor->createEditor()));
                editor->createComponentSnapshot (editor->getLocalBounds()); // paint it once
            });
        onMessageThread ([this] { editor.reset(); });
    }

    running = false;
    automation.join();
    onMessageThread ([] {}); // let pending knob updates run out
    SUCCEED();
}

int main (int argc, char** argv)
{
    return runTestsBesideMessageLoop (argc, argv);
}
