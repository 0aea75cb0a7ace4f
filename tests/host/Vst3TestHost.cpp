#include "Vst3TestHost.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>

namespace testhost
{
std::string bundlePath()
{
    if (const char* path = std::getenv ("KESTRUNE_VST3"); path != nullptr && *path != '\0')
        return path;
    return std::filesystem::weakly_canonical (KESTRUNE_VST3_BUNDLE).string();
}

VST3::Hosting::Module::Ptr module()
{
    // Loaded once and never unloaded: a process may end while plug-in threads still run
    // (a fuzzer exits without tearing its instance down), and unloading the code under
    // them would crash at exit.
    static auto* loaded = new VST3::Hosting::Module::Ptr (
        []
        {
            std::string error;
            auto m = VST3::Hosting::Module::create (bundlePath(), error);
            if (m == nullptr)
                throw std::runtime_error ("cannot load " + bundlePath() + ": " + error);
            m->getFactory().setHostContext (&hostApplication());
            return m;
        }());
    return *loaded;
}

Vst::HostApplication& hostApplication()
{
    static Vst::HostApplication* host = new Vst::HostApplication(); // lives as long as the module
    return *host;
}

std::string toString (const Vst::TChar* text)
{
    return Vst::StringConvert::convert (text);
}

//==============================================================================
tresult PLUGIN_API ParameterQueue::getPoint (int32 index, int32& sampleOffset, Vst::ParamValue& value)
{
    if (index < 0 || index >= count)
        return kInvalidArgument;
    sampleOffset = points[index].first;
    value = points[index].second;
    return kResultOk;
}

tresult PLUGIN_API ParameterQueue::addPoint (int32 sampleOffset, Vst::ParamValue value, int32& index)
{
    if (count >= (int32) std::size (points))
        return kResultFalse;
    index = count;
    points[count++] = { sampleOffset, value };
    return kResultOk;
}

tresult PLUGIN_API ParameterQueue::queryInterface (const TUID iid, void** obj)
{
    if (FUnknownPrivate::iidEqual (iid, Vst::IParamValueQueue::iid) || FUnknownPrivate::iidEqual (iid, FUnknown::iid))
    {
        *obj = this;
        return kResultOk;
    }
    *obj = nullptr;
    return kNoInterface;
}

void ParameterChanges::add (Vst::ParamID id, Vst::ParamValue value, int32 sampleOffset)
{
    int32 index = 0;
    if (auto* queue = addParameterData (id, index))
        queue->addPoint (sampleOffset, value, index);
}

Vst::IParamValueQueue* PLUGIN_API ParameterChanges::getParameterData (int32 index)
{
    return index >= 0 && index < count ? &queues[index] : nullptr;
}

Vst::IParamValueQueue* PLUGIN_API ParameterChanges::addParameterData (const Vst::ParamID& id, int32& index)
{
    for (int32 i = 0; i < count; ++i)
        if (queues[i].parameterId == id)
        {
            index = i;
            return &queues[i];
        }
    if (count >= (int32) std::size (queues))
        return nullptr;
    index = count;
    queues[count].parameterId = id;
    queues[count].count = 0;
    return &queues[count++];
}

tresult PLUGIN_API ParameterChanges::queryInterface (const TUID iid, void** obj)
{
    if (FUnknownPrivate::iidEqual (iid, Vst::IParameterChanges::iid) || FUnknownPrivate::iidEqual (iid, FUnknown::iid))
    {
        *obj = this;
        return kResultOk;
    }
    *obj = nullptr;
    return kNoInterface;
}

//==============================================================================
Instance::Instance (bool connect)
{
    auto& factory = module()->getFactory();
    const auto classes = factory.classInfos();
    const auto audioModule = std::find_if (classes.begin(), classes.end(),
                                           [] (const auto& info) { return info.category() == kVstAudioEffectClass; });
    if (audioModule == classes.end())
        throw std::runtime_error ("no audio module class");

    component = factory.createInstance<Vst::IComponent> (audioModule->ID());
    if (component == nullptr || component->initialize (&hostApplication()) != kResultOk)
        throw std::runtime_error ("cannot create the audio module");

    TUID controllerId{};
    if (component->getControllerClassId (controllerId) != kResultOk)
        throw std::runtime_error ("no controller class");
    controller = factory.createInstance<Vst::IEditController> (VST3::UID::fromTUID (controllerId));
    if (controller == nullptr || controller->initialize (&hostApplication()) != kResultOk)
        throw std::runtime_error ("cannot create the edit controller");

    processor = FUnknownPtr<Vst::IAudioProcessor> (component);
    componentConnection = FUnknownPtr<Vst::IConnectionPoint> (component);
    controllerConnection = FUnknownPtr<Vst::IConnectionPoint> (controller);

    if (connect)
    {
        componentConnection->connect (controllerConnection);
        controllerConnection->connect (componentConnection);
        syncController();
    }
}

Instance::~Instance()
{
    stop();
    if (componentConnection != nullptr && controllerConnection != nullptr)
    {
        componentConnection->disconnect (controllerConnection);
        controllerConnection->disconnect (componentConnection);
    }
    controller->terminate();
    component->terminate();
}

void Instance::start (double sampleRate, int maxBlock, int32 channels, int32 mode)
{
    Vst::SpeakerArrangement arrangement = channels == 1 ? Vst::SpeakerArr::kMono : Vst::SpeakerArr::kStereo;
    processor->setBusArrangements (&arrangement, 1, &arrangement, 1);

    // Hosts switch the main buses on before activating; until then the plug-in sees none.
    for (auto direction : { Vst::kInput, Vst::kOutput })
        component->activateBus (Vst::kAudio, direction, 0, true);

    Vst::ProcessSetup setup{ mode, Vst::kSample32, maxBlock, sampleRate };
    processor->setupProcessing (setup);
    component->setActive (true);
    processor->setProcessing (true);
    started = true;

    outputs.assign ((size_t) channels, std::vector<float> ((size_t) std::max (maxBlock, 1)));
}

void Instance::stop()
{
    if (! started)
        return;
    processor->setProcessing (false);
    component->setActive (false);
    started = false;
}

tresult Instance::process (std::vector<std::vector<float>>& audio, int32 numSamples, ParameterChanges* changes)
{
    const auto channels = audio.size();
    if (outputs.size() != channels || (numSamples > 0 && outputs[0].size() < (size_t) numSamples))
        outputs.assign (channels, std::vector<float> ((size_t) std::max (numSamples, 1)));

    inputPointers.resize (channels);
    outputPointers.resize (channels);
    for (size_t ch = 0; ch < channels; ++ch)
    {
        inputPointers[ch] = audio[ch].data();
        outputPointers[ch] = outputs[ch].data();
    }

    Vst::AudioBusBuffers in{}, out{};
    in.numChannels = (int32) channels;
    in.channelBuffers32 = inputPointers.data();
    out.numChannels = (int32) channels;
    out.channelBuffers32 = outputPointers.data();

    Vst::ProcessData data{};
    data.processMode = Vst::kRealtime;
    data.symbolicSampleSize = Vst::kSample32;
    data.numSamples = numSamples;
    data.numInputs = 1;
    data.numOutputs = 1;
    data.inputs = &in;
    data.outputs = &out;
    data.inputParameterChanges = changes;

    const auto result = processor->process (data);
    for (size_t ch = 0; ch < channels; ++ch)
        std::copy_n (outputs[ch].begin(), numSamples, audio[ch].begin());
    return result;
}

std::vector<uint8_t> Instance::getState()
{
    MemoryStream stream;
    if (component->getState (&stream) != kResultOk)
        return {};
    const auto* bytes = reinterpret_cast<const uint8_t*> (stream.getData());
    return { bytes, bytes + stream.getSize() };
}

tresult Instance::setState (const std::vector<uint8_t>& bytes)
{
    MemoryStream stream;
    int32 written = 0;
    if (! bytes.empty())
        stream.write (const_cast<uint8_t*> (bytes.data()), (int32) bytes.size(), &written);
    stream.seek (0, IBStream::kIBSeekSet, nullptr);
    const auto result = component->setState (&stream);
    syncController();
    return result;
}

void Instance::syncController()
{
    MemoryStream stream;
    component->getState (&stream);
    stream.seek (0, IBStream::kIBSeekSet, nullptr);
    controller->setComponentState (&stream);
}
} // namespace testhost
