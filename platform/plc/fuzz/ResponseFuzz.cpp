// Feeds arbitrary bytes from a PLC to the access library's decoders: once as a byte stream
// through TPKT/COTP framing and reassembly, once straight to each decoder.
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "plc/IsoTransport.h"
#include "plc/S7Protocol.h"

namespace {

using namespace orva::plc::s7;

void decodeAll(std::span<const uint8_t> pdu)
{
    // Use the PDU's own reference, so that the decoders get past the reference check.
    const uint16_t ref = pdu.size() >= 6 ? static_cast<uint16_t>((pdu[4] << 8) | pdu[5]) : 0;
    std::vector<uint8_t> destination(pdu.size() > kReadResponseOverhead ? pdu.size() - kReadResponseOverhead
                                                                        : 4);
    decodeReadResponse(pdu, ref, destination);
    decodeWriteResponse(pdu, ref);
    uint16_t size = 0;
    decodeSetupResponse(pdu, ref, size);
    S7Header header;
    decodeS7Header(pdu, header);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::span<const uint8_t> bytes(data, size);
    tpktFrameLength(bytes);
    CotpFrame cotp;
    decodeCotp(bytes, cotp);
    decodeAll(bytes);

    int pair[2];
    if (size > 60000 || ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, pair) != 0)
        return 0;
    orva::plc::UniqueFd reader(pair[0]);
    orva::plc::UniqueFd writer(pair[1]);
    if (size > 0 && ::write(writer.get(), data, size) != static_cast<ssize_t>(size)) return 0;
    writer.reset();  // end of stream after the input
    std::vector<uint8_t> pdu;
    for (int i = 0; i < 100; ++i) {
        const orva::plc::FrameStatus status =
            orva::plc::readPdu(reader.get(), pdu, orva::plc::Deadline(std::chrono::milliseconds(100)));
        if (status != orva::plc::FrameStatus::Ok) break;
        decodeAll(pdu);
    }
    return 0;
}
