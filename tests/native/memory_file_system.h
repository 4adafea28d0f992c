// A file system in memory for the collection tests: fast enough to load a
// file thousands of times, and able to fail where a real disk would.
#pragma once

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "server/core/file_system.h"

namespace vard::server::testing {

class MemoryFileSystem final : public FileSystem {
 public:
  using Bytes = std::vector<std::byte>;
  std::map<std::string, Bytes> files;
  std::size_t disk_space = SIZE_MAX;  // bytes all writes together may add
  bool fail_flush = false, fail_replace = false, fail_create = false, fail_read = false;

  bool IsAbsolute(std::string_view path) const override { return path.starts_with('/'); }
  std::unique_ptr<OutputFile> CreateTemporary(const std::string& target,
                                              std::string* temp) override {
    if (fail_create) return nullptr;
    *temp = target.substr(0, target.rfind('/') + 1) + "~vard" + std::to_string(++made_) + ".tmp";
    return std::make_unique<Output>(*this, files[*temp]);
  }
  bool Replace(const std::string& temp, const std::string& target) override {
    if (fail_replace || !files.count(temp)) return false;
    files[target] = std::move(files[temp]);
    files.erase(temp);
    return true;
  }
  void Remove(const std::string& path) override { files.erase(path); }
  std::unique_ptr<InputFile> OpenRead(const std::string& path) override {
    const auto it = files.find(path);
    return it == files.end() ? nullptr : std::make_unique<Input>(*this, it->second);
  }

 private:
  struct Output final : OutputFile {
    Output(MemoryFileSystem& fs, Bytes& bytes) : fs(fs), bytes(bytes) {}
    bool Write(const void* data, std::size_t size) override {
      if (size > fs.disk_space) return false;
      fs.disk_space -= size;
      bytes.insert(bytes.end(), static_cast<const std::byte*>(data),
                   static_cast<const std::byte*>(data) + size);
      return true;
    }
    bool Flush() override { return !fs.fail_flush; }
    MemoryFileSystem& fs;
    Bytes& bytes;  // std::map keeps it in place
  };
  struct Input final : InputFile {
    Input(MemoryFileSystem& fs, Bytes bytes) : fs(fs), bytes(std::move(bytes)) {}
    bool Read(void* data, std::size_t size, std::size_t* got) override {
      *got = std::min(size, bytes.size() - pos);
      if (*got) std::memcpy(data, bytes.data() + pos, *got);
      pos += *got;
      return !fs.fail_read;
    }
    bool Rewind() override { return (pos = 0) == 0; }
    MemoryFileSystem& fs;
    Bytes bytes;  // as the file was when opened
    std::size_t pos = 0;
  };
  int made_ = 0;
};

}  // namespace vard::server::testing
