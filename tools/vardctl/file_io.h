// Files as vardctl reads and writes them: C streams in owners that close
// them, and failures that name the file. Portable.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace vard::ctl {

class File {
 public:
  File(const std::string& path, const char* mode);  // throws Failure
  ~File();
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  // Up to `size` bytes; fewer only at the end of the file.
  std::size_t Read(void* buffer, std::size_t size);
  std::size_t ReadAt(std::uint64_t offset, void* buffer, std::size_t size);
  void Write(const void* data, std::size_t size);
  void Write(const std::string& text) { Write(text.data(), text.size()); }
  std::uint64_t Size();
  void Close();  // flushes; throws Failure when the data did not reach the file

  const std::string& path() const { return path_; }

 private:
  [[noreturn]] void Fail(const char* what);
  std::string path_;
  std::FILE* file_ = nullptr;
};

// A file being written that is removed again unless Commit() is called, so
// a failed export leaves no half-written file behind.
class OutputFile : public File {
 public:
  explicit OutputFile(const std::string& path) : File(path, "wb") {}
  ~OutputFile();
  void Commit();

 private:
  bool committed_ = false;
};

}  // namespace vard::ctl
