#pragma once
// Run-time control of a running virtual camera: the actions, their names
// on the command line, and the line protocol of the control socket
// ("ACTION N\n" answered by "ok\n" or "error: TEXT\n").
#include <optional>
#include <string>
#include <string_view>

namespace pelnik::virtcam {

enum class ControlAction {
  Unplug,  // remove the socket, break open connections
  Plug,    // serve the camera again
  Stall,   // no frames until resumed
  Resume,
  Trigger,       // one software trigger
  ShortRead,     // the next image read returns half its bytes
  ShortReads,    // every image read does, until healed
  FailCommands,  // command and reply transfers fail, until healed
  Heal,          // clears every fault (and plugs an unplugged camera)
};

std::optional<ControlAction> parseControlAction(std::string_view name);
std::string_view controlActionName(ControlAction action);

// The control socket of the instance serving `directory`.
std::string controlSocketPath(const std::string &directory);

// Sends one action to the instance serving `directory`; true when it
// answered "ok". `message` gets the answer or why there was none.
bool sendControlCommand(const std::string &directory, ControlAction action, int camera,
                        std::string &message);

}  // namespace pelnik::virtcam
