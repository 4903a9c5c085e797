// MD2 for several inputs at once. One MD2 block is 864 table lookups, each waiting for
// the one before: a single input leaves the processor idle between them. Inputs are
// independent, so their chains can run side by side; the working bytes of all lanes are
// kept interleaved ([row][lane]) so that one step of every lane touches one small run
// of memory and the compiler can keep each lane's running byte in a register.
#pragma once

#include <cstddef>
#include <cstdint>

// The running digest of one input: what RFC 1319 calls the state and the checksum.
struct Md2LaneState {
  uint8_t state[16] = {};
  uint8_t checksum[16] = {};
};

// The lane counts Md2AddBlocks is built for. Six keeps this machine's load units busy;
// more adds nothing (see bench/hash_bench).
inline constexpr int kMaxMd2Lanes = 8;

// Adds Count blocks of 16 bytes to each of the Lanes inputs: Blocks[i] holds lane i's
// Count * 16 bytes. Lanes is 1 to kMaxMd2Lanes.
void Md2AddBlocks(int lanes,
                  Md2LaneState* const* states,
                  const uint8_t* const* blocks,
                  std::size_t count);
