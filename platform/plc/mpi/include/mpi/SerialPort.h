#pragma once
// A serial port in raw mode through termios, opened for one program at a time.
//
// A pseudo-terminal keeps neither the parity enable bit nor the character size (Linux forces 8
// bits without parity). So that a peer on the other side of a pseudo-terminal can still see the
// settings, a port with parity also asks for input parity checking (INPCK) and a port with
// fewer than 8 data bits for 7-bit input (ISTRIP); both flags survive on a pseudo-terminal and
// describe the line truthfully on a real port.
#include <termios.h>

#include <cstdint>
#include <string>

#include "common/UniqueFd.h"

namespace orva::mpi {

enum class Parity : uint8_t { None = 0, Odd = 1, Even = 2 };

struct LineSettings {
    std::string port = "/dev/ttyS0";
    uint32_t baudrate = 38400;
    uint8_t dataBits = 8;
    Parity parity = Parity::Odd;
    uint8_t stopBits = 1;

    bool operator==(const LineSettings&) const = default;
    // Bits one character takes on the line: start, data, parity, stop.
    unsigned bitsPerCharacter() const
    {
        return 1u + dataBits + (parity == Parity::None ? 0u : 1u) + stopBits;
    }
};

// "38400 8 O 1".
std::string describeLine(uint32_t baudrate, uint8_t dataBits, Parity parity, uint8_t stopBits);

// "COMn" (any case, n >= 1) names /dev/ttyS<n-1>; every other name is a device path as it stands.
std::string devicePathFor(const std::string& port);

// The termios speed constant for a baud rate; 0 when the system has none.
speed_t speedFor(uint32_t baudrate);
uint32_t baudrateOf(speed_t speed);

// The line settings that termios of an open port shows (see above for pseudo-terminals); the port
// field stays empty.
LineSettings settingsOf(const termios& attributes);

enum class PortStatus {
    Ok,
    Missing,      // no such device
    InUse,        // another program has the port open
    NotSerial,    // not a terminal device
    BadSettings,  // the port refuses a setting (speed, data bits, stop bits)
    Error,        // any other failure of the system
};

struct PortResult {
    PortStatus status = PortStatus::Ok;
    std::string detail;  // for the log and the error text: what failed and why
};

// Opens the port non-blocking and close-on-exec, takes it for this program alone (an exclusive
// lock that other programs see, and TIOCEXCL), applies the settings in raw mode without modem
// control, and discards whatever was waiting on the line.
PortResult openSerialPort(const LineSettings& settings, orva::common::UniqueFd& fd);

// Gives the port up: clears TIOCEXCL (so that the next program may open it) and closes it.
void closeSerialPort(orva::common::UniqueFd& fd);

}  // namespace orva::mpi
