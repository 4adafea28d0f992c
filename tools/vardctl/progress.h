// The progress line of a long transfer, on stderr, redrawn when the
// percentage moves. Transfers of kProgressThreshold samples or more show
// one.
#pragma once

#include <cstdint>
#include <string>

namespace vard::ctl {

constexpr std::int64_t kProgressThreshold = 2'000'000;

class Progress {
 public:
  // `total` in `unit`s ("samples", "bytes"); `shown` whether to draw it.
  Progress(std::string what, std::int64_t total, const char* unit, bool shown);
  ~Progress();  // ends the line
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;

  void Advance(std::int64_t done);  // `done` samples of the total so far

 private:
  std::string what_;
  std::int64_t total_;
  const char* unit_;
  int shown_ = -1;  // the percentage on the line, −1 before the first
};

}  // namespace vard::ctl
