// The digests of many files at once: the first scan of a day hashes every autostart file
// before any of them may start, and one MD2 stream leaves most of the processor idle.
// Files are spread over threads, one per processor, and each thread advances several
// files together, block by block (Md2Lanes.h).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Digest i is what HashFile(Paths[i], Algorithm) gives: upper-case hexadecimal, or empty
// for a missing or unreadable file. Only MD2 is computed concurrently (by the built-in
// MD2, which agrees with the provider's byte for byte); any other algorithm is handed to
// HashFile one file after the other. Memory stays a few buffers of 32768 bytes per
// thread and lane, whatever the files' sizes. A file is still one chain: one large file
// takes as long as it does alone.
std::vector<std::string> HashFiles(const std::vector<std::string>& paths, uint32_t algorithm);

// The same with the number of threads and of files per thread chosen (0: one thread per
// processor, kDefaultHashLanes files), for the benchmark's comparisons.
inline constexpr int kDefaultHashLanes = 6;
std::vector<std::string> HashFiles(const std::vector<std::string>& paths,
                                   uint32_t algorithm,
                                   int threads,
                                   int lanes);
