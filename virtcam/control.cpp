#include "virtcam/control.h"

#include <array>
#include <utility>

#include "platform/posix/unix_stream.h"

namespace pelnik::virtcam {

namespace us = platform::unix_stream;

namespace {
constexpr std::array<std::pair<ControlAction, std::string_view>, 9> kActionNames = {{
    {ControlAction::Unplug, "unplug"},
    {ControlAction::Plug, "plug"},
    {ControlAction::Stall, "stall"},
    {ControlAction::Resume, "resume"},
    {ControlAction::Trigger, "trigger"},
    {ControlAction::ShortRead, "short-read"},
    {ControlAction::ShortReads, "short-reads"},
    {ControlAction::FailCommands, "fail-commands"},
    {ControlAction::Heal, "heal"},
}};
}  // namespace

std::optional<ControlAction> parseControlAction(std::string_view name) {
  for (const auto &[action, text] : kActionNames)
    if (text == name) return action;
  return std::nullopt;
}

std::string_view controlActionName(ControlAction action) {
  for (const auto &[a, text] : kActionNames)
    if (a == action) return text;
  return "?";
}

std::string controlSocketPath(const std::string &directory) {
  return directory + "/pelnik-virtcam.control";
}

bool sendControlCommand(const std::string &directory, ControlAction action, int camera,
                        std::string &message) {
  const std::string path = controlSocketPath(directory);
  us::UniqueFd fd = us::connectTo(path);
  if (!fd.valid()) {
    message = "no virtual camera is running (nothing answers at " + path + ")";
    return false;
  }
  const std::string line =
      std::string(controlActionName(action)) + " " + std::to_string(camera) + "\n";
  if (!us::sendAll(fd.get(), line.data(), line.size())) {
    message = "the virtual camera closed the control connection";
    return false;
  }
  std::string answer;
  char buffer[256];
  while (answer.find('\n') == std::string::npos && answer.size() < 4096) {
    const ssize_t got = us::receiveSome(fd.get(), buffer, sizeof buffer);
    if (got <= 0) break;
    answer.append(buffer, std::size_t(got));
  }
  answer = answer.substr(0, answer.find('\n'));
  while (!answer.empty() && answer.back() == '\n') answer.pop_back();
  if (answer == "ok") {
    message = "ok";
    return true;
  }
  message =
      answer.rfind("error: ", 0) == 0 ? answer.substr(7) : "no answer from the virtual camera";
  return false;
}

}  // namespace pelnik::virtcam
