// What a careless or unusual host may do through the VST3 interfaces, and every sample rate
// a host may pick: nothing crashes, each call gets the answer the SDK's rules give, and the
// output stays finite and bounded.

#include "XvfbEnvironment.h"
#include "host/Vst3TestHost.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

using namespace Steinberg;
using testhost::Instance;
using testhost::ParameterChanges;

namespace
{
std::vector<std::vector<float>> noise (std::mt19937& rng, int channels, int samples, float amplitude = 1.0f)
{
    std::uniform_real_distribution<float> dist (-amplitude, amplitude);
    std::vector<std::vector<float>> audio ((size_t) channels, std::vector<float> ((size_t) samples));
    for (auto& channel : audio)
        for (auto& v : channel)
            v = dist (rng);
    return audio;
}

float peakOf (const std::vector<std::vector<float>>& audio)
{
    float peak = 0.0f;
    for (const auto& channel : audio)
        for (float v : channel)
            peak = std::isfinite (v) ? std::max (peak, std::abs (v)) : std::numeric_limits<float>::infinity();
    return peak;
}

const auto* const xvfb = ::testing::AddGlobalTestEnvironment (new XvfbEnvironment);
} // namespace

TEST (HostMisuse, ProcessBeforeActivationIsHarmless)
{
    Instance instance;
    std::mt19937 rng (1);
    auto audio = noise (rng, 2, 128);
    instance.process (audio, 128); // no setupProcessing, no setActive
    EXPECT_TRUE (std::isfinite (peakOf (audio)));

    instance.start();
    audio = noise (rng, 2, 128);
    EXPECT_EQ (instance.process (audio, 128), kResultOk);
    EXPECT_LT (peakOf (audio), 100.0f);
}

TEST (HostMisuse, EmptyAndOverlongBlocks)
{
    Instance instance;
    instance.start (48000.0, 256);
    std::mt19937 rng (2);

    // A block of zero frames, also as a parameter flush without buffers.
    auto empty = noise (rng, 2, 0);
    EXPECT_EQ (instance.process (empty, 0), kResultOk);

    // Longer than the announced maximum: refused, with silent output, never a write past the
    // buffers prepared for the announced size.
    auto longBlock = noise (rng, 2, 4096);
    EXPECT_EQ (instance.process (longBlock, 4096), kResultFalse);
    EXPECT_EQ (peakOf (longBlock), 0.0f);

    auto normal = noise (rng, 2, 256);
    EXPECT_EQ (instance.process (normal, 256), kResultOk);
    EXPECT_LT (peakOf (normal), 100.0f);
}

TEST (HostMisuse, BusArrangementsAreRefusedWhileActive)
{
    Instance instance;
    instance.start (44100.0, 128, 2);
    Vst::SpeakerArrangement mono = Vst::SpeakerArr::kMono;
    EXPECT_EQ (instance.processor->setBusArrangements (&mono, 1, &mono, 1), kResultFalse);

    Vst::SpeakerArrangement current = 0;
    ASSERT_EQ (instance.processor->getBusArrangement (Vst::kOutput, 0, current), kResultOk);
    EXPECT_EQ (current, (Vst::SpeakerArrangement) Vst::SpeakerArr::kStereo);
}

TEST (HostMisuse, NullAndShortStateStreams)
{
    Instance instance;
    const auto before = instance.getState();

    EXPECT_EQ (instance.component->setState (nullptr), kInvalidArgument);
    EXPECT_EQ (instance.component->getState (nullptr), kInvalidArgument);

    for (const std::vector<uint8_t>& bytes : { std::vector<uint8_t>{ 'V' }, std::vector<uint8_t>{ 'V', 'C', '2' },
                                               std::vector<uint8_t> (before.begin(), before.begin() + 8),
                                               std::vector<uint8_t> (before.end() - 20, before.end()) })
    {
        instance.setState (bytes);
        EXPECT_EQ (instance.getState(), before) << bytes.size() << " bytes";
    }
}

// A damaged trailer whose length field claims more than the state holds is taken for no
// trailer: the processor's blob in front of it still restores, bypass keeps its value.
TEST (HostMisuse, StateTrailerWithAnImpossibleLength)
{
    std::vector<uint8_t> saved;
    {
        Instance source;
        source.start();
        ParameterChanges changes;
        changes.add (1652125811, 1.0); // bypass
        changes.add (3151480, 0.5);    // freq
        auto audio = std::vector<std::vector<float>> (2, std::vector<float> (64, 0.0f));
        source.process (audio, 64, &changes);
        saved = source.getState();
    }

    for (uint64_t length : { (uint64_t) 0xFFFFFFFFFFFFFFFFull, (uint64_t) 0x8000000000000000ull,
                             (uint64_t) saved.size(), (uint64_t) 1000000ull })
    {
        auto damaged = saved;
        std::memcpy (damaged.data() + damaged.size() - 23, &length, 8);
        Instance target;
        EXPECT_EQ (target.setState (damaged), kResultOk);
        EXPECT_NEAR (target.controller->getParamNormalized (3151480), 0.5, 1e-6) << length;
        EXPECT_EQ (target.controller->getParamNormalized (1652125811), 0.0) << length;
    }
}

// A private-data tree that claims billions of properties, children or array elements, or a
// binary value of gigabytes, is read only as far as its bytes go (whatever bypass value the
// wrapper makes of what is left).
TEST (HostMisuse, StateTrailerTreeWithHugeCounts)
{
    Instance source;
    const auto saved = source.getState();
    const std::vector<uint8_t> blob (saved.begin(), saved.end() - 60);

    const std::string name ("JUCEPrivateData\0", 16);
    const std::string huge ("\x04\xff\xff\xff\x7f", 5); // a compressed int of 2^31 - 1
    const std::string trees[] = {
        name + huge,                                                                                // properties
        name + std::string ("\x00", 1) + huge,                                                      // children
        name + std::string ("\x01\x01", 2) + "Bypass" + std::string ("\x00", 1) + huge + "\x08",    // binary value
        name + std::string ("\x01\x01", 2) + "Bypass" + std::string ("\x00\x01\x02\x07", 4) + huge, // array
    };

    for (const auto& tree : trees)
    {
        auto state = blob;
        state.insert (state.end(), 8, 0);
        state.insert (state.end(), tree.begin(), tree.end());
        const uint64_t length = tree.size();
        const auto* lengthBytes = reinterpret_cast<const uint8_t*> (&length);
        state.insert (state.end(), lengthBytes, lengthBytes + 8);
        const std::string magic ("JUCEPrivateData");
        state.insert (state.end(), magic.begin(), magic.end());

        Instance target;
        EXPECT_EQ (target.setState (state), kResultOk);
        const double bypass = target.controller->getParamNormalized (1652125811);
        EXPECT_TRUE (bypass == 0.0 || bypass == 1.0) << bypass;
    }
}

TEST (HostMisuse, SampleRateChangesBetweenActivations)
{
    Instance instance;
    std::mt19937 rng (3);
    for (double rate : { 44100.0, 96000.0, 8000.0, 192000.0 })
    {
        instance.start (rate, 512);
        auto audio = noise (rng, 2, 512);
        EXPECT_EQ (instance.process (audio, 512), kResultOk) << rate;
        EXPECT_LT (peakOf (audio), 100.0f) << rate;
        instance.stop();
    }
}

TEST (HostMisuse, RepeatedInitializeAndTerminate)
{
    Instance instance;
    std::mt19937 rng (4);
    for (int round = 0; round < 3; ++round)
    {
        instance.stop();
        EXPECT_EQ (instance.component->terminate(), kResultOk);
        EXPECT_EQ (instance.component->initialize (&testhost::hostApplication()), kResultOk);
        instance.start();
        auto audio = noise (rng, 2, 256);
        EXPECT_EQ (instance.process (audio, 256), kResultOk);
        EXPECT_LT (peakOf (audio), 100.0f);
    }
}

//==============================================================================
// Every rate from about 1 kHz to over 1 MHz, with each of freq, width, peak, noise, mix,
// input and output at either end of its range (the others at their defaults), each case
// from the default state and freshly activated filters: finite output below +40 dBFS for
// input within +-1.
TEST (SampleRates, EveryRateAndParameterEndStaysFiniteAndBelowFortyDecibels)
{
    const double rates[] = { 1234.5678, 8000.0,  11025.0,  22050.0,  44100.0,  48000.0,
                             88200.0,   96000.0, 176400.0, 192000.0, 384000.0, 1234567.8 };
    struct End
    {
        const char* name;
        Vst::ParamID id;
    };
    const End parameters[] = { { "freq", 3151480 },     { "width", 113126854 }, { "peak", 3436767 },
                               { "noise", 104998682 },  { "mix", 108124 },      { "input", 100358090 },
                               { "output", 1141971201 } };
    const float limit = std::pow (10.0f, 40.0f / 20.0f);

    std::mt19937 rng (5);
    Instance instance;
    const auto defaults = instance.getState();
    for (double rate : rates)
        for (const auto& parameter : parameters)
            for (double end : { 0.0, 1.0 })
            {
                instance.stop();
                instance.setState (defaults);
                instance.start (rate, 256); // activation clears the filters
                ParameterChanges changes;
                changes.add (parameter.id, end);

                float peak = 0.0f;
                for (int block = 0; block < 40; ++block)
                {
                    auto audio = noise (rng, 2, 256);
                    instance.process (audio, 256, block == 0 ? &changes : nullptr);
                    const float blockPeak = peakOf (audio);
                    peak = blockPeak > peak || std::isnan (blockPeak) ? blockPeak : peak;
                }
                EXPECT_TRUE (std::isfinite (peak)) << rate << " Hz, " << parameter.name << " at " << end;
                EXPECT_LT (peak, limit) << rate << " Hz, " << parameter.name << " at " << end;
            }
}
