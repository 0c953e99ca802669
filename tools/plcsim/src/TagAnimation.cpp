#include "plcsim/TagAnimation.h"

#include <cmath>
#include <map>
#include <string>

namespace orva::plcsim {
namespace {

using orva::VarType;

// Writable tags start with the values of this moment rather than all-zero, so that they read
// like a plant that has been running for a while.
constexpr double kSeedSeconds = 21.0;

// lo..hi, climbing `rate` units a second from `start`, wrapping back to lo after hi.
int64_t ramp(double seconds, double rate, int64_t lo, int64_t hi, int64_t start)
{
    const int64_t span = hi - lo + 1;
    const auto travelled = static_cast<int64_t>(std::floor(seconds * rate));
    int64_t offset = (start - lo + travelled) % span;
    if (offset < 0) offset += span;
    return lo + offset;
}

bool toggle(double seconds, std::size_t variant)
{
    static constexpr double kHalfPeriods[] = {1.0, 2.5, 4.0, 6.0, 1.5, 3.0, 5.0};
    const double half = kHalfPeriods[variant % std::size(kHalfPeriods)];
    return static_cast<int64_t>(std::floor(seconds / half)) % 2 == 0;
}

// 20..80, period 12 s and more, one decimal.
double sine(double seconds, std::size_t variant)
{
    const double period = 12.0 + 7.0 * static_cast<double>(variant % 8);
    const double value = 50.0 + 30.0 * std::sin(2.0 * M_PI * seconds / period + static_cast<double>(variant));
    return std::round(value * 10.0) / 10.0;
}

int64_t scalarInt(VarType type, double seconds, uint64_t step, std::size_t variant)
{
    const auto v = static_cast<int64_t>(variant);
    switch (type) {
        case orva::VT_I1:
            return ramp(seconds, 5.0, -100, 100, 0);
        case orva::VT_UI1:
            return ramp(seconds, 2.0, 0, 100, 10 * v);
        case orva::VT_I2:
            return ramp(seconds, 50.0, 0, 1500, 100 * v);
        case orva::VT_I4:
            return ramp(seconds, 200.0, 0, 10000, 1234 * v);
        case orva::VT_UI2:
            return static_cast<int64_t>((step + 1000 * variant) % 65536);
        default:  // VT_UI4
            return static_cast<int64_t>((step + 1000 * variant) % 4294967296ULL);
    }
}

// Array element k after the k-th element has been stepped `count` times: 10 apart per element,
// one unit (a tenth for REALs) further per step, within a range that suits the element type.
double arrayElement(VarType base, std::size_t k, uint64_t count)
{
    const int64_t span = (base == orva::VT_I1 || base == orva::VT_UI1) ? 100 : 1000;
    const auto value = static_cast<int64_t>((10 * k + count) % static_cast<uint64_t>(span));
    if (base == orva::VT_R4) return 20.0 + static_cast<double>(value) / 10.0;
    if (base == orva::VT_I1) return static_cast<double>(value - 50);
    return static_cast<double>(value);
}

opc::SOCmnVariant arrayValue(const ConfigTag& tag, uint64_t step)
{
    opc::SOCmnVariant value;
    const VarType base = orva::baseType(tag.layout.type);
    const std::size_t n = tag.layout.elements;
    if (!value.initArray(base, n) || n == 0) return value;
    for (std::size_t k = 0; k < n; ++k) {
        if (base == orva::VT_BOOL) {
            value.setArrayBool(k, step % n == k);
        } else {
            // Steps 0, 1, 2 ... touch elements 0, 1, 2 ... in turn.
            const uint64_t count = step >= k ? (step - k) / n + 1 : 0;
            value.setArrayDouble(k, arrayElement(base, k, count));
        }
    }
    return value;
}

}  // namespace

TagAnimation::TagAnimation(std::vector<ConfigTag> tags, std::chrono::milliseconds period)
    : tags_(std::move(tags)), period_(period.count() > 0 ? period : std::chrono::milliseconds(200))
{
    std::map<VarType, std::size_t> seen;
    for (const ConfigTag& tag : tags_)
        variants_.push_back(seen[tag.layout.type]++);
}

opc::SOCmnVariant TagAnimation::valueAt(const ConfigTag& tag, std::size_t variant, uint64_t step,
                                        double seconds)
{
    opc::SOCmnVariant value;
    const VarType type = tag.layout.type;
    if (orva::isArrayType(type)) return arrayValue(tag, step);
    switch (type) {
        case orva::VT_BOOL:
            value.setBool(toggle(seconds, variant));
            break;
        case orva::VT_R4:
            value.setR4(static_cast<float>(sine(seconds, variant)));
            break;
        case orva::VT_BSTR: {
            const int64_t number = ramp(seconds, 0.2, 1, 12, 1 + static_cast<int64_t>(variant));
            const std::string text = "Recipe " + std::to_string(number);
            value.setString(std::u16string(text.begin(), text.end()));
            break;
        }
        case orva::VT_I1:
        case orva::VT_UI1:
        case orva::VT_I2:
        case orva::VT_UI2:
        case orva::VT_I4:
        case orva::VT_UI4: {
            // The encoder writes by the tag's type; VT_I4 and VT_UI4 carry every value here.
            const int64_t n = scalarInt(type, seconds, step, variant);
            if (type == orva::VT_UI4)
                value.setUI4(static_cast<uint32_t>(n));
            else
                value.setI4(static_cast<int32_t>(n));
            break;
        }
        default:
            break;
    }
    return value;
}

void TagAnimation::write(PlcSimulator& simulator, std::size_t index, uint64_t step) const
{
    const ConfigTag& tag = tags_[index];
    const double seconds = static_cast<double>(step) * static_cast<double>(period_.count()) / 1000.0;
    const opc::SOCmnVariant value = valueAt(tag, variants_[index], step, seconds);
    if (value.isEmpty()) return;
    const std::size_t length = orva::core::tagByteLength(tag.layout);
    // Bits of a byte shared with other tags stay as they are: the encoder only sets its own.
    simulator.updateMemory(tag.dataBlock, tag.dataByte, length, [&](std::span<uint8_t> bytes) {
        orva::core::valueToBytes(tag.layout, value, bytes);
    });
}

void TagAnimation::seed(PlcSimulator& simulator) const
{
    const auto seedStep = static_cast<uint64_t>(kSeedSeconds * 1000.0 / static_cast<double>(period_.count()));
    for (std::size_t i = 0; i < tags_.size(); ++i)
        write(simulator, i, tags_[i].writable ? seedStep : 0);
}

void TagAnimation::apply(PlcSimulator& simulator, uint64_t step) const
{
    for (std::size_t i = 0; i < tags_.size(); ++i) {
        if (!tags_[i].writable) write(simulator, i, step);
    }
}

std::size_t TagAnimation::animatedCount() const
{
    std::size_t count = 0;
    for (const ConfigTag& tag : tags_)
        count += tag.writable ? 0 : 1;
    return count;
}

}  // namespace orva::plcsim
