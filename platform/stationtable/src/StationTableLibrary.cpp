#include "stationtable/StationTableLibrary.h"

#include <algorithm>
#include <cctype>
#include <charconv>

#include "mpi/MpiErrorCodes.h"

namespace orva::stationtable {
namespace {

std::string upper(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return text;
}

bool number(const std::string& text, unsigned max, unsigned& value)
{
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc{} && end == text.data() + text.size() && !text.empty() && value <= max;
}

std::string keyHint(const std::string& value)
{
    return " (set the value " + value + " of " + kInterfaceKey + ")";
}

}  // namespace

InterfaceSetup readInterfaceSetup(const orva::registry::Registry& registry)
{
    InterfaceSetup setup;
    orva::registry::RegistryKey key;
    const orva::registry::Status opened = registry.openKey(kInterfaceKey, key);
    if (opened == orva::registry::Status::KeyNotFound) return setup;
    if (opened != orva::registry::Status::Ok) {
        setup.problem = std::string(kInterfaceKey) +
                        " cannot be read: " + std::string(orva::registry::statusText(opened));
        return setup;
    }
    const auto read = [&](const char* name, std::string& value) {
        const orva::registry::Status status = key.readString(name, value);
        if (status == orva::registry::Status::Ok) return true;
        if (status != orva::registry::Status::ValueNotFound && setup.problem.empty())
            setup.problem = std::string("value ") + name +
                            " cannot be read: " + std::string(orva::registry::statusText(status)) +
                            keyHint(name);
        return false;
    };
    const auto invalid = [&](const char* name, const std::string& value, const char* allowed) {
        if (setup.problem.empty())
            setup.problem = std::string(name) + " \"" + value + "\" is not " + allowed + keyHint(name);
    };
    std::string value;
    unsigned n = 0;
    if (read("Port", value)) {
        if (value.empty())
            invalid("Port", value, "a serial port");
        else
            setup.line.port = value;
    }
    if (read("Baudrate", value)) {
        if (number(value, 4000000, n) && mpi::speedFor(n) != 0)
            setup.line.baudrate = n;
        else
            invalid("Baudrate", value, "a supported baud rate");
    }
    if (read("DataBits", value)) {
        if (number(value, 8, n) && n >= 5)
            setup.line.dataBits = static_cast<uint8_t>(n);
        else
            invalid("DataBits", value, "5 to 8");
    }
    if (read("Parity", value)) {
        const std::string parity = upper(value);
        if (parity == "NO")
            setup.line.parity = mpi::Parity::None;
        else if (parity == "ODD")
            setup.line.parity = mpi::Parity::Odd;
        else if (parity == "EVEN")
            setup.line.parity = mpi::Parity::Even;
        else
            invalid("Parity", value, "NO, ODD or EVEN");
    }
    if (read("StopBits", value)) {
        if (number(value, 2, n) && n >= 1)
            setup.line.stopBits = static_cast<uint8_t>(n);
        else
            invalid("StopBits", value, "1 or 2");
    }
    if (read("LocalAddress", value)) {
        if (number(value, 126, n))
            setup.localAddress = static_cast<uint8_t>(n);
        else
            invalid("LocalAddress", value, "an MPI address 0 to 126");
    }
    return setup;
}

StationTableLibrary::StationTableLibrary(orva::registry::Registry registry, mpi::LinkTimeouts timeouts)
    : registry_(std::move(registry)), stations_(timeouts)
{
}

int StationTableLibrary::open(int firstPlc, int /*reserved*/, const uint8_t* stations)
{
    const InterfaceSetup setup = readInterfaceSetup(registry_);
    {
        const std::lock_guard lock(problemMutex_);
        setupProblem_ = setup.problem;
    }
    if (!setup.problem.empty()) {
        stations_.close();
        return mpi::kMpiPortError;
    }
    return stations_.open(setup.line, setup.localAddress, firstPlc, stations);
}

std::string StationTableLibrary::problem() const
{
    {
        const std::lock_guard lock(problemMutex_);
        if (!setupProblem_.empty()) return setupProblem_;
    }
    const std::string port = stations_.portProblem();
    return port.empty() ? std::string() : "port " + port + keyHint("Port");
}

}  // namespace orva::stationtable
