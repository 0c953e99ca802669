// The payload codecs at their edges: what a consumer parses from the JSON the gateway writes,
// what the write decoder refuses, and Sparkplug B values through protobuf and back.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "mqtt/JsonFormat.h"
#include "mqtt/JsonWriteRequest.h"
#include "mqtt/SparkplugPayload.h"
#include "mqtt/StatusNames.h"

namespace orva::mqtt {
namespace {

std::string json(const opc::SOCmnVariant& v)
{
    std::string out;
    appendJsonValue(out, v);
    return out;
}

TEST(JsonPayload, ValuesAreValidJsonWhateverThePlcHolds)
{
    opc::SOCmnVariant v;
    v.setStringUtf8(std::string("a\"b\\c\n\x01", 8));
    EXPECT_EQ(json(v), R"("a\"b\\c\n\u0001\u0000")");
    v.setString(u"Temp\u00e9rature");
    EXPECT_EQ(json(v), "\"Temp\xc3\xa9rature\"");
    std::string raw;
    appendJsonString(raw, "ok\xff\xc3");  // not UTF-8
    EXPECT_EQ(raw, R"("ok\ufffd\ufffd")");
    v.setR4(std::numeric_limits<float>::quiet_NaN());
    EXPECT_EQ(json(v), "null");
    v.setR4(0.1f);
    EXPECT_EQ(json(v), "0.1");  // the float's shortest text, not 0.100000001
    v.setUI4(4294967295u);
    EXPECT_EQ(json(v), "4294967295");
    v.setBool(true);
    EXPECT_EQ(json(v), "true");
    v.initArray(orva::VT_BOOL, 3);
    v.setArrayBool(1, true);
    EXPECT_EQ(json(v), "[false,true,false]");
    v.initArray(orva::VT_I2, 2);
    v.setArrayInt(0, -300);
    EXPECT_EQ(json(v), "[-300,0]");
    EXPECT_EQ(json(opc::SOCmnVariant{}), "null");
}

TEST(JsonPayload, AnUpdateListsTheQualityOfTagsThatAreNotGoodOnly)
{
    EdgeModel model;
    model.tags = {TagInfo{"L.A", "A"}, TagInfo{"L.B.C", "B.C"}};
    PlcUpdate update;
    update.time = opc::TimeStamp(std::chrono::milliseconds(1765000000123));
    update.samples.resize(2);
    update.samples[0].tag = 0;
    update.samples[0].value.setI2(7);
    update.samples[0].quality = opc::OPC_QUALITY_GOOD;
    update.samples[1].tag = 1;
    update.samples[1].value.setI2(8);
    update.samples[1].quality = opc::OPC_QUALITY_COMM_FAILURE;
    EXPECT_EQ(
        encodeJsonUpdate(model, update),
        R"({"timestamp":1765000000123,"values":{"A":7,"B.C":8},"quality":{"B.C":"BadCommunicationError"}})");
}

TEST(JsonWriteDecoder, TakesScalarsAndArraysAndKeepsUnwritableValuesAsUntyped)
{
    const auto r = decodeJsonWriteRequest(
        R"( {"a": 5, "b": -2.5, "c": 4294967295, "d": "t\u00e9\ud83d\ude00", "e": [1, 2.5], "f": [true, false],
             "g": null, "h": {"x": [1]}, "i": [1, "x"], "j": [[1]], "k": true } )");
    ASSERT_TRUE(r.error.empty()) << r.error;
    ASSERT_EQ(r.entries.size(), 11u);
    EXPECT_EQ(r.entries[0].value.getType(), orva::VT_I4);
    EXPECT_EQ(r.entries[1].value.toDouble(), -2.5);
    EXPECT_EQ(r.entries[2].value.getType(), orva::VT_UI4);
    EXPECT_EQ(r.entries[3].value.toUtf8(), "t\xc3\xa9\xf0\x9f\x98\x80");
    EXPECT_EQ(r.entries[4].value.getArrayLength(), 2u);
    EXPECT_EQ(r.entries[4].value.getArrayDouble(1), 2.5);
    EXPECT_EQ(r.entries[5].value.getType(), orva::VT_BOOL | orva::VT_ARRAY);
    for (std::size_t i = 6; i <= 9; ++i)
        EXPECT_TRUE(r.entries[i].value.isEmpty()) << r.entries[i].itemId;
    EXPECT_TRUE(r.entries[10].value.toBool());
}

TEST(JsonWriteDecoder, RefusesWhatIsNotOneObjectOfValues)
{
    for (const char* bad :
         {"", "[1]", "{", R"({"a":1,})", R"({"a":1} x)", R"({"a": 01x})", R"({"a":"\ud800"})", R"({"a": [1,)",
          R"({"a": 1e999})", "{\"a\":\"\x01\"}", R"({a: 1})"}) {
        const auto r = decodeJsonWriteRequest(bad);
        EXPECT_FALSE(r.error.empty()) << bad;
        EXPECT_TRUE(r.entries.empty()) << bad;
    }
    std::string deep = R"({"a":)" + std::string(100, '[') + std::string(100, ']') + "}";
    EXPECT_FALSE(decodeJsonWriteRequest(deep).error.empty());
    std::string many = "{";
    for (std::size_t i = 0; i <= kMaxWriteItems; ++i)
        many += (i ? ",\"" : "\"") + std::to_string(i) + "\":1";
    EXPECT_FALSE(decodeJsonWriteRequest(many + "}").error.empty());
}

TEST(SparkplugPayload, ValuesOfEveryNativeTypeComeBackAsWritten)
{
    using namespace sparkplug;
    std::vector<Metric> metrics(6);
    metrics[0].datatype = dataTypeOf(orva::VT_I1);
    metrics[0].value.setI1(-5);
    metrics[1].datatype = dataTypeOf(orva::VT_UI4);
    metrics[1].value.setUI4(4000000000u);
    metrics[2].datatype = dataTypeOf(orva::VT_I2 | orva::VT_ARRAY);
    metrics[2].value.initArray(orva::VT_I2, 3);
    metrics[2].value.setArrayInt(0, -300);
    metrics[2].value.setArrayInt(2, 32767);
    metrics[3].datatype = dataTypeOf(orva::VT_BOOL | orva::VT_ARRAY);
    metrics[3].value.initArray(orva::VT_BOOL, 10);
    metrics[3].value.setArrayBool(0, true);
    metrics[3].value.setArrayBool(9, true);
    metrics[4].datatype = dataTypeOf(orva::VT_BSTR);
    metrics[4].value.setStringUtf8("Recipe 1");
    metrics[4].quality = opc::OPC_QUALITY_COMM_FAILURE;
    metrics[5].datatype = dataTypeOf(orva::VT_R4 | orva::VT_ARRAY);
    metrics[5].value.initArray(orva::VT_R4, 1);
    metrics[5].value.setArrayDouble(0, 1.5);
    for (std::size_t i = 0; i < metrics.size(); ++i)
        metrics[i].name = "m" + std::to_string(i);

    const auto back = decodeCommand(encodePayload(1, 0, metrics));
    ASSERT_TRUE(back);
    ASSERT_EQ(back->size(), metrics.size());
    EXPECT_EQ((*back)[0].datatype, datatype::Int8);
    EXPECT_EQ((*back)[0].value.toInt64(), -5);
    EXPECT_EQ((*back)[1].value.toInt64(), 4000000000);
    EXPECT_EQ((*back)[2].datatype, datatype::Int16Array);
    ASSERT_EQ((*back)[2].value.getArrayLength(), 3u);
    EXPECT_EQ((*back)[2].value.getArrayDouble(0), -300);
    EXPECT_EQ((*back)[2].value.getArrayDouble(2), 32767);
    ASSERT_EQ((*back)[3].value.getArrayLength(), 10u);
    EXPECT_EQ((*back)[3].value.getArrayInt(0), -1);  // VARIANT_TRUE
    EXPECT_EQ((*back)[3].value.getArrayInt(1), 0);
    EXPECT_NE((*back)[3].value.getArrayInt(9), 0);
    EXPECT_EQ((*back)[4].value.toUtf8(), "Recipe 1");
    EXPECT_EQ((*back)[5].value.getArrayDouble(0), 1.5);
    EXPECT_EQ((*back)[0].name, "m0");
}

TEST(SparkplugPayload, RefusesBytesThatAreNoPayloadAndArraysThatDoNotFitTheirType)
{
    EXPECT_FALSE(sparkplug::decodeCommand("\x12\xff\xff\xff\x0f"));  // a metric longer than the input
    sparkplug::Metric odd;
    odd.datatype = sparkplug::datatype::Int32Array;
    odd.value.initArray(orva::VT_I2, 1);  // 2 bytes: not a whole Int32
    std::vector<sparkplug::Metric> metrics{odd};
    metrics[0].datatype = sparkplug::datatype::Int16Array;
    std::string bytes = sparkplug::encodePayload(1, 0, metrics);
    // Retype the metric as Int32Array (datatype field 4 = 23 -> 24).
    const auto at = bytes.find(std::string("\x20\x17", 2));
    ASSERT_NE(at, std::string::npos);
    bytes[at + 1] = 24;
    const auto back = sparkplug::decodeCommand(bytes);
    ASSERT_TRUE(back);
    EXPECT_TRUE((*back)[0].value.isEmpty());
}

TEST(StatusNames, WriteOutcomesNameTheirReason)
{
    EXPECT_EQ(writeStatusName(opc::S_OK, opc::OPC_QUALITY_GOOD), "Good");
    EXPECT_EQ(writeStatusName(opc::OPC_E_BADRIGHTS, opc::OPC_QUALITY_BAD), "BadNotWritable");
    EXPECT_EQ(writeStatusName(opc::DISP_E_OVERFLOW, opc::OPC_QUALITY_BAD), "BadOutOfRange");
    EXPECT_EQ(writeStatusName(opc::E_FAIL, opc::OPC_QUALITY_COMM_FAILURE), "BadCommunicationError");
    EXPECT_EQ(writeStatusName(opc::E_FAIL, opc::OPC_QUALITY_GOOD), "Bad");  // a failure never reads Good
}

}  // namespace
}  // namespace orva::mqtt
