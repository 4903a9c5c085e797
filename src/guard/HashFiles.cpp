#include "guard/HashFiles.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <thread>

#include "app/ErrorScope.h"
#include "app/Paths.h"
#include "guard/Md2.h"
#include "guard/Md2Lanes.h"
#include "guard/FileHash.h"
#include "platform/crypto.h"
#include "platform/file_reader.h"

namespace {

struct Job {
  const std::string* path = nullptr;
  std::string digest;
  bool done = false;
};

// One file on its way through a lane: its data a block at a time, then the padding
// block, then the checksum block, after which the state is the digest.
class Lane {
 public:
  enum class Phase { kData, kPadding, kChecksum };

  Lane(Job* job, std::unique_ptr<platform::SequentialFile> file)
      : job_(job), file_(std::move(file)), buffer_(kHashBlockSize + 16) {}

  // False when the file cannot be read any further: its digest is then empty.
  bool Fill() {
    std::size_t left = end_ - pos_;
    std::memmove(buffer_.data(), buffer_.data() + pos_, left);
    pos_ = 0;
    end_ = left;
    while (end_ - pos_ < 16 && !at_end_) {
      int64_t got = file_->Read(reinterpret_cast<char*>(buffer_.data()) + end_, kHashBlockSize);
      if (got < 0)
        return false;
      if (got == 0)
        at_end_ = true;
      end_ += static_cast<std::size_t>(got);
    }
    if (end_ - pos_ >= 16)
      return true;
    // The last bytes, padded with N bytes of value N (1 to 16).
    std::size_t rest = end_ - pos_;
    std::memcpy(last_, buffer_.data() + pos_, rest);
    std::memset(last_ + rest, static_cast<int>(16 - rest), 16 - rest);
    phase_ = Phase::kPadding;
    file_.reset();
    return true;
  }

  // How many blocks the lane can give in one go.
  std::size_t Available() const { return phase_ == Phase::kData ? (end_ - pos_) / 16 : 1; }
  const uint8_t* Blocks() const { return phase_ == Phase::kData ? buffer_.data() + pos_ : last_; }
  Md2LaneState* state() { return &md2_; }

  // After Count blocks were added: true when the digest is complete (or the file failed).
  bool Advance(std::size_t count) {
    switch (phase_) {
      case Phase::kData:
        pos_ += count * 16;
        if (end_ - pos_ < 16 && !Fill()) {
          job_->digest.clear();
          job_->done = true;
          return true;
        }
        return false;
      case Phase::kPadding:
        std::memcpy(last_, md2_.checksum, 16);
        phase_ = Phase::kChecksum;
        return false;
      case Phase::kChecksum:
        job_->digest = HexDigits(std::string(reinterpret_cast<const char*>(md2_.state), 16));
        job_->done = true;
        return true;
    }
    return true;
  }

 private:
  Job* job_;
  std::unique_ptr<platform::SequentialFile> file_;
  std::vector<uint8_t> buffer_;
  std::size_t pos_ = 0, end_ = 0;
  bool at_end_ = false;
  Phase phase_ = Phase::kData;
  uint8_t last_[16] = {};
  Md2LaneState md2_;
};

class JobQueue {
 public:
  explicit JobQueue(std::vector<Job*> jobs) : jobs_(std::move(jobs)) {}
  Job* Next() {
    std::size_t index = next_.fetch_add(1);
    return index < jobs_.size() ? jobs_[index] : nullptr;
  }

 private:
  std::vector<Job*> jobs_;
  std::atomic<std::size_t> next_{0};
};

// Takes files from the queue while a lane is free and hashes them side by side. A file
// that cannot be opened is answered at once.
void HashLanes(JobQueue& queue, int lane_count) {
  std::vector<std::unique_ptr<Lane>> lanes;
  bool queue_empty = false;
  for (;;) {
    while (!queue_empty && static_cast<int>(lanes.size()) < lane_count) {
      Job* job = queue.Next();
      if (!job) {
        queue_empty = true;
        break;
      }
      auto file = platform::OpenSequentialFile(*job->path);
      auto lane = file ? std::make_unique<Lane>(job, std::move(file)) : nullptr;
      if (!lane || !lane->Fill()) {
        job->done = true;  // unreadable: the empty digest
        continue;
      }
      lanes.push_back(std::move(lane));
    }
    if (lanes.empty())
      return;

    Md2LaneState* states[kMaxMd2Lanes];
    const uint8_t* blocks[kMaxMd2Lanes];
    std::size_t count = SIZE_MAX;
    for (std::size_t i = 0; i < lanes.size(); ++i) {
      states[i] = lanes[i]->state();
      blocks[i] = lanes[i]->Blocks();
      count = std::min(count, lanes[i]->Available());
    }
    Md2AddBlocks(static_cast<int>(lanes.size()), states, blocks, count);
    for (std::size_t i = 0; i < lanes.size();) {
      if (lanes[i]->Advance(count))
        lanes.erase(lanes.begin() + static_cast<std::ptrdiff_t>(i));
      else
        ++i;
    }
  }
}

// Never lets an error out of a thread; a file it left unfinished is hashed again.
void SafeHashLanes(JobQueue& queue, int lane_count) {
  try {
    HashLanes(queue, lane_count);
  } catch (...) {
  }
}

}  // namespace

std::vector<std::string> HashFiles(const std::vector<std::string>& paths, uint32_t algorithm) {
  return HashFiles(paths, algorithm, 0, 0);
}

std::vector<std::string> HashFiles(const std::vector<std::string>& paths,
                                   uint32_t algorithm,
                                   int threads,
                                   int lanes) {
  std::vector<Job> jobs(paths.size());
  ErrorScope error(ErrorScope::AtEnd::kClear);
  error.Try([&] {
    if (algorithm != platform::kAlgorithmMd2)
      return;
    std::vector<Job*> pending;
    for (std::size_t i = 0; i < paths.size(); ++i) {
      jobs[i].path = &paths[i];
      // What HashFile asks first; files and folders found only by a wildcard fail here.
      if (FileExists(paths[i]))
        pending.push_back(&jobs[i]);
      else
        jobs[i].done = true;
    }
    if (pending.empty())
      return;

    int processors = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    int thread_count =
        std::min<int>(threads > 0 ? threads : processors, static_cast<int>(pending.size()));
    // Every thread gets its share of lanes from the start, so none waits while another
    // holds more files than it needs.
    int share = static_cast<int>((pending.size() + thread_count - 1) / thread_count);
    int lane_count =
        std::clamp(std::min(lanes > 0 ? lanes : kDefaultHashLanes, share), 1, kMaxMd2Lanes);
    JobQueue queue(std::move(pending));
    std::vector<std::thread> helpers;
    for (int i = 1; i < thread_count; ++i) {
      try {
        helpers.emplace_back(SafeHashLanes, std::ref(queue), lane_count);
      } catch (...) {
        break;  // no more threads: the others share the work
      }
    }
    SafeHashLanes(queue, lane_count);
    for (std::thread& helper : helpers)
      helper.join();
  });
  std::vector<std::string> digests(paths.size());
  for (std::size_t i = 0; i < paths.size(); ++i) {
    digests[i] = jobs[i].done ? std::move(jobs[i].digest) : HashFile(paths[i], algorithm);
  }
  return digests;
}
