#pragma once
// Process-wide X error and I/O-error handlers for the library's own display
// connections. Errors of a registered connection are recorded on it; errors
// of any other connection go to the handler that was installed before, so
// an application's own handling is left as it was. A registered connection
// whose server goes away is marked dead instead of ending the process.
#include <atomic>
#include <thread>

struct _XDisplay;

namespace pelnik::platform::x11 {

// What the handlers record for one connection; read from any thread.
struct ConnectionErrors {
  std::atomic<int> count{0};
  std::atomic<int> lastCode{0};
  std::atomic<unsigned long> lastResource{0};
  std::atomic<bool> dead{false};
  // Xlib leaves the connection locked for the thread that met the I/O
  // error; that thread releases it (releaseAfterLoss) before anyone closes.
  std::atomic<std::thread::id> lostOn{};
};

// On the thread that met the connection's I/O error: gives back the lock
// Xlib kept for it, so that the connection can be closed. Nothing otherwise.
void releaseAfterLoss(_XDisplay *display, ConnectionErrors &errors);

// Registers a connection (installing the handlers with the first one) and
// sets its I/O-error exit handler so that a lost server does not exit.
void registerConnection(_XDisplay *display, ConnectionErrors *errors);
// Forgets it; the handlers installed before are put back with the last one,
// unless someone installed other handlers after ours.
void unregisterConnection(_XDisplay *display);

}  // namespace pelnik::platform::x11
