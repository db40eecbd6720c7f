#pragma once

#include <condition_variable>
#include <deque>
#include <mutex>
#include <string_view>

namespace quorvel {

/// A thread-safe byte queue for clients that consume raw bytes with timeouts.
/// Threads: Append runs on the port's receiving thread, the readers on a worker thread;
/// every call may run on any thread. The lock is never held while waiting.
class TDataBuffer {
public:
  /// Empties the queue.
  void Clear();
  /// Appends the bytes at the end and wakes a waiting reader.
  void Append(std::string_view data);
  /// Removes the first byte into out and returns true; false when empty.
  bool ReadByte(unsigned char& out);
  /// As ReadByte, waiting up to timeoutMs for a byte to arrive. With a byte already queued
  /// it returns at once; with timeout 0 it returns at once too.
  bool WaitByte(unsigned char& out, int timeoutMs);
  /// Number of bytes queued.
  std::size_t Size() const;
  /// No more bytes will come (the port is gone): wakes every waiting reader, and from now
  /// on WaitByte returns at once when the queue is empty. Clear does not undo it.
  void Interrupt();

private:
  mutable std::mutex lock_;
  bool interrupted_ = false;
  std::condition_variable arrived_;
  std::deque<unsigned char> bytes_;
};

}  // namespace quorvel
