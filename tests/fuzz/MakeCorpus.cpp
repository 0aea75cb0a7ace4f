// Writes the seed corpus of the state fuzzers: real states saved by the built bundle
// (defaults, changed parameters, bypass on) as the VST3 stream and as the processor blob.
// Run once after a change to the state format: kestrune-make-corpus tests/fuzz/corpus

#include "host/Vst3TestHost.h"

#include <fstream>
#include <iostream>

using namespace Steinberg;

int main (int argc, char** argv)
{
    const std::string folder = argc > 1 ? argv[1] : "tests/fuzz/corpus";
    auto write = [&] (const std::string& name, const std::vector<uint8_t>& bytes)
    {
        std::ofstream (folder + "/" + name, std::ios::binary)
            .write ((const char*) bytes.data(), (std::streamsize) bytes.size());
    };

    struct Seed
    {
        const char* name;
        std::vector<std::pair<Vst::ParamID, double>> changes;
    };
    const Seed seeds[] = {
        { "defaults", {} },
        { "riser", { { 3151480, 0.73 }, { 108124, 0.8 }, { 104998682, 0.95 }, { 3565938, 0.5 } } },
        { "extremes",
          { { 3151480, 1.0 }, { 113126854, 0.0 }, { 3436767, 1.0 }, { 100358090, 0.0 }, { 1141971201, 1.0 } } },
        { "bypassed", { { 1652125811, 1.0 }, { 108124, 0.1 } } },
    };

    for (const auto& seed : seeds)
    {
        testhost::Instance instance;
        instance.start();
        testhost::ParameterChanges changes;
        for (const auto& [id, value] : seed.changes)
            changes.add (id, value);
        std::vector<std::vector<float>> audio (2, std::vector<float> (64, 0.0f));
        instance.process (audio, 64, &changes);

        const auto state = instance.getState();
        write (std::string ("vst3/") + seed.name, state);
        write (std::string ("processor/") + seed.name, { state.begin(), state.end() - 60 });
        std::cout << seed.name << ": " << state.size() << " bytes\n";
    }
    return 0;
}
