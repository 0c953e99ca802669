// uaclient: browse, read, write and subscribe on an OPC UA server of this machine.
#include <csignal>
#include <iostream>

#include "Commands.h"

namespace {
std::atomic<bool> stopRequested{false};
void onSignal(int)
{
    stopRequested = true;
}
}  // namespace

int main(int argc, char** argv)
{
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    std::signal(SIGPIPE, SIG_IGN);
    const std::vector<std::string> args(argv + 1, argv + argc);
    return uaclient::run(args, std::cout, std::cerr, &stopRequested);
}
