#pragma once
// What the callbacks of one client connection share: once `closed` is set (under the mutex) no
// callback of the connection runs any more. The mutex is held while a callback runs; it is
// recursive so that a callback may close its own connection.

#include <mutex>

namespace orva::opc::client {

struct ConnectionState {
    std::recursive_mutex callbackMutex;
    bool closed = false;

    // Runs f unless the connection is closed.
    template <class F>
    void invoke(F&& f)
    {
        std::lock_guard g(callbackMutex);
        if (!closed) f();
    }
    void close()
    {
        std::lock_guard g(callbackMutex);
        closed = true;
    }
};

}  // namespace orva::opc::client
