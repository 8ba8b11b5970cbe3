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
// sets its I/O-error exit handler so that a lost server does not exit. The
// latest registration of a display is the one its errors are recorded on.
void registerConnection(_XDisplay *display, ConnectionErrors *errors);
// The same for a check within one call on a connection registered, or
// owned, elsewhere: its errors are recorded on `errors` while registered,
// and its I/O-error exit handler is left as it is.
void registerForCheck(_XDisplay *display, ConnectionErrors *errors);
// Forgets that registration, by the pair: a closed display's address may
// already belong to a newer connection. Call it before closing the display.
// The handlers installed before are put back with the last one, unless
// someone installed other handlers after ours.
void unregisterConnection(_XDisplay *display, ConnectionErrors *errors);

// Runs `body` (which may install process-wide handlers of its own, as a
// toolkit opening its display does) and then puts back the handlers that
// were installed before it, with no registration or removal in between.
void keepingHandlers(void (*body)(void *), void *context);

}  // namespace pelnik::platform::x11
