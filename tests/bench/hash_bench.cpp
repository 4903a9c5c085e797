// First-of-day hashing: MB/s of hashing a set of files (8 of 16 MB by default) with
//   - a plain one-stream C MD2 (md2_plain.c, the same compiler flags), file after file;
//   - the program's HashFile, file after file (under Wine: the platform's provider);
//   - the program's HashFiles: several MD2 lanes per thread, one thread per processor;
//   - HashFiles with other thread and lane counts, to show where the speed comes from.
// Every figure is the median of the runs; the digests of every run are checked against
// each other. The files are written first and so are read from the cache.
// Usage: hash_bench [RUNS [FILES [MEGABYTES]]]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "guard/HashFiles.h"
#include "guard/Md2.h"
#include "guard/basCalculateHash.h"
#include "md2_plain.h"
#include "platform/crypto.h"
#include "platform/files.h"
#include "support/TestFolder.h"

namespace {

std::string PlainMd2(const std::string& path) {
  md2_plain md2;
  md2_plain_init(&md2);
  bool read = platform::ReadFileBlocks(path, kHashBlockSize, [&](const char* data, std::size_t n) {
    md2_plain_update(&md2, reinterpret_cast<const unsigned char*>(data), n);
    return true;
  });
  unsigned char digest[16];
  md2_plain_final(&md2, digest);
  return read ? HexDigits(std::string(reinterpret_cast<char*>(digest), 16)) : "";
}

std::string LoadAverage() {
  for (const char* path : {"C:\\proc\\loadavg", "Z:\\proc\\loadavg"}) {
    std::string text;
    if (platform::ReadWholeFile(path, &text) && !text.empty())
      return text.substr(0, text.find('\n'));
  }
  return "unknown";
}

struct Figure {
  double mb_per_second;
  std::vector<std::string> digests;
};

Figure Measure(int runs, double megabytes, const std::function<std::vector<std::string>()>& hash) {
  std::vector<double> speeds;
  Figure figure;
  for (int run = 0; run < runs; ++run) {
    auto start = std::chrono::steady_clock::now();
    std::vector<std::string> digests = hash();
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    speeds.push_back(megabytes / seconds);
    if (run == 0)
      figure.digests = digests;
    else if (digests != figure.digests)
      figure.digests = {"<runs disagree>"};
  }
  std::sort(speeds.begin(), speeds.end());
  figure.mb_per_second = speeds[speeds.size() / 2];
  return figure;
}

}  // namespace

int main(int argc, char** argv) {
  int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
  int file_count = argc > 2 ? std::max(1, std::atoi(argv[2])) : 8;
  int megabytes_each = argc > 3 ? std::max(1, std::atoi(argv[3])) : 16;

  TestFolder folder;
  std::vector<std::string> paths;
  for (int i = 0; i < file_count; ++i) {
    std::string bytes(static_cast<std::size_t>(megabytes_each) << 20, '\0');
    uint32_t x = 12345u + static_cast<uint32_t>(i);
    for (char& c : bytes) {
      x = x * 1103515245u + 12345u;
      c = static_cast<char>(x >> 23);
    }
    paths.push_back(folder.Write("file" + std::to_string(i) + ".bin", bytes));
  }
  double total = static_cast<double>(file_count) * megabytes_each;
  std::printf("hashing %d files of %d MB, %d runs each (median); %u processors; load %s\n",
              file_count, megabytes_each, runs, std::thread::hardware_concurrency(),
              LoadAverage().c_str());

  auto one_by_one = [&](std::function<std::string(const std::string&)> hash) {
    return [&paths, hash] {
      std::vector<std::string> digests;
      for (const std::string& path : paths) digests.push_back(hash(path));
      return digests;
    };
  };
  Figure plain = Measure(runs, total, one_by_one(PlainMd2));
  std::printf("%-44s %8.1f MB/s\n", "plain C MD2, one stream", plain.mb_per_second);
  bool all_agree = true;
  auto report = [&](const char* name, const Figure& figure) {
    bool agree = figure.digests == plain.digests;
    all_agree = all_agree && agree;
    std::printf("%-44s %8.1f MB/s  %5.2fx%s\n", name, figure.mb_per_second,
                figure.mb_per_second / plain.mb_per_second, agree ? "" : "  DIGESTS DIFFER");
  };
  report("program: HashFile, file after file", Measure(runs, total, one_by_one([](const std::string& p) {
           return HashFile(p, platform::kAlgorithmMd2);
         })));
  report("program: HashFiles (default)", Measure(runs, total, [&] {
           return HashFiles(paths, platform::kAlgorithmMd2);
         }));
  for (auto [threads, lanes] : {std::pair{1, 1}, {1, 2}, {1, 4}, {1, 6}, {1, 8}, {2, 4}, {2, 6}}) {
    char name[64];
    std::snprintf(name, sizeof name, "program: HashFiles, %d thread(s) x %d lane(s)", threads, lanes);
    report(name, Measure(runs, total, [&, threads = threads, lanes = lanes] {
             return HashFiles(paths, platform::kAlgorithmMd2, threads, lanes);
           }));
  }
  std::printf("load afterwards %s\n", LoadAverage().c_str());
  return all_agree ? 0 : 1;
}
