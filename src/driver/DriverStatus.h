#pragma once

#include <functional>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace quorvel {

/// The progress text of the running terminal operation, with one change handler and any
/// number of listeners.
/// Threads: SetText is called on whatever thread runs the command (the UI thread for the
/// program's driver, a worker thread for a search driver), and OnChange and the listeners run
/// on that same thread, so a receiver that updates a window must pass the update to the UI
/// thread itself.
/// Text and SetText may run on different threads at once; the handlers are called outside
/// the object's lock, so they may read Text.
class TDriverStatus {
 public:
  using TChangeEvent = std::function<void(TDriverStatus& sender)>;

  /// The current progress text (UTF-8); empty on creation.
  std::string Text() const;
  /// When text differs from Text: stores it, then calls OnChange when it is set. An equal
  /// text does nothing (no call).
  void SetText(const std::string& text);

  /// Replaces the change handler (an empty handler removes it). Set it before commands run.
  void SetOnChange(TChangeEvent handler);

  /// Adds a handler called after OnChange on every change, on the same thread, until it is
  /// removed; returns the key RemoveListener takes. A page follows a transfer this way while
  /// OnChange keeps feeding the status line.
  int AddListener(TChangeEvent handler);
  /// Removes the handler of key (an unknown key does nothing). A call already under way on
  /// another thread may still finish after this returns.
  void RemoveListener(int key);

 private:
  mutable std::mutex lock_;
  std::string text_;
  TChangeEvent onChange_;
  std::vector<std::pair<int, TChangeEvent>> listeners_;
  int nextKey_ = 1;
};

}  // namespace quorvel
