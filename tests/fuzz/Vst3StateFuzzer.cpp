// libFuzzer target: the VST3 setState stream (processor blob plus the wrapper's trailer),
// through the built bundle's audio module. A refused stream leaves all eight parameters and
// bypass exactly as they were; an accepted one leaves every parameter finite and in range.

#include "host/Vst3TestHost.h"

#include "FuzzSupport.h"

#include <cmath>
#include <cstdint>
#include <memory>

namespace
{
constexpr Steinberg::Vst::ParamID ids[] = { 104998682, 3565938,   108124,     3151480,   113126854,
                                            3436767,   100358090, 1141971201, 1652125811 };

struct Target
{
    testhost::Instance instance;
    std::vector<uint8_t> defaults = instance.getState();
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput (const uint8_t* data, size_t size)
{
    auto& t = fuzz::persistent<Target>();
    auto& instance = t.instance;
    fuzz::check (instance.setState (t.defaults) == Steinberg::kResultOk);

    std::vector<double> before;
    for (auto id : ids)
        before.push_back (instance.controller->getParamNormalized (id));

    const auto result = instance.setState (std::vector<uint8_t> (data, data + size));

    for (size_t i = 0; i < std::size (ids); ++i)
    {
        const double value = instance.controller->getParamNormalized (ids[i]);
        if (result != Steinberg::kResultOk)
            fuzz::check (value == before[i]);
        fuzz::check (std::isfinite (value) && value >= 0.0 && value <= 1.0);
    }
    return 0;
}
