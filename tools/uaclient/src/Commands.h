#pragma once
// The commands of uaclient: browse, read, write, subscribe.

#include <atomic>
#include <ostream>
#include <string>
#include <vector>

namespace orva::uaclient {

// Runs one command line (without the program name). Output goes to out, errors to err; returns the
// process exit status (0 success, 1 failure, 2 usage). subscribe runs until its time is up or stop
// becomes true.
int run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
        const std::atomic<bool>* stop = nullptr);

std::string usage();

}  // namespace orva::uaclient
