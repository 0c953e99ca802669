// Value conversion per tag, for every supported type: PLC bytes into a value (what every cyclic
// read does for each covered tag) and a write value into bytes.
// Arrays and strings: 32 elements; bit arrays: 64 bits.

#include <benchmark/benchmark.h>

#include <vector>

#include "core/ValueConversion.h"

using namespace orva::opc;

using namespace orva;
using namespace orva::core;

namespace {

struct Case {
    const char* name;
    TagLayout layout;
};

const Case kCases[] = {
    {"VT_BOOL", {VT_BOOL, 3, 0}},
    {"VT_I1", {VT_I1, 0, 0}},
    {"VT_UI1", {VT_UI1, 0, 0}},
    {"VT_I2", {VT_I2, 0, 0}},
    {"VT_UI2", {VT_UI2, 0, 0}},
    {"VT_I4", {VT_I4, 0, 0}},
    {"VT_UI4", {VT_UI4, 0, 0}},
    {"VT_R4", {VT_R4, 0, 0}},
    {"VT_BSTR[32]", {VT_BSTR, 0, 32}},
    {"VT_BOOL_ARRAY[64]", {VT_ARRAY | VT_BOOL, 5, 64}},
    {"VT_UI1_ARRAY[32]", {VT_ARRAY | VT_UI1, 0, 32}},
    {"VT_I2_ARRAY[32]", {VT_ARRAY | VT_I2, 0, 32}},
    {"VT_UI4_ARRAY[32]", {VT_ARRAY | VT_UI4, 0, 32}},
    {"VT_R4_ARRAY[32]", {VT_ARRAY | VT_R4, 0, 32}},
};

std::vector<uint8_t> pattern(std::size_t n)
{
    std::vector<uint8_t> bytes(n);
    for (std::size_t i = 0; i < n; ++i)
        bytes[i] = static_cast<uint8_t>(0x41 + i % 26);
    return bytes;
}

// A value kept between reads, as a tag's cache keeps it: arrays are not reallocated.
void BM_BytesToValue(benchmark::State& state)
{
    const Case& c = kCases[state.range(0)];
    const std::vector<uint8_t> bytes = pattern(tagByteLength(c.layout));
    SOCmnVariant value;
    for (auto _ : state) {
        bytesToValue(c.layout, bytes, value);
        benchmark::DoNotOptimize(value);
    }
    state.SetLabel(c.name);
    state.SetItemsProcessed(state.iterations());
}

void BM_ValueToBytes(benchmark::State& state)
{
    const Case& c = kCases[state.range(0)];
    std::vector<uint8_t> bytes = pattern(tagByteLength(c.layout));
    SOCmnVariant value;
    bytesToValue(c.layout, bytes, value);
    for (auto _ : state) {
        valueToBytes(c.layout, value, bytes);
        benchmark::DoNotOptimize(bytes.data());
        benchmark::ClobberMemory();
    }
    state.SetLabel(c.name);
    state.SetItemsProcessed(state.iterations());
}

constexpr int kCaseCount = static_cast<int>(sizeof kCases / sizeof kCases[0]);

}  // namespace

BENCHMARK(BM_BytesToValue)->DenseRange(0, kCaseCount - 1);
BENCHMARK(BM_ValueToBytes)->DenseRange(0, kCaseCount - 1);
