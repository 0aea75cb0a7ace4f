#pragma once

// Runs a GoogleTest binary with JUCE's message loop on the main thread and the tests on a
// second thread; tests hand GUI work to the message thread with onMessageThread().

#include "XvfbEnvironment.h"

#include <juce_events/juce_events.h>
#include <juce_gui_basics/juce_gui_basics.h>

#include <gtest/gtest.h>

#include <functional>
#include <thread>

/** Runs fn on the message thread and waits for it. */
inline void onMessageThread (std::function<void()> fn)
{
    juce::WaitableEvent done;
    juce::MessageManager::callAsync (
        [&]
        {
            fn();
            done.signal();
        });
    done.wait();
}

/** The body of main() for such a binary. */
inline int runTestsBesideMessageLoop (int argc, char** argv)
{
    ::testing::InitGoogleTest (&argc, argv);

    // The X display must exist before JUCE opens it (not needed just to list the tests).
    XvfbEnvironment display;
    if (! ::testing::GTEST_FLAG (list_tests))
        display.SetUp();

    int result = 1;
    {
        juce::ScopedJuceInitialiser_GUI gui;
        std::thread tests (
            [&]
            {
                result = RUN_ALL_TESTS();
                juce::MessageManager::getInstance()->stopDispatchLoop();
            });
        juce::MessageManager::getInstance()->runDispatchLoop();
        tests.join();
    }

    display.TearDown();
    return result;
}
