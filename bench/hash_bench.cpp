// First-of-day hashing: MB/s of hashing a set of files (8 of 16 MB by default) with
//   - a plain one-stream C MD2 (md2_plain.c, the same compiler flags), file after file;
//   - the program's HashFile, file after file (under Wine: the platform's provider);
//   - the program's HashFiles: several MD2 lanes per thread, one thread per processor;
//   - HashFiles with other thread and lane counts, to show where the speed comes from.
// The plain MD2 and the default are measured in turn, run by run, and their ratio is
// the median of the run-by-run ratios; the other figures are medians of their runs. The
// digests of every run are checked against the plain MD2's. The files are written first and so are
// read from the cache. Usage: hash_bench [RUNS [FILES [MEGABYTES]]]
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
#include "guard/FileHash.h"
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
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
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
      for (const std::string& path : paths)
        digests.push_back(hash(path));
      return digests;
    };
  };
  auto plain_hashing = one_by_one(PlainMd2);
  auto concurrent = [&] { return HashFiles(paths, platform::kAlgorithmMd2); };

  // The headline figure: the plain MD2 and the program's default in turn, run by run,
  // so a machine whose speed drifts (other people's builds) drifts for both alike.
  std::vector<double> plain_speeds, ratios;
  Figure plain, program;
  for (int run = 0; run < runs; ++run) {
    Figure a = Measure(1, total, plain_hashing);
    Figure b = Measure(1, total, concurrent);
    plain_speeds.push_back(a.mb_per_second);
    ratios.push_back(b.mb_per_second / a.mb_per_second);
    if (run == 0) {
      plain = a;
      program = b;
    }
    if (a.digests != plain.digests || b.digests != plain.digests)
      program.digests = {"<differ>"};
  }
  std::sort(plain_speeds.begin(), plain_speeds.end());
  std::sort(ratios.begin(), ratios.end());
  double plain_median = plain_speeds[plain_speeds.size() / 2];
  double ratio_median = ratios[ratios.size() / 2];
  bool all_agree = program.digests == plain.digests;
  std::printf("%-44s %8.1f MB/s\n", "plain C MD2, one stream", plain_median);
  std::printf("%-44s %8.1f MB/s  %5.2fx (median of the run-by-run ratios %.2f..%.2f)%s\n",
              "program: HashFiles (default)", plain_median * ratio_median, ratio_median,
              ratios.front(), ratios.back(), all_agree ? "" : "  DIGESTS DIFFER");

  // Where the speed comes from: each once more, against the plain figure above.
  auto report = [&](const char* name, const Figure& figure) {
    bool agree = figure.digests == plain.digests;
    all_agree = all_agree && agree;
    std::printf("%-44s %8.1f MB/s  %5.2fx%s\n", name, figure.mb_per_second,
                figure.mb_per_second / plain_median, agree ? "" : "  DIGESTS DIFFER");
  };
  report("program: HashFile, file after file",
         Measure(runs, total, one_by_one([](const std::string& p) {
                   return HashFile(p, platform::kAlgorithmMd2);
                 })));
  for (auto [threads, lanes] : {std::pair{1, 1}, {1, 2}, {1, 4}, {1, 6}, {1, 8}, {2, 4}, {2, 6}}) {
    char name[64];
    std::snprintf(name, sizeof name, "program: HashFiles, %d thread(s) x %d lane(s)", threads,
                  lanes);
    report(name, Measure(runs, total, [&, threads = threads, lanes = lanes] {
             return HashFiles(paths, platform::kAlgorithmMd2, threads, lanes);
           }));
  }
  std::printf("load afterwards %s\n", LoadAverage().c_str());
  return all_agree ? 0 : 1;
}
