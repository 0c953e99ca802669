#include "mpi/MpiLink.h"

#include "mpi/MpiErrorCodes.h"
#include "plc/S7ErrorCodes.h"
#include "plc/S7Protocol.h"

namespace orva::mpi {
namespace s7 = orva::plc::s7;

namespace {

int codeOf(LineStatus status, int silentCode)
{
    switch (status) {
        case LineStatus::Ok:
            return kMpiOk;
        case LineStatus::Silent:
        case LineStatus::Timeout:
            return silentCode;
        case LineStatus::PortError:
            return kMpiPortError;
        case LineStatus::Rejected:
        case LineStatus::Garbled:
        case LineStatus::Stopped:
            break;
    }
    return kMpiLinkFailure;
}

}  // namespace

int MpiLink::fail(int code)
{
    if (!isLinkLevel(code)) return code;
    const bool wanted = wanted_;
    close();
    wanted_ = wanted;
    return code;
}

void MpiLink::close()
{
    wanted_ = false;
    if (line_) closedBytes_ += line_->bytesSent() + line_->bytesReceived();
    line_.reset();
    closeSerialPort(port_);
    for (Connection& connection : connections_)
        connection = {};
    selected_ = 0;
}

uint64_t MpiLink::wireBytes() const
{
    return closedBytes_ + (line_ ? line_->bytesSent() + line_->bytesReceived() : 0);
}

bool MpiLink::connected(int number) const
{
    return number >= 1 && static_cast<size_t>(number) <= connections_.size() &&
           connections_[static_cast<size_t>(number - 1)].connected;
}

int MpiLink::open(const LineSettings& line, uint8_t localAddress, std::vector<MpiStation> stations)
{
    close();
    stations_ = std::move(stations);
    lineSettings_ = line;
    localAddress_ = localAddress;
    wanted_ = true;
    return openPort();
}

int MpiLink::openPort()
{
    connections_.assign(stations_.size(), Connection{});
    const PortResult result = openSerialPort(lineSettings_, port_);
    if (result.status != PortStatus::Ok) {
        portProblem_ = result.detail;
        return kMpiPortError;
    }
    portProblem_.clear();
    line_ = std::make_unique<LineProcedure>(port_.get(), timeouts_.line);
    if (const int code = sendMessage(encodeInit(localAddress_)); code != kMpiOk) return fail(code);
    Message reply;
    if (const int code = receiveMessage(reply, timeouts_.answer, kMpiAdapterSilent); code != kMpiOk)
        return fail(code);
    if (reply.type != MessageType::InitReply || reply.status != kReplyOk) return fail(kMpiLinkFailure);
    return kMpiOk;
}

int MpiLink::sendMessage(const std::vector<uint8_t>& payload)
{
    const LineStatus status = line_->send(payload);
    if (status == LineStatus::PortError) portProblem_ = "the serial port failed while in use";
    return codeOf(status, kMpiAdapterSilent);
}

int MpiLink::receiveMessage(Message& message, std::chrono::milliseconds within, int silentCode)
{
    const LineStatus status = line_->receive(reply_, within);
    if (status != LineStatus::Ok) {
        if (status == LineStatus::PortError) portProblem_ = "the serial port failed while in use";
        return codeOf(status, silentCode);
    }
    if (!decodeFromAdapter(reply_, message)) return kMpiLinkFailure;
    return kMpiOk;
}

int MpiLink::select(int number)
{
    if (!isOpen() && wanted_) {
        if (const int code = openPort(); code != kMpiOk) return code;
    }
    if (!isOpen() || number < 1 || static_cast<size_t>(number) > stations_.size()) return kMpiNotConnected;
    selected_ = number;
    return ensureConnected(number);
}

int MpiLink::ensureConnected(int number)
{
    if (connections_[static_cast<size_t>(number - 1)].connected) return kMpiOk;
    return connectStation(number);
}

int MpiLink::connectStation(int number)
{
    const MpiStation& station = stations_[static_cast<size_t>(number - 1)];
    const auto connectionId = static_cast<uint8_t>(number);
    if (const int code = sendMessage(encodeConnect(connectionId, station.address, station.slot));
        code != kMpiOk)
        return fail(code);
    Message reply;
    if (const int code = receiveMessage(reply, timeouts_.answer, kMpiStationSilent); code != kMpiOk)
        return fail(code);
    if (reply.type == MessageType::Error && reply.status == kAdapterNotInitialised)
        return fail(kMpiLinkFailure);
    if (reply.type != MessageType::ConnectReply || reply.connection != connectionId)
        return fail(kMpiLinkFailure);
    if (reply.status != kReplyOk) return fail(kMpiStationSilent);

    Connection& connection = connections_[static_cast<size_t>(number - 1)];
    connection = {};
    connection.connected = true;
    const uint16_t ref = nextPduRef();
    std::vector<uint8_t> answer;
    if (const int code = exchange(number, s7::encodeSetupRequest(ref, s7::kMinPduSize), answer);
        code != kMpiOk)
        return code;
    uint16_t granted = 0;
    const s7::ResponseStatus status = s7::decodeSetupResponse(answer, ref, granted);
    if (status.kind != s7::ResponseKind::Ok || granted < s7::kMinPduSize) return fail(kMpiStationSilent);
    connection.pduSize = granted;
    return kMpiOk;
}

int MpiLink::exchange(int number, const std::vector<uint8_t>& request, std::vector<uint8_t>& answer)
{
    Connection& connection = connections_[static_cast<size_t>(number - 1)];
    const auto connectionId = static_cast<uint8_t>(number);
    const auto sequence = ++connection.sequence;
    if (const int code = sendMessage(encodeData(MessageType::Data, connectionId, sequence, request));
        code != kMpiOk)
        return fail(code);
    // A late answer to an earlier request may still come in first; it is passed over.
    const auto deadline = std::chrono::steady_clock::now() + timeouts_.answer;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return fail(kMpiStationSilent);
        Message reply;
        if (const int code = receiveMessage(reply, left, kMpiStationSilent); code != kMpiOk)
            return fail(code);
        if (reply.type == MessageType::Error) {
            if (reply.status == kAdapterNoConnection) {
                connection.connected = false;
                return fail(kMpiStationSilent);
            }
            return fail(kMpiLinkFailure);
        }
        if (reply.type != MessageType::DataReply || reply.connection != connectionId)
            return fail(kMpiLinkFailure);
        if (reply.sequence != sequence) continue;
        answer.assign(reply.pdu.begin(), reply.pdu.end());
        break;
    }
    if (const int code = sendMessage(encodeAck(connectionId, sequence)); code != kMpiOk) return fail(code);
    return kMpiOk;
}

int MpiLink::read(uint16_t dataBlock, uint16_t startByte, std::span<uint8_t> destination)
{
    if (!isOpen() || selected_ == 0) return kMpiNotConnected;
    if (destination.empty() || destination.size() > s7::kMaxReadPiece) return plc::kS7BadArgument;
    if (const int code = ensureConnected(selected_); code != kMpiOk) return code;
    const uint16_t ref = nextPduRef();
    std::vector<uint8_t> answer;
    const auto count = static_cast<uint16_t>(destination.size());
    if (const int code = exchange(selected_, s7::encodeReadRequest(ref, dataBlock, startByte, count), answer);
        code != kMpiOk)
        return code;
    const int code = plc::s7CodeFromResponse(s7::decodeReadResponse(answer, ref, destination));
    return code == plc::kS7ProtocolViolation ? fail(kMpiLinkFailure) : code;
}

int MpiLink::write(uint16_t dataBlock, uint16_t startByte, std::span<const uint8_t> source)
{
    if (!isOpen() || selected_ == 0) return kMpiNotConnected;
    if (source.empty() || source.size() > s7::kMaxWritePiece) return plc::kS7BadArgument;
    if (const int code = ensureConnected(selected_); code != kMpiOk) return code;
    const uint16_t ref = nextPduRef();
    std::vector<uint8_t> answer;
    if (const int code =
            exchange(selected_, s7::encodeWriteRequest(ref, dataBlock, startByte, source), answer);
        code != kMpiOk)
        return code;
    const int code = plc::s7CodeFromResponse(s7::decodeWriteResponse(answer, ref));
    return code == plc::kS7ProtocolViolation ? fail(kMpiLinkFailure) : code;
}

}  // namespace orva::mpi
