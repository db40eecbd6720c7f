#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace quorvel {

/// What a file held at one moment, to tell later whether another program has replaced it
/// since: whether it existed, its length and a hash of its bytes. Two stamps of the same bytes
/// are equal whatever the file's time or inode, so a program that writes back the very same
/// text is no change.
struct TFileStamp {
  enum class TState : std::uint8_t {
    Missing,     ///< no such file
    Present,     ///< read; Size and Hash describe the bytes
    Unreadable,  ///< there, but could not be read (its reason is not kept)
  };
  TState State = TState::Missing;
  std::uint64_t Size = 0;
  std::size_t Hash = 0;

  /// The stamp of the file as it is now (a link is followed). Never raises.
  static TFileStamp Of(const std::string& fileName);

  bool operator==(const TFileStamp&) const = default;
};

}  // namespace quorvel
