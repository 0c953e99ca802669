#pragma once
// The messages carried in the blocks of the serial link: the PC initialises the adapter with its
// own MPI address, connects to stations (MPI address and CPU slot) and sends S7 PDUs over a
// connection with a sequence number; the adapter answers each message, and the PC acknowledges
// every answered PDU. Byte layouts in docs/mpi-serial-link.md.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace orva::mpi {

enum class MessageType : uint8_t {
    Init = 0x01,             // PC: local address, highest bus address, bus speed code
    Connect = 0x02,          // PC: connection, station address, CPU slot
    Data = 0x03,             // PC: connection, sequence, S7 PDU
    Ack = 0x04,              // PC: connection, sequence (answer received; no reply)
    Disconnect = 0x05,       // PC: connection
    InitReply = 0x81,        // adapter: status, adapter version
    ConnectReply = 0x82,     // adapter: connection, status
    DataReply = 0x83,        // adapter: connection, sequence, S7 PDU of the station
    DisconnectReply = 0x85,  // adapter: connection, status
    Error = 0x8F,            // adapter: error code (message not understood or not possible now)
};

// Status of InitReply, ConnectReply and DisconnectReply.
enum ReplyStatus : uint8_t {
    kReplyOk = 0,
    kReplyStationAbsent = 1,   // no station answers at that MPI address
    kReplyStationRefused = 2,  // the station answers but has no CPU at that slot / no resources
};

// Codes of an Error message.
enum AdapterError : uint8_t {
    kAdapterUnknownMessage = 1,
    kAdapterNotInitialised = 2,
    kAdapterNoConnection = 3,
    kAdapterBadMessage = 4,
};

constexpr uint8_t kHighestBusAddress = 126;
constexpr uint8_t kBusSpeed187k5 = 2;  // the usual MPI bus speed

struct Message {
    MessageType type = MessageType::Error;
    uint8_t connection = 0;
    uint8_t sequence = 0;
    uint8_t status = 0;            // replies; the error code of Error
    uint8_t address = 0;           // Init: local address; Connect: station address
    uint8_t slot = 0;              // Connect: CPU slot; Init: highest bus address
    uint8_t busSpeed = 0;          // Init
    uint8_t version = 0;           // InitReply
    std::span<const uint8_t> pdu;  // Data, DataReply: into the decoded payload
};

std::vector<uint8_t> encodeInit(uint8_t localAddress);
std::vector<uint8_t> encodeConnect(uint8_t connection, uint8_t station, uint8_t slot);
std::vector<uint8_t> encodeData(MessageType type, uint8_t connection, uint8_t sequence,
                                std::span<const uint8_t> pdu);
std::vector<uint8_t> encodeAck(uint8_t connection, uint8_t sequence);
std::vector<uint8_t> encodeDisconnect(uint8_t connection);
std::vector<uint8_t> encodeInitReply(uint8_t status);
std::vector<uint8_t> encodeReply(MessageType type, uint8_t connection, uint8_t status);
std::vector<uint8_t> encodeError(uint8_t code);

// Messages the adapter receives from the PC, and those the PC receives from the adapter. False
// for an unknown type, a wrong length or a message that goes the other way.
bool decodeFromPc(std::span<const uint8_t> payload, Message& out);
bool decodeFromAdapter(std::span<const uint8_t> payload, Message& out);

}  // namespace orva::mpi
