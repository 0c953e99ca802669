#pragma once
// Transport settings that the configuration file carries for some server kinds; the transport
// of the kind receives them while the file is loaded.

#include <cstdint>
#include <string>

namespace orva::core {

// Serial line of the MPI-emulation transport, in the order the port-opening operation takes them.
struct SerialSettings {
    std::string com;
    uint32_t baudrate = 0;
    uint8_t databits = 0;
    uint8_t parity = 0;    // 0 none, 1 odd, 2 even
    uint8_t stopbits = 0;  // 0 one, 2 two
    uint8_t master = 0;
};

class TransportSettings {
public:
    virtual ~TransportSettings() = default;
    // Vardel: the SAPI-S7 interface name.
    virtual void setInterfaceName(const std::string& name) = 0;
    // Lorvik: opens the serial port with these settings.
    virtual void openSerialPort(const SerialSettings& settings) = 0;
};

}  // namespace orva::core
