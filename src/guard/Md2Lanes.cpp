#include "guard/Md2Lanes.h"

#include <cstring>

#include "guard/Md2.h"

namespace {

// The working rows live in locals, so the compiler knows no store to them can change
// the table or the blocks, and each lane's running byte stays in a register.
template <int K>
void AddBlocks(Md2LaneState* const* states, const uint8_t* const* blocks, std::size_t count) {
  uint8_t x[48][K];
  uint8_t checksum[16][K];
  for (int i = 0; i < 16; ++i) {
    for (int s = 0; s < K; ++s) {
      x[i][s] = states[s]->state[i];
      checksum[i][s] = states[s]->checksum[i];
    }
  }
  for (std::size_t n = 0; n < count; ++n) {
    const std::size_t at = n * 16;
    for (int i = 0; i < 16; ++i) {
      for (int s = 0; s < K; ++s) {
        uint8_t byte = blocks[s][at + i];
        x[16 + i][s] = byte;
        x[32 + i][s] = static_cast<uint8_t>(x[i][s] ^ byte);
      }
    }
    uint8_t t[K] = {};
    for (int round = 0; round < 18; ++round) {
#pragma GCC unroll 48
      for (int k = 0; k < 48; ++k) {
#pragma GCC unroll 8
        for (int s = 0; s < K; ++s)
          t[s] = x[k][s] ^= kMd2PiSubst[t[s]];
      }
      for (int s = 0; s < K; ++s)
        t[s] = static_cast<uint8_t>(t[s] + round);
    }
    uint8_t last[K];
    for (int s = 0; s < K; ++s)
      last[s] = checksum[15][s];
    for (int i = 0; i < 16; ++i) {
      for (int s = 0; s < K; ++s)
        last[s] = checksum[i][s] ^= kMd2PiSubst[blocks[s][at + i] ^ last[s]];
    }
  }
  for (int i = 0; i < 16; ++i) {
    for (int s = 0; s < K; ++s) {
      states[s]->state[i] = x[i][s];
      states[s]->checksum[i] = checksum[i][s];
    }
  }
}

}  // namespace

void Md2AddBlocks(int lanes,
                  Md2LaneState* const* states,
                  const uint8_t* const* blocks,
                  std::size_t count) {
  switch (lanes) {
    case 1:
      return AddBlocks<1>(states, blocks, count);
    case 2:
      return AddBlocks<2>(states, blocks, count);
    case 3:
      return AddBlocks<3>(states, blocks, count);
    case 4:
      return AddBlocks<4>(states, blocks, count);
    case 5:
      return AddBlocks<5>(states, blocks, count);
    case 6:
      return AddBlocks<6>(states, blocks, count);
    case 7:
      return AddBlocks<7>(states, blocks, count);
    case 8:
      return AddBlocks<8>(states, blocks, count);
    default:
      return;
  }
}
