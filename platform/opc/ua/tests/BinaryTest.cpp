// The binary encoding against byte vectors of the OPC UA encoding rules, and the reader's
// resistance to malformed input.
#include <gtest/gtest.h>

#include "opcua/Binary.h"

using namespace orva::opcua;

namespace {
std::vector<uint8_t> encode(const std::function<void(Writer&)>& f)
{
    std::vector<uint8_t> out;
    Writer w(out);
    f(w);
    return out;
}
using Bytes = std::vector<uint8_t>;
}  // namespace

TEST(Binary, PrimitivesMatchPublishedExamples)
{
    EXPECT_EQ(encode([](Writer& w) { w.boolean(true); }), (Bytes{0x01}));
    EXPECT_EQ(encode([](Writer& w) { w.i32(1000000000); }), (Bytes{0x00, 0xCA, 0x9A, 0x3B}));
    EXPECT_EQ(encode([](Writer& w) { w.f32(-6.5f); }), (Bytes{0x00, 0x00, 0xD0, 0xC0}));
    // "水Boy": UTF-8 bytes with a 32-bit length.
    EXPECT_EQ(encode([](Writer& w) {
                  w.string(
                      "\xE6\xB0\xB4"
                      "Boy");
              }),
              (Bytes{0x06, 0x00, 0x00, 0x00, 0xE6, 0xB0, 0xB4, 0x42, 0x6F, 0x79}));
    EXPECT_EQ(encode([](Writer& w) { w.nullString(); }), (Bytes{0xFF, 0xFF, 0xFF, 0xFF}));
    Guid g{0xC496578A, 0x0DFE, 0x4B8F, {0x87, 0x0A, 0x74, 0x52, 0x38, 0xC6, 0xAE, 0xAE}};
    EXPECT_EQ(encode([&](Writer& w) { w.guid(g); }), (Bytes{0x8A, 0x57, 0x96, 0xC4, 0xFE, 0x0D, 0x8F, 0x4B,
                                                            0x87, 0x0A, 0x74, 0x52, 0x38, 0xC6, 0xAE, 0xAE}));
    // 1970-01-01 00:00 UTC is 116444736000000000 ticks after 1601-01-01.
    EXPECT_EQ(toDateTime(std::chrono::system_clock::time_point{}), 116444736000000000LL);
    EXPECT_EQ(encode([](Writer& w) { w.dateTime(116444736000000000LL); }),
              (Bytes{0x00, 0x80, 0x3E, 0xD5, 0xDE, 0xB1, 0x9D, 0x01}));
}

TEST(Binary, NodeIdFormsMatchPublishedExamples)
{
    EXPECT_EQ(encode([](Writer& w) { w.nodeId(NodeId::num(72)); }), (Bytes{0x00, 0x48}));
    EXPECT_EQ(encode([](Writer& w) { w.nodeId(NodeId::num(1025, 5)); }), (Bytes{0x01, 0x05, 0x01, 0x04}));
    EXPECT_EQ(encode([](Writer& w) { w.nodeId(NodeId::str("Hot\xE6\xB0\xB4", 1)); }),
              (Bytes{0x03, 0x01, 0x00, 0x06, 0x00, 0x00, 0x00, 0x48, 0x6F, 0x74, 0xE6, 0xB0, 0xB4}));
    // Numeric ids beyond 16 bits, or namespaces beyond 255, take the full form.
    EXPECT_EQ(encode([](Writer& w) { w.nodeId(NodeId::num(70000, 2)); }),
              (Bytes{0x02, 0x02, 0x00, 0x70, 0x11, 0x01, 0x00}));
    // Expanded node id with a namespace URI and a server index.
    EXPECT_EQ(encode([](Writer& w) {
                  w.expandedNodeId(ExpandedNodeId{NodeId::num(1), "u", 2});
              }),
              (Bytes{0xC0, 0x01, 0x01, 0x00, 0x00, 0x00, 0x75, 0x02, 0x00, 0x00, 0x00}));

    for (const NodeId& id : {NodeId::num(72), NodeId::num(1025, 5), NodeId::num(70000, 300),
                             NodeId::str("Line1.Drives.Speed")}) {
        const auto bytes = encode([&](Writer& w) { w.nodeId(id); });
        Reader r(bytes);
        EXPECT_EQ(r.nodeId(), id);
        EXPECT_TRUE(r.ok() && r.atEnd());
    }
}

TEST(Binary, VariantsAndCompositesRoundTrip)
{
    EXPECT_EQ(encode([](Writer& w) { w.variant(Variant::int32(1)); }), (Bytes{0x06, 0x01, 0x00, 0x00, 0x00}));
    EXPECT_EQ(encode([](Writer& w) {
                  w.variant(Variant::arrayOf(BuiltinType::Int16, {int64_t{1}, int64_t{-1}}));
              }),
              (Bytes{0x84, 0x02, 0x00, 0x00, 0x00, 0x01, 0x00, 0xFF, 0xFF}));
    EXPECT_EQ(encode([](Writer& w) { w.variant(Variant{}); }), (Bytes{0x00}));
    EXPECT_EQ(encode([](Writer& w) {
                  w.localizedText({"en", "x"});
              }),
              (Bytes{0x03, 0x02, 0x00, 0x00, 0x00, 0x65, 0x6E, 0x01, 0x00, 0x00, 0x00, 0x78}));
    EXPECT_EQ(encode([](Writer& w) { w.localizedText({"", ""}); }), (Bytes{0x00}));
    // Data value with value, status and source time stamp.
    DataValue dv = DataValue::ofValue(Variant::boolean(true), 1, 0);
    dv.status = status::Uncertain;
    EXPECT_EQ(encode([&](Writer& w) { w.dataValue(dv); }),
              (Bytes{0x07, 0x01, 0x01, 0x00, 0x00, 0x00, 0x40, 0x01, 0, 0, 0, 0, 0, 0, 0}));

    const std::vector<Variant> samples = {
        Variant::of(BuiltinType::SByte, int64_t{-5}),
        Variant::of(BuiltinType::Byte, uint64_t{250}),
        Variant::of(BuiltinType::UInt16, uint64_t{65535}),
        Variant::uint32(4000000000u),
        Variant::of(BuiltinType::Float, 1.5),
        Variant::dbl(-2.25),
        Variant::string("text"),
        Variant::dateTime(12345),
        Variant::of(BuiltinType::Int64, int64_t{-1} << 40),
        Variant::of(BuiltinType::QualifiedName, QualifiedName{1, "q"}),
        Variant::arrayOf(BuiltinType::Boolean, {int64_t{1}, int64_t{0}, int64_t{1}}),
        Variant::arrayOf(BuiltinType::String, {std::string("a"), std::string("")}),
    };
    for (const Variant& v : samples) {
        const auto bytes = encode([&](Writer& w) { w.variant(v); });
        Reader r(bytes);
        const Variant back = r.variant();
        ASSERT_TRUE(r.ok() && r.atEnd());
        EXPECT_EQ(back.type, v.type);
        EXPECT_EQ(back.isArray, v.isArray);
        EXPECT_EQ(encode([&](Writer& w) { w.variant(back); }), bytes);
    }
    // A two-dimensional array keeps its dimensions.
    Variant matrix = Variant::arrayOf(BuiltinType::Byte, std::vector<Scalar>(6, uint64_t{7}));
    matrix.dimensions = {2, 3};
    const auto bytes = encode([&](Writer& w) { w.variant(matrix); });
    Reader r(bytes);
    EXPECT_EQ(r.variant().dimensions, (std::vector<int32_t>{2, 3}));
    EXPECT_TRUE(r.ok());
}

TEST(Binary, ReaderRejectsMalformedInput)
{
    const auto rejects = [](Bytes bytes, const std::function<void(Reader&)>& read) {
        Reader r(bytes);
        read(r);
        return !r.ok();
    };
    // Truncated primitives and strings.
    EXPECT_TRUE(rejects({0x01, 0x02}, [](Reader& r) { r.u32(); }));
    EXPECT_TRUE(rejects({0x05, 0x00, 0x00, 0x00, 0x41}, [](Reader& r) { r.string(); }));
    EXPECT_TRUE(rejects({0xFE, 0xFF, 0xFF, 0xFF}, [](Reader& r) { r.string(); }));  // length -2
    // An array length far beyond the bytes present is refused before anything is allocated.
    EXPECT_TRUE(rejects({0xFF, 0xFF, 0xFF, 0x7F, 0x00}, [](Reader& r) { r.arrayLength(1); }));
    EXPECT_TRUE(rejects({0x86, 0xFF, 0xFF, 0xFF, 0x7F}, [](Reader& r) { r.variant(); }));
    // Unknown variant type, unknown node id form, expanded flags in a plain node id.
    EXPECT_TRUE(rejects({0x1A}, [](Reader& r) { r.variant(); }));
    EXPECT_TRUE(rejects({0x07, 0x00}, [](Reader& r) { r.nodeId(); }));
    EXPECT_TRUE(rejects({0x80, 0x01}, [](Reader& r) { r.nodeId(); }));
    // Dimensions that do not multiply to the element count.
    EXPECT_TRUE(
        rejects({0xC3, 0x02, 0, 0, 0, 1, 2, 0x01, 0, 0, 0, 0x03, 0, 0, 0}, [](Reader& r) { r.variant(); }));
    // Deeply nested variants stop at the nesting limit instead of exhausting the stack.
    Bytes nested(10000, 0x18);  // Variant inside variant inside ...
    EXPECT_TRUE(rejects(nested, [](Reader& r) { r.variant(); }));
    Bytes diag(10000, 0x40);
    EXPECT_TRUE(rejects(diag, [](Reader& r) { r.diagnosticInfo(); }));
    // After a failure every read yields zero and the reader stays failed.
    Reader r(Bytes{0x01});
    r.u32();
    EXPECT_EQ(r.u8(), 0);
    EXPECT_FALSE(r.ok());
}
