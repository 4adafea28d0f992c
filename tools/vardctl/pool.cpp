#include "tools/vardctl/pool.h"

#include <cmath>

#include "tools/vardctl/errors.h"
#include "tools/vardctl/text.h"

namespace vard::ctl {

void Check(short code, const std::string& what) {
  if (code != vardOK) throw Failure(what + ": " + ReplyCodeName(code));
}

void CheckLength(const std::string& text, std::size_t limit, const char* what) {
  if (text.size() > limit)
    throw UsageError(std::string(what) + " \"" + text + "\" is longer than " +
                     std::to_string(limit) + " bytes");
}

PoolSession::PoolSession() {
  InitDataManager();
  // A name that cannot exist: a reachable pool answers vardInvalidName.
  double ignored = 0;
  const short code = GetNumber("", &ignored);
  if (code == vardNotInitialized) {
    ExitDataManager();
    throw Failure("cannot reach the data pool: vardthk.dll was not found or did not start (" +
                  ReplyCodeName(code) + ")");
  }
}

const char* SampleTypeName(SampleType type) {
  switch (type) {
    case SampleType::kDigital: return "digital";
    case SampleType::kInteger: return "integer";
    default: return "float";
  }
}

short KindOf(const std::string& name) {
  CheckLength(name, kMaxName, "the name");
  short kind = vardUnknown;
  Check(GetType(name.c_str(), &kind), name);
  return kind;
}

const char* KindName(short kind) {
  switch (kind) {
    case vardNumerical: return "number";
    case vardString: return "string";
    case vardWaveform: return "waveform";
    case vardDigitalWaveform: return "digital waveform";
    default: return "unknown";
  }
}

LockedWaveform::LockedWaveform(const std::string& name) : name_(name) {
  CheckLength(name, kMaxName, "the name");
  Check(LockWaveform(name.c_str(), &src_), name);
  short blocks = 0;
  long length = 0;
  char x_units[10] = {}, y_units[10] = {}, reported[500] = {};
  // The handle is held from here: a failure below unlocks it.
  struct Unlock {
    short src;
    bool armed = true;
    ~Unlock() {
      if (armed) UnlockWaveform(src);
    }
  } unlock{src_};
  Check(GetHorizontal(src_, &shape_.x0, &shape_.x_step, &blocks, &length, x_units), name);
  Check(GetVertical(src_, &shape_.y0, &shape_.y_step, reported, y_units), name);
  shape_.blocks = blocks;
  shape_.length = length;
  shape_.x_units = x_units;
  shape_.y_units = y_units;
  shape_.type = vardIsDigitalWaveform(name.c_str())   ? SampleType::kDigital
                : vardIsIntegerWaveform(name.c_str()) ? SampleType::kInteger
                                                      : SampleType::kFloat;
  unlock.armed = false;
}

void LockedWaveform::Read(int block, std::int64_t first, std::int64_t last, short reduction,
                          short data_type, void* data) const {
  Check(GetWaveformData(src_, static_cast<short>(block), static_cast<long>(first),
                        static_cast<long>(last), reduction, data_type, data),
        name_);
}

NewWaveform::NewWaveform(const std::string& name, short type, const std::string& path)
    : name_(name) {
  CheckLength(name, kMaxName, "the name");
  CheckLength(path, kMaxPath, "the path");
  Check(CreateWaveform(name.c_str(), type, path.c_str()), name);
  const short code = OpenWaveform(name.c_str(), &handle_);
  if (code != vardOK) {
    DeleteVariable(name.c_str());
    Check(code, name);
  }
  open_ = true;
}

NewWaveform::~NewWaveform() {
  if (!open_) return;
  SetWaveformLength(handle_, 0);  // publish nothing of what was written
  CloseWaveform(handle_);
  DeleteVariable(name_.c_str());
}

void NewWaveform::Write(std::int64_t first, std::int64_t last, const void* data) {
  Check(WriteWaveform(handle_, static_cast<long>(first), static_cast<long>(last), data), name_);
}

void NewWaveform::Publish() {
  open_ = false;
  Check(CloseWaveform(handle_), name_);
}

std::string Utf8FromAnsi(const std::string& text) {
  if (text.empty()) return text;
  const int n = static_cast<int>(text.size());
  std::wstring wide(static_cast<std::size_t>(MultiByteToWideChar(CP_ACP, 0, text.data(), n, nullptr, 0)), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.data(), n, wide.data(), static_cast<int>(wide.size()));
  const int w = static_cast<int>(wide.size());
  std::string utf8(static_cast<std::size_t>(WideCharToMultiByte(CP_UTF8, 0, wide.data(), w, nullptr, 0, nullptr, nullptr)), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), w, utf8.data(), static_cast<int>(utf8.size()), nullptr, nullptr);
  return utf8;
}

std::string WaveformSummary(const WaveformShape& s) {
  std::string text = std::string(SampleTypeName(s.type)) + ", ";
  if (s.blocks != 1) text += std::to_string(s.blocks) + " blocks of ";
  text += std::to_string(s.length) + " samples";
  if (s.length > 0) {
    text += ", X " + Readable(XOf(s, 0)) + " to " + Readable(XOf(s, s.length - 1));
    if (!s.x_units.empty()) text += " " + s.x_units;
  }
  return text;
}

bool SamplesBetween(const WaveformShape& s, double from, double to, std::int64_t* first,
                    std::int64_t* last) {
  if (s.length <= 0) return false;
  if (std::isinf(from) && from < 0 && std::isinf(to) && to > 0) {
    *first = 0;
    *last = s.length - 1;
    return true;
  }
  if (!(s.x_step > 0) || !std::isfinite(s.x_step))
    throw UsageError("the waveform's X axis has no order (a step of " + std::to_string(s.x_step) +
                     "), so --from and --to cannot select samples");
  const double slack = 1e-9 + 8 * 0x1p-52 * static_cast<double>(s.length - 1);
  const double lo = std::max(0.0, std::ceil((from - s.x0) / s.x_step - slack));
  const double hi = std::min(static_cast<double>(s.length - 1), std::floor((to - s.x0) / s.x_step + slack));
  if (!(lo <= hi)) return false;
  *first = static_cast<std::int64_t>(lo);
  *last = static_cast<std::int64_t>(hi);
  return true;
}

}  // namespace vard::ctl
