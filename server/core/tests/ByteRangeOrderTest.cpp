// Start and count of a data-block access are distinct types from the communication thread down
// to the S7 encoder: a call with the two swapped, or with plain integers, does not compile.
#include <cstdint>
#include <type_traits>

#include "core/PlcTransport.h"
#include "plc/ByteRange.h"
#include "plc/S7Protocol.h"

namespace orva::core {
namespace {

static_assert(!std::is_convertible_v<plc::ByteCount, plc::ByteOffset>);
static_assert(!std::is_convertible_v<plc::ByteOffset, plc::ByteCount>);
static_assert(!std::is_convertible_v<uint32_t, plc::ByteOffset>);
static_assert(!std::is_convertible_v<uint32_t, plc::ByteCount>);

template <class Start, class Count>
concept TransportReads = requires(PlcTransport& transport, Start start, Count count, uint8_t* destination)
{
    transport.readBytes(uint16_t{1}, start, count, destination);
};
template <class Start, class Count>
concept TransportWrites = requires(PlcTransport& transport, Start start, Count count, const uint8_t* source)
{
    transport.writeBytes(uint16_t{1}, start, count, source);
};
template <class Start, class Count>
concept EncodesRead = requires(Start start, Count count)
{
    plc::s7::encodeReadRequest(uint16_t{1}, uint16_t{1}, start, count);
};

static_assert(TransportReads<plc::ByteOffset, plc::ByteCount>);
static_assert(!TransportReads<plc::ByteCount, plc::ByteOffset>);
static_assert(!TransportReads<uint16_t, uint16_t>);
static_assert(TransportWrites<plc::ByteOffset, plc::ByteCount>);
static_assert(!TransportWrites<plc::ByteCount, plc::ByteOffset>);
static_assert(!TransportWrites<uint16_t, uint16_t>);
static_assert(EncodesRead<plc::ByteOffset, plc::ByteCount>);
static_assert(!EncodesRead<plc::ByteCount, plc::ByteOffset>);
static_assert(!EncodesRead<uint32_t, uint16_t>);

}  // namespace
}  // namespace orva::core
