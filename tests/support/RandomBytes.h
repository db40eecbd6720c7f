#pragma once

#include <cstddef>
#include <random>
#include <string>

namespace quorvel::test {

/// size bytes of every value, the same for the same seed: data no text rule simplifies.
inline std::string RandomBytes(std::size_t size, unsigned seed) {
  std::mt19937 gen(seed);
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>(gen() & 0xFF);
  return bytes;
}

}  // namespace quorvel::test
