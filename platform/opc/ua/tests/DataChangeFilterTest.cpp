// The data-change filter rules: which filters an item may carry, and which samples are worth a
// notification under each trigger and deadband.
#include <gtest/gtest.h>

#include <cmath>

#include "opcua/Binary.h"
#include "opcua/DataChangeFilter.h"

using namespace orva::opcua;

namespace {
ExtensionObject filter(int32_t trigger, uint32_t deadbandType, double deadband)
{
    ExtensionObject e;
    e.typeId = NodeId::num(kDataChangeFilterEncoding);
    e.encoding = 1;
    std::vector<uint8_t> body;
    Writer w(body);
    w.i32(trigger);
    w.u32(deadbandType);
    w.f64(deadband);
    e.body.assign(body.begin(), body.end());
    return e;
}

DataValue sample(Variant v, StatusCode s = status::Good, DateTime t = 1000)
{
    DataValue d = DataValue::ofValue(std::move(v), t);
    d.status = s;
    return d;
}

DataChangeRule rule(DataChangeTrigger trigger, double absolute = 0)
{
    return DataChangeRule{trigger, absolute > 0 ? DeadbandType::Absolute : DeadbandType::None, absolute};
}
}  // namespace

TEST(DataChangeFilter, DecodesWhatTheServerCanHonour)
{
    DataChangeRule r;
    EXPECT_EQ(decodeDataChangeFilter(ExtensionObject{}, r), status::Good);
    EXPECT_EQ(r.trigger, DataChangeTrigger::StatusValue);
    EXPECT_EQ(decodeDataChangeFilter(filter(2, 1, 0.0), r), status::Good);  // Absolute 0.0
    EXPECT_EQ(r.deadband, DeadbandType::Absolute);
    EXPECT_EQ(decodeDataChangeFilter(filter(0, 1, 2.5), r), status::Good);
    EXPECT_EQ(r.deadbandValue, 2.5);

    EXPECT_EQ(decodeDataChangeFilter(filter(1, 2, 10), r), status::BadMonitoredItemFilterUnsupported);
    EXPECT_EQ(decodeDataChangeFilter(filter(1, 1, -1), r), status::BadDeadbandFilterInvalid);
    EXPECT_EQ(decodeDataChangeFilter(filter(1, 1, std::nan("")), r), status::BadDeadbandFilterInvalid);
    EXPECT_EQ(decodeDataChangeFilter(filter(3, 0, 0), r), status::BadMonitoredItemFilterInvalid);
    EXPECT_EQ(decodeDataChangeFilter(filter(1, 3, 0), r), status::BadMonitoredItemFilterInvalid);
    ExtensionObject truncated = filter(1, 1, 1);
    truncated.body.resize(6);
    EXPECT_EQ(decodeDataChangeFilter(truncated, r), status::BadMonitoredItemFilterInvalid);
    ExtensionObject other = filter(1, 0, 0);
    other.typeId = NodeId::num(727);  // EventFilter
    EXPECT_EQ(decodeDataChangeFilter(other, r), status::BadMonitoredItemFilterUnsupported);

    EXPECT_EQ(checkRuleFor(rule(DataChangeTrigger::StatusValue, 1), true, BuiltinType::String),
              status::BadFilterNotAllowed);
    EXPECT_EQ(checkRuleFor(rule(DataChangeTrigger::StatusValue, 1), true, BuiltinType::Float), status::Good);
    EXPECT_EQ(checkRuleFor(rule(DataChangeTrigger::Status), false, BuiltinType::Int32),
              status::BadFilterNotAllowed);
}

TEST(DataChangeFilter, TriggersDecideWhetherValueAndTimestampCount)
{
    const DataValue last = sample(Variant::int32(5));
    DataValue sameLater = sample(Variant::int32(5), status::Good, 2000);
    const DataValue changed = sample(Variant::int32(6));
    const DataValue bad = sample(Variant::int32(5), status::BadCommunicationError);

    for (auto t :
         {DataChangeTrigger::Status, DataChangeTrigger::StatusValue, DataChangeTrigger::StatusValueTimestamp})
        EXPECT_TRUE(passesFilter(rule(t), last, bad));
    EXPECT_FALSE(passesFilter(rule(DataChangeTrigger::Status), last, changed));
    EXPECT_TRUE(passesFilter(rule(DataChangeTrigger::StatusValue), last, changed));
    EXPECT_FALSE(passesFilter(rule(DataChangeTrigger::StatusValue), last, sameLater));
    EXPECT_TRUE(passesFilter(rule(DataChangeTrigger::StatusValueTimestamp), last, sameLater));
}

TEST(DataChangeFilter, AbsoluteDeadbandComparesWithTheLastReportedValue)
{
    const auto dbl = [](double d) { return sample(Variant::dbl(d)); };
    const DataChangeRule two = rule(DataChangeTrigger::StatusValue, 2.0);
    EXPECT_FALSE(passesFilter(two, dbl(10), dbl(12)));  // exactly the deadband is no change
    EXPECT_TRUE(passesFilter(two, dbl(10), dbl(12.5)));
    EXPECT_TRUE(passesFilter(two, dbl(10), dbl(7.9)));
    EXPECT_TRUE(passesFilter(two, dbl(10), dbl(std::nan(""))));
    EXPECT_FALSE(passesFilter(two, dbl(std::nan("")), dbl(std::nan(""))));
    // Absolute 0.0 reports every change, like no deadband.
    EXPECT_TRUE(passesFilter(rule(DataChangeTrigger::StatusValue, 0.0), dbl(10), dbl(10.001)));
    // Unsigned values far apart do not wrap.
    EXPECT_TRUE(passesFilter(two, sample(Variant::of(BuiltinType::UInt32, uint64_t{0})),
                             sample(Variant::of(BuiltinType::UInt32, uint64_t{4000000000u}))));

    // An array is reported whole when any element moved beyond the deadband or its length changed.
    const auto arr = [](std::vector<Scalar> e) { return sample(Variant::arrayOf(BuiltinType::Double, e)); };
    EXPECT_FALSE(passesFilter(two, arr({1.0, 2.0}), arr({2.0, 3.5})));
    EXPECT_TRUE(passesFilter(two, arr({1.0, 2.0}), arr({1.0, 4.5})));
    EXPECT_TRUE(passesFilter(two, arr({1.0, 2.0}), arr({1.0})));
}
