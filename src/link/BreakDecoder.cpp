#include "BreakDecoder.h"

namespace quorvel {

namespace {
constexpr char kMark = '\xFF';  // PARMRK escape byte
constexpr char kNul = '\0';     // second byte of an error mark; third byte 0 alone means BREAK
}  // namespace

TBreakDecoder::TResult TBreakDecoder::Decode(std::string_view raw) {
  TResult result;
  result.Data.reserve(raw.size());
  for (char c : raw) {
    switch (state_) {
      case TState::Normal:
        if (c == kMark) {
          state_ = TState::Escape;
        } else {
          result.Data.push_back(c);
        }
        break;
      case TState::Escape:
        if (c == kNul) {
          state_ = TState::ErrorMark;
          break;
        }
        // FF FF is the escaped data byte; a lone FF before another byte cannot come from the
        // kernel, so keep both bytes rather than lose one.
        result.Data.push_back(kMark);
        if (c != kMark) result.Data.push_back(c);
        state_ = TState::Normal;
        break;
      case TState::ErrorMark:
        if (c == kNul) {
          result.Events.push_back({result.Data.size(), TMark::Break});
        } else {
          result.Events.push_back({result.Data.size(), TMark::FrameError});
          result.Data.push_back(c);
        }
        state_ = TState::Normal;
        break;
    }
  }
  return result;
}

}  // namespace quorvel
