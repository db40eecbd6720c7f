#pragma once

#include <cstddef>
#include <mutex>
#include <string>

namespace quorvel {

/// Steps of a long driver operation (a packet transfer) counted from the driver's status
/// texts: every change to a new non-empty text is one step, except the text of a repeated
/// attempt (kRetryFmt), which shows the same step again. Texts count only while a transfer
/// is open (Begin .. End), so the commands around it do not.
/// Threads: OnStatus may run on the thread of the operation while the others run on the
/// owner's; every call is atomic.
class TTransferProgress {
 public:
  /// The state at one moment.
  struct TSnapshot {
    bool Open = false;  ///< between Begin and End
    int Step = 0;       ///< steps started since Begin
    int Done = 0;       ///< steps finished: all of them after Complete, else all but the last
    int Total = 0;      ///< steps expected; 0: unknown (a read whose length nobody knows)
    std::string Text;   ///< the last text, without the dots the driver ends it with
  };

  /// Opens a transfer of total steps (0 or less: unknown) with no step seen.
  void Begin(int total);
  /// Takes one status text; true when it changed the snapshot (an empty text, or any text
  /// while closed, changes nothing).
  bool OnStatus(const std::string& text);
  /// Closes the transfer; the counts stay readable. The last step started is taken as not
  /// finished (the transfer failed in it or was cut short).
  void End();
  /// Closes a transfer whose last step finished: Done catches up with Step.
  void Complete();
  TSnapshot Snapshot() const;

 private:
  mutable std::mutex lock_;
  TSnapshot s_;
};

/// Packets WriteDataFile sends for a file of size bytes: an empty file still goes as one
/// empty packet.
int DataFilePackets(std::size_t size);

}  // namespace quorvel
