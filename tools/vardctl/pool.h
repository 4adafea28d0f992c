// vardctl's side of the pool: the exports of VARD32.dll and nothing else,
// wrapped so that a failing code ends the command with its name and every
// handle is released on the way out.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "vard32.h"

namespace vard::ctl {

// Field widths of the library's requests, less their terminator: longer
// texts would be cut without notice, so vardctl refuses them.
constexpr std::size_t kMaxName = 29;
constexpr std::size_t kMaxPath = 255;
constexpr std::size_t kMaxUnits = 9;
constexpr std::size_t kMaxDescription = 143;
constexpr std::size_t kMaxString = 255;
constexpr std::size_t kMaxFilePath = 255;

// A float GetWaveformData request carries at most this many samples, so a
// reduced read of n samples yields at most 2·⌈n / kReadChunk⌉ values.
constexpr std::int64_t kReadChunk = 8084;

// Throws Failure("<what>: <code name>") unless `code` is vardOK.
void Check(short code, const std::string& what);

// Throws UsageError when `text` is longer than `limit` bytes.
void CheckLength(const std::string& text, std::size_t limit, const char* what);

// A registration with the data manager for the life of the command.
class PoolSession {
 public:
  PoolSession();  // throws Failure when the pool server cannot be reached
  ~PoolSession() { ExitDataManager(); }
  PoolSession(const PoolSession&) = delete;
  PoolSession& operator=(const PoolSession&) = delete;
};

enum class SampleType { kDigital, kInteger, kFloat };
const char* SampleTypeName(SampleType type);

// A variable's kind as GetType answers it; throws Failure for a name the
// pool does not hold.
short KindOf(const std::string& name);
const char* KindName(short kind);  // "number", "string", "waveform", "digital waveform"

// What GetHorizontal, GetVertical and the type tests tell of a waveform.
struct WaveformShape {
  SampleType type = SampleType::kFloat;
  double x0 = 0, x_step = 1, y0 = 0, y_step = 1;
  std::string x_units, y_units;
  std::int64_t length = 0;  // samples per block
  int blocks = 0;
};

// A read lock on a waveform: its snapshot, unlocked on destruction.
class LockedWaveform {
 public:
  explicit LockedWaveform(const std::string& name);
  ~LockedWaveform() { UnlockWaveform(src_); }
  LockedWaveform(const LockedWaveform&) = delete;
  LockedWaveform& operator=(const LockedWaveform&) = delete;

  const WaveformShape& shape() const { return shape_; }
  short src() const { return src_; }

  // Samples [first, last] of `block` as floats (physical values) or in
  // their 2-byte form; `reduction` as GetWaveformData takes it.
  void Read(int block, std::int64_t first, std::int64_t last, short reduction, short data_type,
            void* data) const;

 private:
  std::string name_;
  short src_ = 0;
  WaveformShape shape_;
};

// A new waveform being written. Until Publish(), nothing of it stays: a
// writer that is destroyed first empties, closes and deletes the variable,
// so a failed import leaves the pool as it was.
class NewWaveform {
 public:
  NewWaveform(const std::string& name, short type, const std::string& path);
  ~NewWaveform();
  NewWaveform(const NewWaveform&) = delete;
  NewWaveform& operator=(const NewWaveform&) = delete;

  short handle() const { return handle_; }
  void Write(std::int64_t first, std::int64_t last, const void* data);
  void Publish();  // closes the waveform: other programs see it now

 private:
  std::string name_;
  short handle_ = 0;
  bool open_ = false;
};

// A text of the pool (ANSI, in the process's code page) as UTF-8, for JSON
// and SVG.
std::string Utf8FromAnsi(const std::string& text);

// A waveform in one line: "float, 2 blocks of 1000 samples, X 0 to 0.999 s".
std::string WaveformSummary(const WaveformShape& s);

// The X position of sample `index` of a waveform.
inline double XOf(const WaveformShape& s, std::int64_t index) {
  return s.x0 + static_cast<double>(index) * s.x_step;
}

// Samples [*first, *last] of a block whose X lies in [from, to], rounded
// inwards as the server's analysis does; false when none does. Throws
// UsageError when the X axis has no order (a step that is not a positive
// number) and the range is not the whole block.
bool SamplesBetween(const WaveformShape& s, double from, double to, std::int64_t* first,
                    std::int64_t* last);

}  // namespace vard::ctl
