// Kestrune as a VST3 host sees it: the bundle loaded from disk and driven only through
// the VST3 interfaces.

#include "AllocationCounter.h"
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
constexpr Vst::ParamID bypassId = 1652125811;
constexpr Vst::ParamID mixId = 108124;
constexpr Vst::ParamID peakId = 3436767;
constexpr Vst::ParamID freqId = 3151480;
constexpr Vst::ParamID noiseId = 104998682;

std::string hex (const TUID id)
{
    static const char* digits = "0123456789ABCDEF";
    std::string s;
    for (int i = 0; i < 16; ++i)
    {
        s += digits[(uint8_t) id[i] >> 4];
        s += digits[(uint8_t) id[i] & 15];
    }
    return s;
}

std::vector<std::vector<float>> noiseBlock (std::mt19937& rng, int channels, int samples)
{
    std::uniform_real_distribution<float> dist (-0.5f, 0.5f);
    std::vector<std::vector<float>> audio ((size_t) channels, std::vector<float> ((size_t) samples));
    for (auto& channel : audio)
        for (auto& v : channel)
            v = dist (rng);
    return audio;
}

struct SplitState
{
    std::vector<uint8_t> blob, trailer;
};

SplitState split (const std::vector<uint8_t>& state)
{
    if (state.size() < 60)
        return {};
    const auto cut = state.end() - 60;
    return { { state.begin(), cut }, { cut, state.end() } };
}

class HostEnvironment : public XvfbEnvironment
{
};

const auto* const xvfb = ::testing::AddGlobalTestEnvironment (new HostEnvironment);
} // namespace

//==============================================================================
TEST (Host, FactoryAndClasses)
{
    auto factory = testhost::module()->getFactory().get();

    PFactoryInfo info{};
    ASSERT_EQ (factory->getFactoryInfo (&info), kResultOk);
    EXPECT_STREQ (info.vendor, "Tarnwell");
    EXPECT_STRNE (info.url, "");
    EXPECT_STRNE (info.email, "");
    EXPECT_EQ (info.flags, 16);
    EXPECT_EQ (factory->getFactoryInfo (nullptr), kInvalidArgument);

    ASSERT_EQ (factory->countClasses(), 3);
    FUnknownPtr<IPluginFactory2> factory2 (factory);
    ASSERT_TRUE (factory2);

    struct Expected
    {
        const char* category;
        const char* subCategories;
        const char* classId;
    };
    const Expected expected[] = {
        { "Audio Module Class", "Fx", "ABCDEF019182FAEB5461726E4B737472" },
        { "Component Controller Class", "Fx", "ABCDEF011234ABCD5461726E4B737472" },
        { "Plugin Compatibility Class", "", "ABCDEF01C0DEF00D5461726E4B737472" },
    };
    for (int32 i = 0; i < 3; ++i)
    {
        PClassInfo2 c{};
        ASSERT_EQ (factory2->getClassInfo2 (i, &c), kResultOk);
        EXPECT_EQ (hex (c.cid), expected[i].classId) << i;
        EXPECT_STREQ (c.category, expected[i].category) << i;
        EXPECT_STREQ (c.subCategories, expected[i].subCategories) << i;
        EXPECT_STREQ (c.name, "Kestrune");
        EXPECT_STREQ (c.vendor, "Tarnwell");
        EXPECT_STREQ (c.version, "1.3.0");
        EXPECT_STREQ (c.sdkVersion, "VST 3.7.12");
        EXPECT_EQ (c.cardinality, PClassInfo::kManyInstances);
        EXPECT_EQ (c.classFlags, 0u);
    }
}

TEST (Host, ComponentNamesItsControllerAndBuses)
{
    Instance instance;
    TUID controllerId{};
    ASSERT_EQ (instance.component->getControllerClassId (controllerId), kResultOk);
    EXPECT_EQ (hex (controllerId), "ABCDEF011234ABCD5461726E4B737472");

    for (auto direction : { Vst::kInput, Vst::kOutput })
    {
        ASSERT_EQ (instance.component->getBusCount (Vst::kAudio, direction), 1);
        EXPECT_EQ (instance.component->getBusCount (Vst::kEvent, direction), 0);
        Vst::BusInfo bus{};
        ASSERT_EQ (instance.component->getBusInfo (Vst::kAudio, direction, 0, bus), kResultOk);
        EXPECT_EQ (testhost::toString (bus.name), direction == Vst::kInput ? "Input" : "Output");
        EXPECT_EQ (bus.busType, Vst::kMain);
        EXPECT_EQ (bus.channelCount, 2);
        EXPECT_TRUE (bus.flags & Vst::BusInfo::kDefaultActive);
    }

    auto& processor = *instance.processor;
    Vst::SpeakerArrangement mono = Vst::SpeakerArr::kMono, stereo = Vst::SpeakerArr::kStereo;
    EXPECT_EQ (processor.setBusArrangements (&mono, 1, &mono, 1), kResultTrue);
    EXPECT_EQ (processor.setBusArrangements (&mono, 1, &stereo, 1), kResultFalse);
    EXPECT_EQ (processor.setBusArrangements (&stereo, 1, &stereo, 1), kResultTrue);

    EXPECT_EQ (processor.getLatencySamples(), 0u);
    EXPECT_EQ (processor.getTailSamples(), Vst::kNoTail);
    EXPECT_EQ (processor.canProcessSampleSize (Vst::kSample32), kResultTrue);
    EXPECT_EQ (processor.canProcessSampleSize (Vst::kSample64), kResultFalse);
}

TEST (Host, NineParametersWithTheirIdsAndDefaults)
{
    Instance instance;
    auto& controller = *instance.controller;

    struct Row
    {
        Vst::ParamID id;
        const char* title;
        int32 flags, steps;
        double defaultValue;
    };
    const Row rows[] = {
        { 104998682, "Noise", 1, 0, 0.8333 },
        { 3565938, "Tone", 1, 0, 0.0 },
        { 108124, "Mix", 1, 0, 0.5 },
        { 3151480, "Freq", 1, 0, 0.1976 },
        { 113126854, "Width", 1, 0, 0.2308 },
        { 3436767, "Peak", 1, 0, 0.0 },
        { 100358090, "Input", 1, 0, 0.5 },
        { 1141971201, "Output", 1, 0, 0.5 },
        { bypassId, "Bypass", 0x10001, 1, 0.0 },
    };

    ASSERT_EQ (controller.getParameterCount(), 9);
    for (int32 i = 0; i < 9; ++i)
    {
        Vst::ParameterInfo info{};
        ASSERT_EQ (controller.getParameterInfo (i, info), kResultOk);
        const auto& row = rows[i];
        EXPECT_EQ (info.id, row.id) << row.title;
        EXPECT_EQ (testhost::toString (info.title), row.title);
        EXPECT_EQ (testhost::toString (info.shortTitle), row.title);
        EXPECT_EQ (testhost::toString (info.units), "");
        EXPECT_EQ (info.flags, row.flags) << row.title;
        EXPECT_EQ (info.stepCount, row.steps) << row.title;
        EXPECT_NEAR (info.defaultNormalizedValue, row.defaultValue, 0.00005) << row.title;
        EXPECT_EQ (info.unitId, Vst::kRootUnitId);
    }
}

TEST (Host, OneUnitWithTheFactoryPresetsList)
{
    Instance instance;
    FUnknownPtr<Vst::IUnitInfo> units (instance.controller);
    ASSERT_TRUE (units);

    ASSERT_EQ (units->getUnitCount(), 1);
    Vst::UnitInfo unit{};
    ASSERT_EQ (units->getUnitInfo (0, unit), kResultOk);
    EXPECT_EQ (unit.id, Vst::kRootUnitId);
    EXPECT_EQ (unit.parentUnitId, Vst::kNoParentUnitId);
    EXPECT_EQ (testhost::toString (unit.name), "Root Unit");
    EXPECT_EQ (unit.programListId, 0x70727374);

    ASSERT_EQ (units->getProgramListCount(), 1);
    Vst::ProgramListInfo list{};
    ASSERT_EQ (units->getProgramListInfo (0, list), kResultOk);
    EXPECT_EQ (list.id, 0x70727374);
    EXPECT_EQ (testhost::toString (list.name), "Factory Presets");
    EXPECT_EQ (list.programCount, 1);

    Vst::String128 name{};
    ASSERT_EQ (units->getProgramName (list.id, 0, name), kResultOk);
    EXPECT_EQ (testhost::toString (name), "Default");
}

//==============================================================================
TEST (Host, BypassPassesAudioAndMixZeroSettlesToTheInput)
{
    Instance instance;
    instance.start (48000.0, 256);
    std::mt19937 rng (5);

    ParameterChanges bypassOn;
    bypassOn.add (bypassId, 1.0);
    for (int block = 0; block < 4; ++block)
    {
        auto audio = noiseBlock (rng, 2, 256);
        const auto input = audio;
        ASSERT_EQ (instance.process (audio, 256, block == 0 ? &bypassOn : nullptr), kResultOk);
        EXPECT_EQ (audio, input) << "bypassed block " << block;
    }

    ParameterChanges dryOnly;
    dryOnly.add (bypassId, 0.0);
    dryOnly.add (mixId, 0.0);
    dryOnly.add (peakId, 0.0);
    for (int block = 0; block < 20; ++block)
    {
        auto audio = noiseBlock (rng, 2, 256);
        const auto input = audio;
        ASSERT_EQ (instance.process (audio, 256, block == 0 ? &dryOnly : nullptr), kResultOk);
        if (block < 2)
            continue;
        for (size_t ch = 0; ch < 2; ++ch)
            for (size_t i = 0; i < 256; ++i)
                ASSERT_NEAR (audio[ch][i], input[ch][i], 1e-5f) << "block " << block;
    }

    // Mono works the same way.
    Instance mono;
    mono.start (44100.0, 128, 1);
    auto audio = noiseBlock (rng, 1, 128);
    ASSERT_EQ (mono.process (audio, 128, &dryOnly), kResultOk);
}

//==============================================================================
TEST (Host, SavedStateIsTheBlobFollowedByTheSixtyByteTrailer)
{
    for (bool bypass : { false, true })
    {
        Instance instance;
        instance.start();
        ParameterChanges changes;
        changes.add (bypassId, bypass ? 1.0 : 0.0);
        changes.add (freqId, 0.5);
        auto audio = std::vector<std::vector<float>> (2, std::vector<float> (64, 0.0f));
        instance.process (audio, 64, &changes);

        const auto state = instance.getState();
        const auto [blob, trailer] = split (state);
        ASSERT_EQ (trailer.size(), 60u);

        ASSERT_GE (blob.size(), 9u);
        EXPECT_EQ (std::memcmp (blob.data(), "VC2!", 4), 0);
        uint32_t length = 0;
        std::memcpy (&length, blob.data() + 4, 4);
        EXPECT_EQ (length, blob.size() - 9);
        EXPECT_EQ (blob.back(), 0);
        const std::string xml (blob.begin() + 8, blob.end() - 1);
        EXPECT_NE (xml.find ("<PARAM id=\"freq\" value=\"5015.0\"/>"), std::string::npos) << xml;

        const uint8_t zeros[8] = {};
        EXPECT_EQ (std::memcmp (trailer.data(), zeros, 8), 0);
        const uint8_t tree[29] = { 'J', 'U', 'C', 'E', 'P', 'r', 'i',
                                   'v', 'a', 't', 'e', 'D', 'a', 't',
                                   'a', 0,   1,   1,   'B', 'y', 'p',
                                   'a', 's', 's', 0,   1,   1,   (uint8_t) (bypass ? 2 : 3),
                                   0 };
        EXPECT_EQ (std::memcmp (trailer.data() + 8, tree, 29), 0);
        EXPECT_EQ (trailer[8 + 27], bypass ? 2 : 3);
        const uint8_t lengthField[8] = { 0x1D, 0, 0, 0, 0, 0, 0, 0 };
        EXPECT_EQ (std::memcmp (trailer.data() + 37, lengthField, 8), 0);
        EXPECT_EQ (std::memcmp (trailer.data() + 45, "JUCEPrivateData", 15), 0);
    }
}

TEST (Host, RestoringStateBringsBackParametersAndBypass)
{
    std::vector<uint8_t> saved;
    {
        Instance source;
        source.start();
        ParameterChanges changes;
        changes.add (bypassId, 1.0);
        changes.add (freqId, 0.5);
        changes.add (mixId, 0.25);
        changes.add (noiseId, 0.5);
        auto audio = std::vector<std::vector<float>> (2, std::vector<float> (64, 0.0f));
        source.process (audio, 64, &changes);
        saved = source.getState();
    }

    Instance restored;
    ASSERT_EQ (restored.setState (saved), kResultOk);
    EXPECT_NEAR (restored.controller->getParamNormalized (bypassId), 1.0, 1e-9);
    EXPECT_NEAR (restored.controller->getParamNormalized (freqId), 0.5, 1e-6);
    EXPECT_NEAR (restored.controller->getParamNormalized (mixId), 0.25, 1e-6);
    EXPECT_NEAR (restored.controller->getParamNormalized (noiseId), 0.5, 1e-6);
    EXPECT_EQ (restored.getState(), saved);

    // The processor's blob alone restores the parameters and leaves bypass off.
    Instance blobOnly;
    ASSERT_EQ (blobOnly.setState (split (saved).blob), kResultOk);
    EXPECT_EQ (blobOnly.controller->getParamNormalized (bypassId), 0.0);
    EXPECT_NEAR (blobOnly.controller->getParamNormalized (freqId), 0.5, 1e-6);

    // An empty stream is refused and changes nothing.
    const auto before = blobOnly.getState();
    EXPECT_EQ (blobOnly.setState ({}), kResultFalse);
    EXPECT_EQ (blobOnly.getState(), before);
}

TEST (Host, EditorViewAfterTheTwoObjectsAreConnected)
{
    {
        Instance unconnected (false);
        IPtr<IPlugView> view = owned (unconnected.controller->createView (Vst::ViewType::kEditor));
        EXPECT_EQ (view, nullptr);
    }

    Instance instance;
    IPtr<IPlugView> view = owned (instance.controller->createView (Vst::ViewType::kEditor));
    ASSERT_NE (view, nullptr);
    EXPECT_EQ (view->isPlatformTypeSupported (kPlatformTypeX11EmbedWindowID), kResultTrue);
    ViewRect size{};
    ASSERT_EQ (view->getSize (&size), kResultOk);
    EXPECT_EQ (size.getWidth(), 800);
    EXPECT_EQ (size.getHeight(), 400);
    EXPECT_EQ (view->canResize(), kResultFalse);

    IPtr<IPlugView> other = owned (instance.controller->createView ("other"));
    EXPECT_EQ (other, nullptr);
}

//==============================================================================
// After the first block, processing allocates nothing: plain blocks, and blocks that
// carry automation for every parameter. The one exception lives in JUCE's parameter
// tree: the first time a parameter is automated, its listener list sizes the vector it
// iterates with (one allocation per parameter, once per instance).
TEST (Host, ProcessAllocatesNothingAfterTheFirstBlock)
{
    if (! allocations::available)
        GTEST_SKIP() << "allocations are not counted in sanitizer builds";

    Instance instance;
    instance.start (48000.0, 512);
    std::mt19937 rng (9);
    auto audio = noiseBlock (rng, 2, 512);
    instance.process (audio, 512);

    const Vst::ParamID ids[] = { 104998682, 3565938, 108124, 3151480, 113126854, 3436767, 100358090, 1141971201 };
    ParameterChanges changes;
    auto automate = [&] (int block)
    {
        changes.clear();
        for (auto id : ids)
            changes.add (id, (double) ((block * 37 + (int) id) % 100) / 100.0, block % 512);
    };

    automate (1);
    std::size_t firstAutomation = 0;
    {
        allocations::Counting counting;
        instance.process (audio, 512, &changes);
        firstAutomation = counting.allocations();
    }
    EXPECT_LE (firstAutomation, std::size (ids));

    std::size_t plain = 0, automated = 0;
    for (int block = 2; block < 400; ++block)
    {
        const bool withChanges = block % 2 == 1;
        if (withChanges)
            automate (block);

        allocations::Counting counting;
        instance.process (audio, 512, withChanges ? &changes : nullptr);
        (withChanges ? automated : plain) += counting.allocations();
    }
    EXPECT_EQ (plain, 0u);
    EXPECT_EQ (automated, 0u);
}
