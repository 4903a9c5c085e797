// The MD2 message digest (RFC 1319), for machines whose cryptographic provider cannot
// give it: the digests must match the provider's byte for byte.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class Md2 {
 public:
  Md2();
  void Add(const char* data, std::size_t length);
  // The 16 digest bytes. The object is spent afterwards.
  std::string Finish();

 private:
  void Transform(const uint8_t* block);

  uint8_t state_[16];
  uint8_t checksum_[16];
  uint8_t buffer_[16];
  std::size_t buffered_ = 0;
};

// The digest of Bytes as 32 upper-case hexadecimal digits.
std::string Md2Hex(const std::string& bytes);
// Two upper-case hexadecimal digits per byte, in byte order.
std::string HexDigits(const std::string& bytes);
