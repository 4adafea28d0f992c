// The CSV files vardctl imports and exports: one waveform block as an X
// column and a Y column under a header that names them and gives their units
// (the dialect is described in docs/vardctl.md). Portable: no platform calls.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "tools/vardctl/errors.h"

namespace vard::ctl {

// One column heading: "time [s]" is the name "time" with the units "s".
struct CsvColumn {
  std::string name;
  std::string units;
};

struct CsvHeader {
  CsvColumn x;
  CsvColumn y;
};

// Reads up to `size` bytes into `buffer`; 0 at the end of the input.
using ByteSource = std::function<std::size_t(char* buffer, std::size_t size)>;

// A streaming reader: the header first, then the rows in batches, so a file
// of any length passes through a buffer of fixed size. Every malformed line
// throws FileError naming its line number. The X column must rise evenly;
// the axis it describes is known once the last row has been read.
class CsvReader {
 public:
  explicit CsvReader(ByteSource source);

  // Reads the header line. Throws FileError when the input has none.
  CsvHeader ReadHeader();

  // Reads up to `capacity` rows, their Y values into `y`; the number read,
  // 0 once the input is exhausted.
  std::size_t ReadRows(float* y, std::size_t capacity);

  std::int64_t rows() const { return rows_; }
  double x0() const { return x0_; }
  // The step between rows: from the first X to the last, over rows − 1
  // steps; 1 for a single row.
  double x_step() const;

 private:
  // The next non-blank line, without its line end; false at the end.
  bool NextLine(std::string_view* line);
  void CheckX(double x);

  ByteSource source_;
  std::vector<char> buffer_;
  std::size_t begin_ = 0;  // unread bytes are [begin_, end_)
  std::size_t end_ = 0;
  bool exhausted_ = false;
  std::int64_t line_ = 0;
  std::int64_t rows_ = 0;
  double x0_ = 0.0;
  double x_last_ = 0.0;
};

// The header line, with its line end. A comma in a name or in units would
// split the column, so it is written as a semicolon.
std::string CsvHeaderLine(const CsvHeader& header);

// Appends one row "x,y\n" in the shortest forms that read back exactly.
void AppendCsvRow(std::string* out, double x, float y);

}  // namespace vard::ctl
