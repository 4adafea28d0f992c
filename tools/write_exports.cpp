// Build tool: the module-definition files of VARD32.dll from its export list.
//
//   write_exports LIST OUT32.def OUT64.def OUT_ROWS.inc
//
// LIST is link/exports.list: every name the library exports; the ordinals
// follow from it.
#include <cstdio>
#include <exception>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>

#include "link/export_table.h"

namespace {

std::string Read(const char* path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error(std::string("cannot read ") + path);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void Write(const char* path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  if (!out) throw std::runtime_error(std::string("cannot write ") + path);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: write_exports LIST OUT32.def OUT64.def OUT_ROWS.inc\n");
    return 2;
  }
  try {
    using namespace vard::exports;
    auto list = Parse(Read(argv[1]));
    PinOrdinals(list);
    Write(argv[2], Definition32(list));
    Write(argv[3], Definition64(list));
    Write(argv[4], TestRows(list));
  } catch (const std::exception& e) {
    std::fprintf(stderr, "write_exports: %s\n", e.what());
    return 1;
  }
  return 0;
}
