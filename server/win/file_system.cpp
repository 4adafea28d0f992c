// The collections' file system on Windows. A temporary file is created in the
// target's folder (so the final move stays on one volume and is a rename),
// flushed with FlushFileBuffers, closed, and moved over the target with
// MoveFileEx(MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH). A file being
// loaded is opened with FILE_SHARE_READ only, so nobody writes it meanwhile.
#include "server/core/file_system.h"

#include <windows.h>

#include <atomic>
#include <cstdio>

namespace vard::server {
namespace {

// Owns one file handle.
class FileHandle {
 public:
  explicit FileHandle(HANDLE h) : h_(h) {}
  ~FileHandle() {
    if (h_ != INVALID_HANDLE_VALUE) CloseHandle(h_);
  }
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;
  HANDLE get() const { return h_; }

 private:
  HANDLE h_;
};

// ReadFile and WriteFile take 32-bit counts; pieces stay well below that.
constexpr std::size_t kMaxPiece = 1u << 30;

class WinOutput final : public OutputFile {
 public:
  explicit WinOutput(HANDLE h) : file_(h) {}
  bool Write(const void* data, std::size_t size) override {
    const auto* p = static_cast<const char*>(data);
    while (size > 0) {
      const DWORD piece = static_cast<DWORD>(size < kMaxPiece ? size : kMaxPiece);
      DWORD written = 0;
      if (!WriteFile(file_.get(), p, piece, &written, nullptr) || written == 0) return false;
      p += written;
      size -= written;
    }
    return true;
  }
  bool Flush() override { return FlushFileBuffers(file_.get()) != 0; }

 private:
  FileHandle file_;
};

class WinInput final : public InputFile {
 public:
  explicit WinInput(HANDLE h) : file_(h) {}
  bool Read(void* data, std::size_t size, std::size_t* got) override {
    DWORD n = 0;
    const DWORD piece = static_cast<DWORD>(size < kMaxPiece ? size : kMaxPiece);
    if (!ReadFile(file_.get(), data, piece, &n, nullptr)) return false;
    *got = n;
    return true;
  }
  bool Rewind() override {
    LARGE_INTEGER zero{};
    return SetFilePointerEx(file_.get(), zero, nullptr, FILE_BEGIN) != 0;
  }

 private:
  FileHandle file_;
};

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

class WinFileSystem final : public FileSystem {
 public:
  // "C:\..." or a UNC name "\\server\share\...".
  bool IsAbsolute(std::string_view path) const override {
    if (path.size() >= 3 && path[1] == ':' && IsSeparator(path[2])) return true;
    return path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1]);
  }

  std::unique_ptr<OutputFile> CreateTemporary(const std::string& target,
                                              std::string* temp_path) override {
    static std::atomic<unsigned> counter{0};
    const auto slash = target.find_last_of("\\/");
    const std::string folder = slash == std::string::npos ? "" : target.substr(0, slash + 1);
    for (int attempt = 0; attempt < 16; ++attempt) {
      char name[32];
      std::snprintf(name, sizeof name, "~vard%08lx.tmp",
                    GetCurrentProcessId() * 2654435761ul + GetTickCount() + counter.fetch_add(1));
      std::string path = folder + name;
      HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                             FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
      if (h != INVALID_HANDLE_VALUE) {
        *temp_path = std::move(path);
        return std::make_unique<WinOutput>(h);
      }
      const DWORD error = GetLastError();
      if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) return nullptr;
    }
    return nullptr;
  }

  bool Replace(const std::string& temp, const std::string& target) override {
    return MoveFileExA(temp.c_str(), target.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
  }

  void Remove(const std::string& path) override { DeleteFileA(path.c_str()); }

  std::unique_ptr<InputFile> OpenRead(const std::string& path) override {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (h == INVALID_HANDLE_VALUE) return nullptr;
    return std::make_unique<WinInput>(h);
  }
};

}  // namespace

FileSystem& HostFileSystem() {
  static WinFileSystem fs;
  return fs;
}

}  // namespace vard::server
