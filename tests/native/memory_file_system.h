// A file system in memory for the collection tests: fast enough to load a
// file thousands of times, and able to fail where a real disk would.
#pragma once

#include <cstddef>
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
  // Failures to inject.
  std::size_t disk_space = SIZE_MAX;  // bytes all writes together may add
  bool fail_flush = false, fail_replace = false, fail_create = false, fail_read = false;

  bool IsAbsolute(std::string_view path) const override { return path.starts_with('/'); }

  std::unique_ptr<OutputFile> CreateTemporary(const std::string& target,
                                              std::string* temp_path) override {
    if (fail_create) return nullptr;
    *temp_path = target.substr(0, target.rfind('/') + 1) + "~vard" + std::to_string(++made_) + ".tmp";
    files[*temp_path];
    return std::make_unique<Output>(*this, *temp_path);
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
    if (it == files.end()) return nullptr;
    return std::make_unique<Input>(*this, it->second);
  }

  // The names of the temporary files that exist.
  std::vector<std::string> Temporaries() const {
    std::vector<std::string> out;
    for (const auto& [name, bytes] : files)
      if (name.find("~vard") != std::string::npos) out.push_back(name);
    return out;
  }

 private:
  struct Output final : OutputFile {
    Output(MemoryFileSystem& fs, std::string path) : fs(fs), path(std::move(path)) {}
    bool Write(const void* data, std::size_t size) override {
      if (size > fs.disk_space) return false;
      fs.disk_space -= size;
      const auto* p = static_cast<const std::byte*>(data);
      fs.files[path].insert(fs.files[path].end(), p, p + size);
      return true;
    }
    bool Flush() override { return !fs.fail_flush; }
    MemoryFileSystem& fs;
    std::string path;
  };
  struct Input final : InputFile {
    Input(MemoryFileSystem& fs, Bytes bytes) : fs(fs), bytes(std::move(bytes)) {}
    bool Read(void* data, std::size_t size, std::size_t* got) override {
      if (fs.fail_read) return false;
      *got = std::min(size, bytes.size() - pos);
      if (*got) std::memcpy(data, bytes.data() + pos, *got);
      pos += *got;
      return true;
    }
    bool Rewind() override { return (pos = 0) == 0; }
    MemoryFileSystem& fs;
    Bytes bytes;  // the file as it was when opened
    std::size_t pos = 0;
  };
  int made_ = 0;
};

}  // namespace vard::server::testing
