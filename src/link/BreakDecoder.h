#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace quorvel {

/// Undoes the in-band marking of a tty opened with PARMRK (and IGNBRK, BRKINT, IGNPAR, ISTRIP
/// off): FF FF is the data byte FF, FF 00 00 a BREAK, FF 00 x a byte x received with a
/// framing or parity error. The byte x of such an error is kept in the data (as the line
/// delivered it) after the error mark. An FF followed by anything else, which the kernel does
/// not produce, is taken as the data byte FF. A sequence split across chunks is completed by
/// the next chunk.
/// Threads: one thread at a time.
class TBreakDecoder {
 public:
  enum class TMark {
    Break,       ///< the line was held in the break condition
    FrameError,  ///< the next data byte arrived with a framing or parity error
  };
  /// A mark found in a chunk: Offset is the number of data bytes of the same chunk before it.
  struct TEvent {
    std::size_t Offset = 0;
    TMark Mark = TMark::Break;
    friend bool operator==(const TEvent&, const TEvent&) = default;
  };
  struct TResult {
    std::string Data;            ///< the received data bytes, un-escaped
    std::vector<TEvent> Events;  ///< marks in order of arrival
  };

  /// Decodes the next chunk of raw bytes read from the tty. The tail of an unfinished escape
  /// sequence is held back until the next call.
  TResult Decode(std::string_view raw);
  /// True while the tail of an escape sequence is held back.
  bool Pending() const { return state_ != TState::Normal; }
  /// Forgets a held-back tail (after the input was discarded).
  void Reset() { state_ = TState::Normal; }

 private:
  enum class TState { Normal, Escape, ErrorMark };
  TState state_ = TState::Normal;
};

}  // namespace quorvel
