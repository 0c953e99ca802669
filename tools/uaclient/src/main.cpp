// uaclient: browse, read, write and subscribe on an OPC UA server of this machine.
#include <csignal>
#include <iostream>

#include "Commands.h"
#include "common/ProgramInfo.h"

namespace {
std::atomic<bool> stopRequested{false};
void onSignal(int)
{
    stopRequested = true;
}
}  // namespace

int main(int argc, char** argv)
{
    switch (orva::infoRequest(argc, argv)) {
        case orva::InfoRequest::Help:
            std::cout << orva::uaclient::usage() << orva::kBugReportLine;
            return 0;
        case orva::InfoRequest::Version:
            std::cout << orva::versionText("uaclient");
            return 0;
        case orva::InfoRequest::None:
            break;
    }
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    std::signal(SIGPIPE, SIG_IGN);
    const std::vector<std::string> args(argv + 1, argv + argc);
    return orva::uaclient::run(args, std::cout, std::cerr, &stopRequested);
}
