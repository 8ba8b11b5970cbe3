#pragma once
// Whether the X server of a display name answers at all, asked over a
// connection of our own with a time limit: Xlib's own open waits without
// limit for a server that accepts connections but no longer runs (stopped).

namespace pelnik::platform::x11 {

// Time a server is given to answer a connection set-up.
inline constexpr int kServerAnswerLimitMs = 2000;

// False when the server of `displayName` (null: the DISPLAY of the
// process, as Xlib reads it) takes no connection or sends nothing back
// within `limitMs`. True when it answers, and for display names this probe
// does not reach (remote hosts), which Xlib then opens as before.
bool serverAnswers(const char *displayName, int limitMs);

}  // namespace pelnik::platform::x11
