#include "tools/vardctl/progress.h"

#include <cstdio>
#include <utility>

namespace vard::ctl {

Progress::Progress(std::string what, std::int64_t total, const char* unit, bool shown)
    : what_(std::move(what)), total_(shown ? total : 0), unit_(unit) {}

void Progress::Advance(std::int64_t done) {
  if (total_ == 0) return;
  const int percent = static_cast<int>(done * 100 / total_);
  if (percent == shown_) return;
  shown_ = percent;
  std::fprintf(stderr, "\r%s: %3d%% (%lld of %lld %s)", what_.c_str(), percent,
               static_cast<long long>(done), static_cast<long long>(total_), unit_);
  std::fflush(stderr);
}

Progress::~Progress() {
  if (shown_ >= 0) std::fputc('\n', stderr);
}

}  // namespace vard::ctl
