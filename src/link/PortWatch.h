#pragma once

#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <vector>

namespace quorvel {

/// A port that came or went in a watched folder.
struct TPortEvent {
  enum class TKind { Appeared, Vanished };
  TKind Kind;
  std::string Path;  ///< folder + "/" + entry name

  bool operator==(const TPortEvent&) const = default;
};

/// Watches a folder for serial ports that appear and vanish (links that udev makes in
/// /dev/serial/by-id, device nodes in /dev) through inotify: nothing runs while idle.
///
/// Events come in the order the folder changed, each entry's own Appeared and Vanished
/// alternating: a name created and removed between two Waits gives both. An entry that
/// another one is renamed over gives Vanished then Appeared. Where the folder's history is
/// lost (the kernel's event queue overflowed, the folder came back) the folder is listed
/// again and only the differences are reported: an entry replaced in the meantime under the
/// same name then gives nothing.
///
/// Threads: Present and Wait on one thread at a time; Wake on any thread, also in a signal
/// handler.
class TPortWatch {
 public:
  /// dir: the folder; filter: which entry names count (empty: all). The folder need not
  /// exist (/dev/serial/by-id goes with the last USB adapter): its nearest existing parent
  /// is watched until it is made, and its entries then appear. Raises Exception (Errors.h)
  /// when inotify cannot be used (no instance left, no folder on the way exists).
  explicit TPortWatch(std::string dir, std::function<bool(const std::string&)> filter = {});
  ~TPortWatch();
  TPortWatch(const TPortWatch&) = delete;
  TPortWatch& operator=(const TPortWatch&) = delete;

  /// The entries present now, as the last Wait left them, as paths in name order.
  std::vector<std::string> Present() const;
  /// Waits up to timeoutMs (-1: no limit) for changes and returns them in order: Appeared
  /// for an entry created or moved in; Vanished for one deleted or moved out, and for every
  /// present entry when the folder itself goes (removed or renamed). Empty on a timeout or
  /// a Wake. Raises Exception when inotify fails.
  std::vector<TPortEvent> Wait(int timeoutMs);
  /// Makes the current or next Wait return at once. Async-signal-safe.
  void Wake() noexcept;

 private:
  void Arm(std::vector<TPortEvent>& out);
  /// Watches the deepest existing folder above dir_; returns its entry toward dir_ as a path.
  std::string WatchNearestParent();
  void Relist(std::vector<TPortEvent>& out);
  void FolderGone(std::vector<TPortEvent>& out);
  void Handle(int wd, std::uint32_t mask, const std::string& name, std::vector<TPortEvent>& out);
  void Drain(std::vector<TPortEvent>& out);
  std::string PathOf(const std::string& name) const;
  bool Counts(const std::string& name) const;

  std::string dir_;
  std::function<bool(const std::string&)> filter_;
  int inotify_ = -1;
  int wake_ = -1;
  int wd_ = -1;
  bool watchingDir_ = false;  ///< wd_ is the folder itself, else its nearest existing parent
  std::string towardDir_;     ///< the parent's entry on the way to the folder
  std::set<std::string> present_;
  std::vector<TPortEvent> pending_;  ///< found while arming, handed out by the next Wait
};

/// The names that USB serial adapters get in /dev and that come and go with them:
/// ttyUSB<n> and ttyACM<n>.
bool IsHotplugSerialName(const std::string& name);

}  // namespace quorvel
