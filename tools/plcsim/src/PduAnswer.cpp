#include "SimulatorState.h"
#include "plc/S7Protocol.h"

namespace orva::plcsim {
namespace s7 = orva::plc::s7;

std::optional<std::vector<uint8_t>> PlcSimulator::answerPdu(std::span<const uint8_t> pdu, uint16_t& pduSize)
{
    Job job;
    const JobStatus status = decodeJob(pdu, job);
    if (status == JobStatus::Malformed) return std::nullopt;
    if (status == JobStatus::Unsupported) return encodeErrorResponse(job.pduRef, s7::kAck, 0x81, 0x04);
    if (job.function == s7::kFunctionSetup) {
        pduSize = grantPduSize(*state_, job.requestedPduSize);
        return encodeSetupResponse(job.pduRef, pduSize);
    }
    if (pdu.size() > pduSize) return encodeErrorResponse(job.pduRef, s7::kAckData, 0x85, 0x00);
    return answerJob(*state_, job, pduSize);
}

}  // namespace orva::plcsim
