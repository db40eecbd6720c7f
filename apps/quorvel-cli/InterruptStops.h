#pragma once

#include "FileText.h"

#include <atomic>

namespace quorvel::cli {

/// For its lifetime the first SIGINT asks target to stop (RequestStop: the facade's transfers
/// before their next packet, a firmware run before its next page) instead of ending the
/// program half way. The signal handler touches atomics only.
/// Threads: made and destroyed on the main thread; the handler runs in signal context.
template <class T>
class TInterruptStops {
 public:
  /// endSignals: SIGTERM and SIGHUP stop it too (once; a second signal ends the program).
  explicit TInterruptStops(T& target, bool endSignals = false) {
    target.ResetStop();
    interrupted_.store(false);
    target_.store(&target);
    SetInterruptHandler(OnInterrupt, endSignals);
  }
  ~TInterruptStops() {
    SetInterruptHandler(nullptr);
    target_.store(nullptr);
  }
  TInterruptStops(const TInterruptStops&) = delete;
  TInterruptStops& operator=(const TInterruptStops&) = delete;

  /// A SIGINT came meanwhile.
  bool Interrupted() const { return interrupted_.load(); }

 private:
  static void OnInterrupt() {
    interrupted_.store(true);
    if (T* target = target_.load()) target->RequestStop();
  }

  static inline std::atomic<T*> target_{nullptr};
  static inline std::atomic<bool> interrupted_{false};
  static_assert(std::atomic<T*>::is_always_lock_free);
};

}  // namespace quorvel::cli
