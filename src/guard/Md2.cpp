#include "guard/Md2.h"

#include <algorithm>
#include <cstring>

Md2::Md2() {
  std::memset(state_, 0, sizeof state_);
  std::memset(checksum_, 0, sizeof checksum_);
  std::memset(buffer_, 0, sizeof buffer_);
}

void Md2::Transform(const uint8_t* block) {
  uint8_t x[48];
  for (int i = 0; i < 16; ++i) {
    x[i] = state_[i];
    x[16 + i] = block[i];
    x[32 + i] = static_cast<uint8_t>(state_[i] ^ block[i]);
  }
  uint8_t t = 0;
  for (int round = 0; round < 18; ++round) {
    for (int k = 0; k < 48; ++k) t = x[k] ^= kMd2PiSubst[t];
    t = static_cast<uint8_t>(t + round);
  }
  std::memcpy(state_, x, 16);
  uint8_t last = checksum_[15];
  for (int i = 0; i < 16; ++i) last = checksum_[i] ^= kMd2PiSubst[block[i] ^ last];
}

void Md2::Add(const char* data, std::size_t length) {
  const uint8_t* bytes = reinterpret_cast<const uint8_t*>(data);
  while (length > 0) {
    std::size_t take = std::min<std::size_t>(16 - buffered_, length);
    std::memcpy(buffer_ + buffered_, bytes, take);
    buffered_ += take;
    bytes += take;
    length -= take;
    if (buffered_ == 16) {
      Transform(buffer_);
      buffered_ = 0;
    }
  }
}

std::string Md2::Finish() {
  // Padding of i bytes of value i (1 to 16), then the checksum as a last block.
  uint8_t pad = static_cast<uint8_t>(16 - buffered_);
  uint8_t padding[16];
  std::memset(padding, pad, sizeof padding);
  Add(reinterpret_cast<const char*>(padding), pad);
  uint8_t checksum[16];
  std::memcpy(checksum, checksum_, 16);
  Transform(checksum);
  return std::string(reinterpret_cast<const char*>(state_), 16);
}

std::string Md2Hex(const std::string& bytes) {
  Md2 md2;
  md2.Add(bytes.data(), bytes.size());
  return HexDigits(md2.Finish());
}

std::string HexDigits(const std::string& bytes) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string text;
  for (char c : bytes) {
    uint8_t byte = static_cast<uint8_t>(c);
    text += kDigits[byte >> 4];
    text += kDigits[byte & 15];
  }
  return text;
}
