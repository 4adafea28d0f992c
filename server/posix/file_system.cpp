// The collections' file system on POSIX systems: what the native builds (unit
// tests, benchmarks) use. A replacement is rename(2) after fsync(2) of the
// file, followed by fsync of the folder, so the new name survives a crash.
#include "server/core/file_system.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>

namespace vard::server {
namespace {

// Owns one descriptor.
class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

std::string FolderOf(const std::string& path) {
  const auto slash = path.find_last_of('/');
  return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

class PosixOutput final : public OutputFile {
 public:
  explicit PosixOutput(int fd) : fd_(fd) {}
  bool Write(const void* data, std::size_t size) override {
    const auto* p = static_cast<const char*>(data);
    while (size > 0) {
      const ssize_t n = ::write(fd_.get(), p, size);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return false;
      p += n;
      size -= static_cast<std::size_t>(n);
    }
    return true;
  }
  bool Flush() override { return ::fsync(fd_.get()) == 0; }

 private:
  Descriptor fd_;
};

class PosixInput final : public InputFile {
 public:
  explicit PosixInput(int fd) : fd_(fd) {}
  bool Read(void* data, std::size_t size, std::size_t* got) override {
    for (;;) {
      const ssize_t n = ::read(fd_.get(), data, size);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) return false;
      *got = static_cast<std::size_t>(n);
      return true;
    }
  }
  bool Rewind() override { return ::lseek(fd_.get(), 0, SEEK_SET) == 0; }

 private:
  Descriptor fd_;
};

class PosixFileSystem final : public FileSystem {
 public:
  bool IsAbsolute(std::string_view path) const override {
    return !path.empty() && path.front() == '/';
  }

  std::unique_ptr<OutputFile> CreateTemporary(const std::string& target,
                                              std::string* temp_path) override {
    static std::atomic<unsigned> counter{0};
    const std::string folder = FolderOf(target);
    for (int attempt = 0; attempt < 16; ++attempt) {
      char name[64];
      std::snprintf(name, sizeof name, "/~vard%08x.tmp",
                    static_cast<unsigned>(::getpid()) * 2654435761u + counter.fetch_add(1));
      std::string path = folder + name;
      const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
      if (fd >= 0) {
        *temp_path = std::move(path);
        return std::make_unique<PosixOutput>(fd);
      }
      if (errno != EEXIST) return nullptr;
    }
    return nullptr;
  }

  bool Replace(const std::string& temp, const std::string& target) override {
    if (::rename(temp.c_str(), target.c_str()) != 0) return false;
    const Descriptor folder(::open(FolderOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    return folder.get() >= 0 && ::fsync(folder.get()) == 0;
  }

  void Remove(const std::string& path) override { ::unlink(path.c_str()); }

  std::unique_ptr<InputFile> OpenRead(const std::string& path) override {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return nullptr;
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
      ::close(fd);
      return nullptr;
    }
    return std::make_unique<PosixInput>(fd);
  }
};

}  // namespace

FileSystem& HostFileSystem() {
  static PosixFileSystem fs;
  return fs;
}

}  // namespace vard::server
