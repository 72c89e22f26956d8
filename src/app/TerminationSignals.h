#pragma once

#include <functional>

namespace Tessaryn {

// Turns SIGTERM and SIGHUP (a logout, a service stop, `kill`) into a call on the GUI thread, so
// the program can end its jobs and remove their partial files instead of dying mid-write.
// Does nothing on Windows, where these signals do not arrive.
class TerminationSignals {
public:
    // Call once, after the application object exists. The handler runs in the event loop, not
    // in the signal handler; a second signal while it runs ends the process at once.
    static bool install(std::function<void(int signalNumber)> handler);
};

} // namespace Tessaryn
