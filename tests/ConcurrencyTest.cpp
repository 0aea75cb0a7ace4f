// Everything at once, for a bounded time, through the VST3 interfaces: the audio thread
// processes blocks carrying automation of all eight parameters and bypass, an automation
// thread keeps moving those values, and the host's UI thread opens and closes the editor and
// saves and restores the state. The audio never turns non-finite. Under ThreadSanitizer
// (./kestrune test --tsan) this is the data-race check.

#include "XvfbEnvironment.h"
#include "host/Vst3TestHost.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <random>
#include <thread>

using namespace Steinberg;

namespace
{
const auto* const xvfb = ::testing::AddGlobalTestEnvironment (new XvfbEnvironment);

constexpr Vst::ParamID ids[] = { 104998682, 3565938,   108124,     3151480,   113126854,
                                 3436767,   100358090, 1141971201, 1652125811 };

double secondsToRun()
{
    if (const char* text = std::getenv ("KESTRUNE_CONCURRENCY_SECONDS"))
        return std::atof (text);
    return 10.0;
}
} // namespace

TEST (Concurrency, AudioAutomationEditorAndStateTogether)
{
    testhost::Instance instance;
    instance.start (48000.0, 256);

    std::atomic<double> values[std::size (ids)];
    for (auto& v : values)
        v = 0.5;
    values[8] = 0.0; // bypass off

    std::atomic<bool> running{ true };
    std::atomic<long> blocks{ 0 }, nonFinite{ 0 };

    std::thread audio (
        [&]
        {
            std::mt19937 rng (1);
            std::uniform_real_distribution<float> dist (-1.0f, 1.0f);
            std::vector<std::vector<float>> buffer (2, std::vector<float> (256));
            testhost::ParameterChanges changes;
            while (running)
            {
                changes.clear();
                for (size_t k = 0; k < std::size (ids); ++k)
                    changes.add (ids[k], values[k].load(), 0);
                for (auto& channel : buffer)
                    for (auto& v : channel)
                        v = dist (rng);
                instance.process (buffer, 256, &changes);
                for (const auto& channel : buffer)
                    for (float v : channel)
                        if (! std::isfinite (v))
                            ++nonFinite;
                ++blocks;
            }
        });

    std::thread automation (
        [&]
        {
            std::mt19937 rng (2);
            std::uniform_real_distribution<double> dist (0.0, 1.0);
            for (int step = 0; running; ++step)
            {
                for (size_t k = 0; k < std::size (ids); ++k)
                    values[k] = k == 8 ? (step % 50 == 0 ? 1.0 : 0.0) : dist (rng);
                std::this_thread::sleep_for (std::chrono::microseconds (500));
            }
        });

    // The host's UI thread.
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double> (secondsToRun());
    int rounds = 0;
    while (std::chrono::steady_clock::now() < end)
    {
        {
            IPtr<IPlugView> view = owned (instance.controller->createView (Vst::ViewType::kEditor));
            EXPECT_NE (view, nullptr);
        }
        const auto state = instance.getState();
        EXPECT_EQ (instance.setState (state), kResultOk);
        ++rounds;
    }

    running = false;
    audio.join();
    automation.join();

    EXPECT_GT (blocks.load(), 0);
    EXPECT_GT (rounds, 0);
    EXPECT_EQ (nonFinite.load(), 0);
}
