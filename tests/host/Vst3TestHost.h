#pragma once

// A small VST3 host for tests: loads the built Kestrune.vst3 bundle from disk and drives
// it only through the VST3 interfaces, the way a DAW does.

#include "pluginterfaces/gui/iplugview.h"
#include "pluginterfaces/vst/ivstaudioprocessor.h"
#include "pluginterfaces/vst/ivstcomponent.h"
#include "pluginterfaces/vst/ivsteditcontroller.h"
#include "pluginterfaces/vst/ivstmessage.h"
#include "pluginterfaces/vst/ivstparameterchanges.h"
#include "pluginterfaces/vst/ivstunits.h"
#include "public.sdk/source/common/memorystream.h"
#include "public.sdk/source/vst/hosting/hostclasses.h"
#include "public.sdk/source/vst/hosting/module.h"
#include "public.sdk/source/vst/utility/stringconvert.h"

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace testhost
{
using namespace Steinberg;

/** Where the build put the bundle. */
std::string bundlePath();

/** The loaded module, shared by every test of a run (hosts load a bundle once). */
VST3::Hosting::Module::Ptr module();

/** The host application object handed to the factory and every instance. */
Vst::HostApplication& hostApplication();

std::string toString (const Vst::TChar* text);

/** One host-side parameter queue with a fixed capacity (no allocation while in use). */
class ParameterQueue final : public Vst::IParamValueQueue
{
public:
    explicit ParameterQueue (Vst::ParamID id = 0)
        : parameterId (id)
    {
    }

    Vst::ParamID PLUGIN_API getParameterId() override { return parameterId; }
    int32 PLUGIN_API getPointCount() override { return count; }
    tresult PLUGIN_API getPoint (int32 index, int32& sampleOffset, Vst::ParamValue& value) override;
    tresult PLUGIN_API addPoint (int32 sampleOffset, Vst::ParamValue value, int32& index) override;

    tresult PLUGIN_API queryInterface (const TUID iid, void** obj) override;
    uint32 PLUGIN_API addRef() override { return 1; }
    uint32 PLUGIN_API release() override { return 1; }

    Vst::ParamID parameterId;
    int32 count = 0;
    std::pair<int32, Vst::ParamValue> points[16]{};
};

/** The parameter changes of one block, as a host sends automation. */
class ParameterChanges final : public Vst::IParameterChanges
{
public:
    void clear() { count = 0; }

    /** Adds one point for a parameter at a sample offset. */
    void add (Vst::ParamID id, Vst::ParamValue value, int32 sampleOffset = 0);

    int32 PLUGIN_API getParameterCount() override { return count; }
    Vst::IParamValueQueue* PLUGIN_API getParameterData (int32 index) override;
    Vst::IParamValueQueue* PLUGIN_API addParameterData (const Vst::ParamID& id, int32& index) override;

    tresult PLUGIN_API queryInterface (const TUID iid, void** obj) override;
    uint32 PLUGIN_API addRef() override { return 1; }
    uint32 PLUGIN_API release() override { return 1; }

private:
    int32 count = 0;
    ParameterQueue queues[16];
};

/** One plug-in instance: audio module and edit controller, initialised and connected. */
class Instance
{
public:
    explicit Instance (bool connect = true);
    ~Instance();

    Instance (const Instance&) = delete;
    Instance& operator= (const Instance&) = delete;

    /** setupProcessing with 32-bit samples, then activates the component and starts processing. */
    void start (double sampleRate = 48000.0, int maxBlock = 512, int32 channels = 2, int32 mode = Vst::kRealtime);
    void stop();

    /** Processes one block in place of the given channel vectors (inputs become outputs). */
    tresult process (std::vector<std::vector<float>>& audio, int32 numSamples, ParameterChanges* changes = nullptr);

    std::vector<uint8_t> getState();
    tresult setState (const std::vector<uint8_t>& bytes);

    /** Hands the component's state to the controller, as hosts do after loading. */
    void syncController();

    IPtr<Vst::IComponent> component;
    IPtr<Vst::IAudioProcessor> processor;
    IPtr<Vst::IEditController> controller;
    IPtr<Vst::IConnectionPoint> componentConnection, controllerConnection;

private:
    bool started = false;
    std::vector<std::vector<float>> outputs;
    std::vector<float*> inputPointers, outputPointers;
};
} // namespace testhost
