#include "WindowHost.h"

namespace orva::process {

std::unique_ptr<WindowHost> makeQtWindowHost(const ServerIdentity&, ErrorTextFunction, int&, char**,
                                             ShutdownSignals*)
{
    return nullptr;
}

}  // namespace orva::process
