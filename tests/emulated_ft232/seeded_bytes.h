// The payloads both ends of the emulated chip's data check agree on: the
// same seed gives the same bytes on the guest and on the host.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

inline std::vector<unsigned char> seeded_bytes(std::uint64_t seed,
                                               std::size_t count) {
  std::vector<unsigned char> out(count);
  std::uint64_t state = seed;
  for (unsigned char &byte : out) {  // splitmix64, one byte of each step
    state += 0x9e3779b97f4a7c15ull;
    std::uint64_t z = state;
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
    byte = static_cast<unsigned char>(z ^ (z >> 31));
  }
  return out;
}
