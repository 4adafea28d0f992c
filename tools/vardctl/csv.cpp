#include "tools/vardctl/csv.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <utility>

#include "tools/vardctl/text.h"

namespace vard::ctl {

namespace {

constexpr std::size_t kBufferBytes = 1 << 20;  // also the longest line

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

// Splits "a,b" into its two fields; false unless there are exactly two.
bool SplitTwo(std::string_view line, std::string_view* a, std::string_view* b) {
  const std::size_t comma = line.find(',');
  if (comma == std::string_view::npos) return false;
  *a = line.substr(0, comma);
  *b = line.substr(comma + 1);
  return b->find(',') == std::string_view::npos;
}

std::size_t FieldCount(std::string_view line) {
  std::size_t n = 1;
  for (char c : line) n += c == ',';
  return n;
}

CsvColumn ParseHeading(std::string_view field) {
  field = Trim(field);
  CsvColumn column;
  const std::size_t open = field.rfind('[');
  if (!field.empty() && field.back() == ']' && open != std::string_view::npos) {
    column.units = std::string(Trim(field.substr(open + 1, field.size() - open - 2)));
    field = Trim(field.substr(0, open));
  }
  column.name = std::string(field);
  return column;
}

std::string Sanitised(const std::string& text) {
  std::string out = text;
  for (char& c : out)
    if (c == ',') c = ';';
  return out;
}

std::string Heading(const CsvColumn& column) {
  std::string out = Sanitised(column.name);
  if (!column.units.empty()) out += " [" + Sanitised(column.units) + "]";
  return out;
}

}  // namespace

CsvReader::CsvReader(ByteSource source) : source_(std::move(source)), buffer_(kBufferBytes) {}

bool CsvReader::NextLine(std::string_view* line) {
  for (;;) {
    const char* data = buffer_.data();
    const void* nl = std::memchr(data + begin_, '\n', end_ - begin_);
    std::size_t stop = 0;
    if (nl) {
      stop = static_cast<const char*>(nl) - data;
    } else if (exhausted_) {
      if (begin_ == end_) return false;
      stop = end_;
    } else {
      if (end_ - begin_ == buffer_.size())
        throw FileError(line_ + 1, "a line longer than " + std::to_string(kBufferBytes) + " bytes");
      std::memmove(buffer_.data(), data + begin_, end_ - begin_);
      end_ -= begin_;
      begin_ = 0;
      const std::size_t got = source_(buffer_.data() + end_, buffer_.size() - end_);
      if (got == 0) exhausted_ = true;
      end_ += got;
      continue;
    }
    std::string_view text(data + begin_, stop - begin_);
    begin_ = stop < end_ ? stop + 1 : stop;
    ++line_;
    if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
    if (Trim(text).empty()) continue;
    *line = text;
    return true;
  }
}

CsvHeader CsvReader::ReadHeader() {
  std::string_view line;
  if (!NextLine(&line)) throw FileError(0, "the file is empty: no header line");
  std::string_view x, y;
  if (!SplitTwo(line, &x, &y))
    throw FileError(line_, "the header must name two columns (X and Y), found " +
                               std::to_string(FieldCount(line)));
  double ignored = 0.0;
  if (ParseNumber(x, &ignored) && ParseNumber(y, &ignored))
    throw FileError(line_, "the first line must name the columns, as in \"time [s],voltage [V]\"");
  return {ParseHeading(x), ParseHeading(y)};
}

void CsvReader::CheckX(double x) {
  if (!std::isfinite(x)) throw FileError(line_, "X must be a finite number");
  if (rows_ == 0) {
    x0_ = x;
  } else if (rows_ == 1) {
    if (!(x > x0_))
      throw FileError(line_, "X must rise from row to row: " + Shortest(x) + " follows " +
                                 Shortest(x0_));
  } else {
    const double step = (x_last_ - x0_) / static_cast<double>(rows_ - 1);
    const double expected = x0_ + static_cast<double>(rows_) * step;
    if (!(std::fabs(x - expected) <= 0.01 * step))
      throw FileError(line_, "X " + Shortest(x) + " breaks the even spacing of the rows: expected " +
                                 Shortest(expected));
  }
  x_last_ = x;
  ++rows_;
}

std::size_t CsvReader::ReadRows(float* y, std::size_t capacity) {
  std::size_t n = 0;
  std::string_view line;
  while (n < capacity && NextLine(&line)) {
    std::string_view xf, yf;
    if (!SplitTwo(line, &xf, &yf))
      throw FileError(line_, "expected 2 fields (X,Y), found " + std::to_string(FieldCount(line)));
    double x = 0.0, value = 0.0;
    if (!ParseNumber(xf, &x))
      throw FileError(line_, "X \"" + std::string(Trim(xf)) + "\" is not a number");
    if (!ParseNumber(yf, &value))
      throw FileError(line_, "Y \"" + std::string(Trim(yf)) + "\" is not a number");
    const auto single = static_cast<float>(value);
    if (std::isinf(single) && !std::isinf(value))
      throw FileError(line_, "Y " + Shortest(value) + " is too large for a 32-bit float");
    CheckX(x);
    y[n++] = single;
  }
  return n;
}

double CsvReader::x_step() const {
  return rows_ > 1 ? (x_last_ - x0_) / static_cast<double>(rows_ - 1) : 1.0;
}

std::string CsvHeaderLine(const CsvHeader& header) {
  return Heading(header.x) + "," + Heading(header.y) + "\n";
}

void AppendCsvRow(std::string* out, double x, float y) {
  char row[64];
  char* p = std::to_chars(row, row + 32, x).ptr;
  *p++ = ',';
  p = std::to_chars(p, row + sizeof row - 1, y).ptr;
  *p++ = '\n';
  out->append(row, p);
}

}  // namespace vard::ctl
