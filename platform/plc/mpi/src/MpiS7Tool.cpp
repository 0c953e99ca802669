#include "mpi/MpiS7Tool.h"

#include <algorithm>
#include <cstring>

#include "mpi/MpiErrorCodes.h"
#include "plc/S7ErrorCodes.h"

namespace orva::mpi {

void MpiS7Tool::setSerial(const char* com, int baudrate, int dataBits, int parity, int stopBits, int master)
{
    if (com != nullptr) line_.port = com;
    line_.baudrate = static_cast<uint32_t>(baudrate);
    line_.dataBits = static_cast<uint8_t>(dataBits);
    line_.parity = parity == 0 ? Parity::None : parity == 2 ? Parity::Even : Parity::Odd;
    line_.stopBits = stopBits == 0 ? 1 : 2;
    localAddress_ = static_cast<uint8_t>(master);
}

int MpiS7Tool::errorText(int code, char* buffer)
{
    if (buffer == nullptr) return plc::kS7BadArgument;
    if (code == 0) {
        const size_t n = strnlen(buffer, kMpiDataFilePathCapacity);
        stations_.setDataFile(std::string(buffer, n < kMpiDataFilePathCapacity ? n : 0));
        return 0;
    }
    const char* text = mpiErrorMessage(code);
    std::string message = text != nullptr ? text : "Unknown error " + std::to_string(code);
    if (code == kMpiPortError) {
        const std::string problem = stations_.portProblem();
        if (!problem.empty()) message += ": " + problem;
    }
    const size_t n = std::min(message.size(), kMpiErrorTextCapacity - 1);
    std::memcpy(buffer, message.data(), n);
    buffer[n] = '\0';
    return 0;
}

}  // namespace orva::mpi
