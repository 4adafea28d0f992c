#include "server/core/file_system.h"

#include <atomic>

namespace vard::server {
namespace {

std::atomic<FileSystem*> g_replacement{nullptr};

}  // namespace

FileSystem& CollectionFileSystem() {
  FileSystem* fs = g_replacement.load(std::memory_order_acquire);
  return fs ? *fs : HostFileSystem();
}

void SetCollectionFileSystem(FileSystem* fs) { g_replacement.store(fs, std::memory_order_release); }

}  // namespace vard::server
