// File digests.
#pragma once

#include <cstdint>
#include <string>

inline constexpr std::size_t kHashBlockSize = 32768;

// The digest of the file's content as upper-case hexadecimal digits, read in blocks of
// 32768 bytes through one buffer. Empty when the file is missing or cannot be read.
// When the platform's provider cannot give MD2, the built-in MD2 gives the same digest;
// for another algorithm without a provider the result is empty. Never the path.
std::string HashFile(const std::string& path, uint32_t algorithm);
