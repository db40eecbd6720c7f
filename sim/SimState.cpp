#include "SimState.h"

#include "Cp1251.h"

namespace quorvel::sim {

namespace {
constexpr std::size_t kScriptPacket = 300;  // characters per script packet
}

std::string ScriptText(const TSimState& state, std::int32_t number) {
  std::string text;
  if (auto it = state.Scripts.find(number); it != state.Scripts.end()) {
    for (const auto& packet : it->second) text += packet;
  }
  return text;
}

void SetScriptText(TSimState& state, std::int32_t number, const std::string& utf8Text) {
  const std::string bytes = Utf8ToCp1251(utf8Text);
  std::vector<std::string> packets;
  for (std::size_t at = 0; at < bytes.size(); at += kScriptPacket) {
    packets.push_back(Cp1251ToUtf8(bytes.substr(at, kScriptPacket)));
  }
  state.Scripts[number] = std::move(packets);
}

}  // namespace quorvel::sim
