// libFuzzer target for the reply parser (TCommand::Feed). The first bytes of the input choose
// the command's form and options and where the rest is cut into chunks; the rest is the
// reply. Invariants: no crash or sanitizer report, LineBuffer bounded, ResultCode one the
// parser can set, SeqNo in 1..99, and cutting the same bytes differently gives the same state.
#include "Command.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

using namespace quorvel;

namespace {

struct State {
  bool done;
  std::int32_t code;
  std::string text;
  std::vector<std::string> answer;
  std::int32_t seqNo;
  std::string lineBuffer;
  bool operator==(const State&) const = default;
};

void Check(bool ok) {
  if (!ok) std::abort();
}

// Codes the parser may set: 0, 1000..1002, a quoted value holding a quote (kResultBadQuote) and
// whatever number a +SMERROR line carries; anything else means a code came from nowhere.
bool SaneResult(const TCommand& c, const std::vector<std::int32_t>& carried) {
  std::int32_t code = c.ResultCode();
  if (code == 0 || code == 1000 || code == 1001 || code == 1002 || code == kResultBadQuote) return true;
  for (auto k : carried)
    if (k == code) return true;
  return false;
}

// Numbers carried by +SMERROR lines of the input (a superset: every number after the colon).
// Control bytes other than CR and LF are removed first, as the parser drops them.
std::vector<std::int32_t> CarriedCodes(std::string_view raw) {
  std::string reply;
  for (char ch : raw)
    if (static_cast<unsigned char>(ch) >= 32 || ch == 10 || ch == 13) reply.push_back(ch);
  std::vector<std::int32_t> out;
  for (std::size_t p = reply.find("+SMERROR"); p != std::string::npos; p = reply.find("+SMERROR", p + 1)) {
    auto colon = reply.find(':', p);
    if (colon == std::string::npos) break;
    std::string tail(reply.substr(colon + 1, 32));
    for (std::size_t i = 0; i < tail.size(); ++i) {
      char* end = nullptr;
      long long v = std::strtoll(tail.c_str() + i, &end, 10);
      if (end != tail.c_str() + i) out.push_back(static_cast<std::int32_t>(v));
    }
  }
  return out;
}

State Run(bool sequenced, std::uint8_t flags, std::string_view reply, const std::vector<std::size_t>& cuts) {
  TCommand c;
  c.SetName((flags & 1) ? "SMSTATE" : "CGMI");
  c.SetSequenced(sequenced);
  c.SetWaitForOk(flags & 2);
  c.SetCheckCrc(!(flags & 4));
  if (flags & 8) c.Params().AppendInt(flags);
  c.SetSeqNo(1 + flags % 99);
  c.Prepare();
  // flag 16 feeds the reply three times, so lines longer than kMaxLineLength occur
  int repeats = (flags & 16) ? 3 : 1;
  for (int r = 0; r < repeats; ++r) {
    std::size_t from = 0;
    for (std::size_t cut : cuts) {
      c.Feed(reply.substr(from, cut - from));
      Check(c.LineBuffer().size() <= kMaxLineLength);
      from = cut;
    }
    c.Feed(reply.substr(from));
    Check(c.LineBuffer().size() <= kMaxLineLength);
  }
  Check(c.SeqNo() >= 1 && c.SeqNo() <= 99);
  // repeated feeds join the end of one copy to the start of the next, so a +SMERROR line may
  // take its number from the following copy
  std::string fed;
  for (int r = 0; r < repeats; ++r) fed.append(reply);
  Check(SaneResult(c, CarriedCodes(fed)));
  // AnswerField converts every field; it must not raise
  for (int i = 0; i < 3; ++i) (void)c.AnswerField(i);
  return {c.Done(), c.ResultCode(), c.ResultText(), c.Answer().Items(), c.SeqNo(), c.LineBuffer()};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 3) return 0;
  std::uint8_t flags = data[0];
  std::size_t cutCount = data[1] % 8;
  std::size_t header = 2 + cutCount * 2;
  if (size < header) return 0;
  std::string_view reply(reinterpret_cast<const char*>(data + header), size - header);
  std::vector<std::size_t> cuts;
  for (std::size_t i = 0; i < cutCount; ++i) {
    std::size_t pos = (static_cast<std::size_t>(data[2 + 2 * i]) << 8 | data[3 + 2 * i]) % (reply.size() + 1);
    if (cuts.empty() || pos >= cuts.back()) cuts.push_back(pos);
  }
  for (bool sequenced : {false, true}) {
    State whole = Run(sequenced, flags, reply, {});
    State cut = Run(sequenced, flags, reply, cuts);
    Check(whole == cut);
  }
  return 0;
}
