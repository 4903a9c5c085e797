// The Hashes cache (HKLM\SOFTWARE\Runwarden\Hashes): a file's digest by its resolved
// path, emptied on the first miss of each day.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

inline constexpr char kHashesKey[] = "HKLM\\SOFTWARE\\Runwarden\\Hashes";

// One file's step: the cached digest when there is one; otherwise Compute's answer,
// written to the cache (empty included), then the daily clearing: when
// "LastHashesCleared" is not today's day of the month, the whole key goes (the value
// just written with it) and the stamp becomes today. GetFileHashCached is this step
// with HashFile.
std::string CachedFileHash(const std::string& path, const std::function<std::string()>& compute);
std::string GetFileHashCached(const std::string& path, uint32_t algorithm);

// For a scan pass: call it once with the resolved paths of all the entries whose files
// exist, in the order the pass visits them, and take digest i for entry i instead of
// calling GetFileHashCached per entry. The files the cache does not answer for are
// hashed concurrently (HashFiles.h), then the steps of GetFileHashCached are taken for
// each path in order, so the digests, the cache values and the daily clearing come out
// exactly as from one GetFileHashCached call per path; a warm pass, all of whose paths the
// cache answers for, reads each of them once. (The digests are those of the files at the
// start of the pass.)
std::vector<std::string> GetFileHashesCached(const std::vector<std::string>& paths,
                                             uint32_t algorithm);
