#include "tools/vardctl/file_io.h"

#include <cerrno>
#include <cstring>

#include "tools/vardctl/errors.h"

namespace vard::ctl {

namespace {

int Seek(std::FILE* f, std::uint64_t offset) {
#ifdef _WIN32
  return _fseeki64(f, static_cast<long long>(offset), SEEK_SET);
#else
  return fseeko(f, static_cast<off_t>(offset), SEEK_SET);
#endif
}

std::uint64_t Tell(std::FILE* f) {
#ifdef _WIN32
  return static_cast<std::uint64_t>(_ftelli64(f));
#else
  return static_cast<std::uint64_t>(ftello(f));
#endif
}

}  // namespace

File::File(const std::string& path, const char* mode) : path_(path) {
  file_ = std::fopen(path.c_str(), mode);
  if (!file_) Fail("cannot open");
}

File::~File() {
  if (file_) std::fclose(file_);
}

void File::Fail(const char* what) {
  throw Failure(std::string(what) + " " + path_ + ": " + std::strerror(errno));
}

std::size_t File::Read(void* buffer, std::size_t size) {
  const std::size_t n = std::fread(buffer, 1, size, file_);
  if (n < size && std::ferror(file_)) Fail("cannot read");
  return n;
}

std::size_t File::ReadAt(std::uint64_t offset, void* buffer, std::size_t size) {
  if (Seek(file_, offset) != 0) Fail("cannot read");
  return Read(buffer, size);
}

void File::Write(const void* data, std::size_t size) {
  if (std::fwrite(data, 1, size, file_) != size) Fail("cannot write");
}

std::uint64_t File::Size() {
  if (std::fseek(file_, 0, SEEK_END) != 0) Fail("cannot read");
  const std::uint64_t size = Tell(file_);
  if (Seek(file_, 0) != 0) Fail("cannot read");
  return size;
}

void File::Close() {
  if (!file_) return;
  std::FILE* f = file_;
  file_ = nullptr;
  if (std::fclose(f) != 0) Fail("cannot write");
}

OutputFile::~OutputFile() {
  if (committed_) return;
  try {
    Close();
  } catch (const Failure&) {
  }
  std::remove(path().c_str());
}

void OutputFile::Commit() {
  Close();
  committed_ = true;
}

}  // namespace vard::ctl
