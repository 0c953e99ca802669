#pragma once
// Plausible, readable values for the tags of a configuration, written into the simulator's data
// blocks with the server's own value encoding:
//   integers ramp up and wrap (VT_I1 -100..100, VT_UI1 0..100, VT_I2 0..1500, VT_I4 0..10000),
//   unsigned counters count the steps (VT_UI2, VT_UI4), REALs follow slow sines between 20 and
//   80 with a period and phase of their own, BOOLs toggle at different rates, strings read
//   "Recipe N", arrays change one element per step (BOOL arrays: a running light).
// Tags whose access rights include writing get one value at the start and are then left alone,
// so that what a client writes stays visible; only read-only tags are animated.
#include <chrono>
#include <cstdint>
#include <vector>

#include "opc/SOCmnVariant.h"
#include "plcsim/ConfigTags.h"
#include "plcsim/PlcSimulator.h"

namespace orva::plcsim {

class TagAnimation {
public:
    TagAnimation(std::vector<ConfigTag> tags, std::chrono::milliseconds period);

    // Writes every tag's starting value (writable tags included).
    void seed(PlcSimulator& simulator) const;
    // Writes the read-only tags' values of animation step `step` (step 0 is the start).
    void apply(PlcSimulator& simulator, uint64_t step) const;

    // The value a tag has at a step; `variant` spreads tags of one type over different rates.
    static opc::SOCmnVariant valueAt(const ConfigTag& tag, std::size_t variant, uint64_t step,
                                     double seconds);

    const std::vector<ConfigTag>& tags() const noexcept { return tags_; }
    std::size_t animatedCount() const;

private:
    void write(PlcSimulator& simulator, std::size_t index, uint64_t step) const;

    std::vector<ConfigTag> tags_;
    std::vector<std::size_t> variants_;  // per tag: its position among the tags of its type
    std::chrono::milliseconds period_;
};

}  // namespace orva::plcsim
