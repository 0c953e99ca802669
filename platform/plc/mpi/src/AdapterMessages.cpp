#include "mpi/AdapterMessages.h"

#include <algorithm>

#include "plc/ByteReader.h"

namespace orva::mpi {
namespace {

constexpr uint8_t kAdapterVersion = 1;

std::vector<uint8_t> bytes(std::initializer_list<uint8_t> list)
{
    return std::vector<uint8_t>(list);
}

}  // namespace

std::vector<uint8_t> encodeInit(uint8_t localAddress)
{
    return bytes({static_cast<uint8_t>(MessageType::Init), localAddress, kHighestBusAddress, kBusSpeed187k5});
}

std::vector<uint8_t> encodeConnect(uint8_t connection, uint8_t station, uint8_t slot)
{
    return bytes({static_cast<uint8_t>(MessageType::Connect), connection, station, slot});
}

std::vector<uint8_t> encodeData(MessageType type, uint8_t connection, uint8_t sequence,
                                std::span<const uint8_t> pdu)
{
    std::vector<uint8_t> out(3 + pdu.size());
    out[0] = static_cast<uint8_t>(type);
    out[1] = connection;
    out[2] = sequence;
    std::copy(pdu.begin(), pdu.end(), out.begin() + 3);
    return out;
}

std::vector<uint8_t> encodeAck(uint8_t connection, uint8_t sequence)
{
    return bytes({static_cast<uint8_t>(MessageType::Ack), connection, sequence});
}

std::vector<uint8_t> encodeDisconnect(uint8_t connection)
{
    return bytes({static_cast<uint8_t>(MessageType::Disconnect), connection});
}

std::vector<uint8_t> encodeInitReply(uint8_t status)
{
    return bytes({static_cast<uint8_t>(MessageType::InitReply), status, kAdapterVersion});
}

std::vector<uint8_t> encodeReply(MessageType type, uint8_t connection, uint8_t status)
{
    return bytes({static_cast<uint8_t>(type), connection, status});
}

std::vector<uint8_t> encodeError(uint8_t code)
{
    return bytes({static_cast<uint8_t>(MessageType::Error), code});
}

bool decodeFromPc(std::span<const uint8_t> payload, Message& out)
{
    plc::ByteReader in(payload);
    out = {};
    out.type = static_cast<MessageType>(in.u8());
    switch (out.type) {
        case MessageType::Init:
            out.address = in.u8();
            out.slot = in.u8();
            out.busSpeed = in.u8();
            break;
        case MessageType::Connect:
            out.connection = in.u8();
            out.address = in.u8();
            out.slot = in.u8();
            break;
        case MessageType::Data:
            out.connection = in.u8();
            out.sequence = in.u8();
            out.pdu = in.bytes(in.remaining());
            return in.ok() && !out.pdu.empty();
        case MessageType::Ack:
            out.connection = in.u8();
            out.sequence = in.u8();
            break;
        case MessageType::Disconnect:
            out.connection = in.u8();
            break;
        default:
            return false;
    }
    return in.ok() && in.atEnd();
}

bool decodeFromAdapter(std::span<const uint8_t> payload, Message& out)
{
    plc::ByteReader in(payload);
    out = {};
    out.type = static_cast<MessageType>(in.u8());
    switch (out.type) {
        case MessageType::InitReply:
            out.status = in.u8();
            out.version = in.u8();
            break;
        case MessageType::ConnectReply:
        case MessageType::DisconnectReply:
            out.connection = in.u8();
            out.status = in.u8();
            break;
        case MessageType::DataReply:
            out.connection = in.u8();
            out.sequence = in.u8();
            out.pdu = in.bytes(in.remaining());
            return in.ok() && !out.pdu.empty();
        case MessageType::Error:
            out.status = in.u8();
            break;
        default:
            return false;
    }
    return in.ok() && in.atEnd();
}

}  // namespace orva::mpi
