#pragma once

#include <cstddef>
#include <mutex>
#include <string>
#include <string_view>

namespace quorvel {

/// What the terminal sent while the debug view listens: the newest kDebugBufferSize bytes
/// (windows-1251, one byte a character) and whether they changed since the view last took them.
/// Threads: Append runs on the port's receiving thread, Take and Clear on the UI thread; all
/// three go through one lock.
class TDebugBuffer {
 public:
  /// Characters kept; older ones are dropped first.
  static constexpr std::size_t kDebugBufferSize = 100000;

  /// Appends chunk, marks the buffer changed and drops the oldest bytes beyond the cap.
  void Append(std::string_view chunk);
  /// When the buffer changed since the last Take: copies it into text, clears the flag and
  /// returns true, unless everything received since the view was last cleared is one CR or one
  /// backspace (a terminal's keep-alive), which is not worth a repaint: then false as well.
  bool Take(std::string& text);
  /// Empties the buffer (the view was cleared); the changed flag goes off.
  void Clear();
  /// Bytes held now.
  std::size_t Size() const;

 private:
  mutable std::mutex lock_;
  std::string text_;
  bool changed_ = false;
};

}  // namespace quorvel
