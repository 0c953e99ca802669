#include "mpi/SerialPort.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>

namespace orva::mpi {
namespace {

struct SpeedEntry {
    uint32_t baudrate;
    speed_t speed;
};

constexpr SpeedEntry kSpeeds[] = {
    {300, B300},       {600, B600},       {1200, B1200},     {2400, B2400},     {4800, B4800},
    {9600, B9600},     {19200, B19200},   {38400, B38400},   {57600, B57600},   {115200, B115200},
    {230400, B230400}, {460800, B460800}, {500000, B500000}, {921600, B921600},
};

tcflag_t sizeFlag(uint8_t dataBits)
{
    switch (dataBits) {
        case 5:
            return CS5;
        case 6:
            return CS6;
        case 7:
            return CS7;
        default:
            return CS8;
    }
}

// A pseudo-terminal drops parity and character size, and the C library then reports the whole
// change as refused; the port is usable when everything else took effect.
bool tookAllItCarries(int fd, const termios& wanted)
{
    termios now{};
    if (::tcgetattr(fd, &now) != 0) return false;
    constexpr tcflag_t kInput = INPCK | ISTRIP;
    constexpr tcflag_t kControl = PARODD | CSTOPB;
    return cfgetospeed(&now) == cfgetospeed(&wanted) && (now.c_iflag & kInput) == (wanted.c_iflag & kInput) &&
           (now.c_cflag & kControl) == (wanted.c_cflag & kControl);
}

PortResult failure(PortStatus status, const std::string& port, const std::string& what)
{
    return {status, port + ": " + what};
}

}  // namespace

std::string describeLine(uint32_t baudrate, uint8_t dataBits, Parity parity, uint8_t stopBits)
{
    const char p = parity == Parity::None ? 'N' : parity == Parity::Even ? 'E' : 'O';
    return std::to_string(baudrate) + " " + std::to_string(dataBits) + " " + p + " " +
           std::to_string(stopBits);
}

std::string devicePathFor(const std::string& port)
{
    if (port.size() > 3 && std::toupper(static_cast<unsigned char>(port[0])) == 'C' &&
        std::toupper(static_cast<unsigned char>(port[1])) == 'O' &&
        std::toupper(static_cast<unsigned char>(port[2])) == 'M') {
        unsigned number = 0;
        bool digits = port.size() - 3 <= 3;
        for (size_t i = 3; i < port.size() && digits; ++i) {
            digits = std::isdigit(static_cast<unsigned char>(port[i])) != 0;
            number = number * 10 + static_cast<unsigned>(port[i] - '0');
        }
        if (digits && number >= 1) return "/dev/ttyS" + std::to_string(number - 1);
    }
    return port;
}

speed_t speedFor(uint32_t baudrate)
{
    for (const SpeedEntry& entry : kSpeeds) {
        if (entry.baudrate == baudrate) return entry.speed;
    }
    return 0;
}

uint32_t baudrateOf(speed_t speed)
{
    for (const SpeedEntry& entry : kSpeeds) {
        if (entry.speed == speed) return entry.baudrate;
    }
    return 0;
}

LineSettings settingsOf(const termios& attributes)
{
    LineSettings settings;
    settings.port.clear();
    settings.baudrate = baudrateOf(cfgetospeed(&attributes));
    switch (attributes.c_cflag & CSIZE) {
        case CS5:
            settings.dataBits = 5;
            break;
        case CS6:
            settings.dataBits = 6;
            break;
        case CS7:
            settings.dataBits = 7;
            break;
        default:
            settings.dataBits = (attributes.c_iflag & ISTRIP) != 0 ? 7 : 8;
            break;
    }
    const bool parity = (attributes.c_cflag & PARENB) != 0 || (attributes.c_iflag & INPCK) != 0;
    settings.parity = !parity                              ? Parity::None
                      : (attributes.c_cflag & PARODD) != 0 ? Parity::Odd
                                                           : Parity::Even;
    settings.stopBits = (attributes.c_cflag & CSTOPB) != 0 ? 2 : 1;
    return settings;
}

PortResult openSerialPort(const LineSettings& settings, orva::common::UniqueFd& fd)
{
    fd.reset();
    const std::string path = devicePathFor(settings.port);
    const speed_t speed = speedFor(settings.baudrate);
    if (speed == 0)
        return failure(PortStatus::BadSettings, path,
                       "baud rate " + std::to_string(settings.baudrate) + " is not supported");
    if (settings.dataBits < 5 || settings.dataBits > 8)
        return failure(PortStatus::BadSettings, path, std::to_string(settings.dataBits) + " data bits");
    if (settings.stopBits != 1 && settings.stopBits != 2)
        return failure(PortStatus::BadSettings, path, std::to_string(settings.stopBits) + " stop bits");

    orva::common::UniqueFd port(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!port.valid()) {
        const int error = errno;
        if (error == ENOENT || error == ENXIO || error == ENODEV)
            return failure(PortStatus::Missing, path, "no such serial port");
        if (error == EBUSY) return failure(PortStatus::InUse, path, "in use by another program");
        return failure(PortStatus::Error, path, std::strerror(error));
    }
    if (!::isatty(port.get())) return failure(PortStatus::NotSerial, path, "not a serial port");
    // The lock is what keeps out programs running as root, which TIOCEXCL does not stop.
    if (::flock(port.get(), LOCK_EX | LOCK_NB) != 0)
        return failure(PortStatus::InUse, path, "in use by another program");

    termios attributes{};
    if (::tcgetattr(port.get(), &attributes) != 0)
        return failure(PortStatus::Error, path, std::strerror(errno));
    ::cfmakeraw(&attributes);
    attributes.c_cflag &= ~(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
    attributes.c_cflag |= sizeFlag(settings.dataBits) | CLOCAL | CREAD;
    attributes.c_iflag &= ~(INPCK | ISTRIP | IXON | IXOFF | IXANY);
    if (settings.parity != Parity::None) {
        attributes.c_cflag |= PARENB;
        attributes.c_iflag |= INPCK;
        if (settings.parity == Parity::Odd) attributes.c_cflag |= PARODD;
    }
    if (settings.dataBits < 8) attributes.c_iflag |= ISTRIP;
    if (settings.stopBits == 2) attributes.c_cflag |= CSTOPB;
    attributes.c_cc[VMIN] = 0;
    attributes.c_cc[VTIME] = 0;
    if (::cfsetispeed(&attributes, speed) != 0 || ::cfsetospeed(&attributes, speed) != 0 ||
        (::tcsetattr(port.get(), TCSANOW, &attributes) != 0 && !tookAllItCarries(port.get(), attributes))) {
        const std::string reason = std::strerror(errno);
        return failure(PortStatus::BadSettings, path, "settings refused: " + reason);
    }
    ::ioctl(port.get(), TIOCEXCL);
    // Only what waits to be read is stale; output may still hold the previous user's last bytes.
    ::tcflush(port.get(), TCIFLUSH);
    fd = std::move(port);
    return {};
}

void closeSerialPort(orva::common::UniqueFd& fd)
{
    if (!fd.valid()) return;
    ::ioctl(fd.get(), TIOCNXCL);
    fd.reset();
}

}  // namespace orva::mpi
