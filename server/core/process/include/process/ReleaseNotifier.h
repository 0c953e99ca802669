#pragma once
// What happens when the last OPC object of the server is released: a shutdown that waits for
// the clients to leave is woken, and a server started by a client ("-Embedding") closes its
// window. The toolkit's event handler calls lastObjectReleased() from whatever thread it uses.

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>

#include "process/OwnerWindow.h"

namespace orva::process {

// How long the shutdown waits for clients asked to disconnect: 10 s when the toolkit lists more
// than one server object, else not at all.
std::chrono::milliseconds clientShutdownWait(std::size_t serverObjects);

class ReleaseNotifier {
public:
    ReleaseNotifier(bool embeddedStart, OwnerWindow* window) : embeddedStart_(embeddedStart), window_(window)
    {
    }

    // Any thread: signals the armed shutdown event; posts a close when embedded.
    void lastObjectReleased();

    // Shutdown: arm before asking clients to leave, wait, then disarm.
    void armShutdownEvent();
    bool waitForRelease(std::chrono::milliseconds timeout);  // true when released in time
    void disarmShutdownEvent();

    // The window is going away: no more close requests to it.
    void forgetWindow();

private:
    const bool embeddedStart_;
    std::mutex mutex_;
    std::condition_variable released_;
    OwnerWindow* window_;
    bool armed_ = false;
    bool signalled_ = false;
};

}  // namespace orva::process
