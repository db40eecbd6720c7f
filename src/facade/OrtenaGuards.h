#pragma once

#include "Ortenas.h"

namespace quorvel {

/// Empties the facade's status text when the scope ends, whether the operation returned or
/// raised, so a stale progress text never stays in the status bar.
class TClearStatusGuard {
 public:
  explicit TClearStatusGuard(TOrtena& facade) : facade_(facade) {}
  ~TClearStatusGuard() {
    try {
      facade_.ClearStatus();
    } catch (...) {
      // A failing change handler must not replace the operation's own error.
    }
  }
  TClearStatusGuard(const TClearStatusGuard&) = delete;
  TClearStatusGuard& operator=(const TClearStatusGuard&) = delete;

 private:
  TOrtena& facade_;
};

}  // namespace quorvel
