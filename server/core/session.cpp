#include "server/core/session.h"

#include <atomic>
#include <utility>

namespace vard::server {
namespace {

std::uint64_t NextSessionId() noexcept {
  static std::atomic<std::uint64_t> next{1};
  return next.fetch_add(1, std::memory_order_relaxed);
}

}  // namespace

Session::Session(std::uint32_t client_process_id)
    : id_(NextSessionId()), client_process_id_(client_process_id) {}

Session::~Session() { Release(); }

std::uint16_t Session::Add(ResourceKind kind, std::shared_ptr<SessionResource> resource) {
  if (!resource) return 0;
  std::lock_guard lock(mutex_);
  if (table_.size() >= kMaxResources) return 0;
  // kMaxResources is far below kMaxHandleValue, so a free value turns up
  // within kMaxResources + 1 steps.
  std::uint16_t h = last_handle_;
  do {
    h = h >= kMaxHandleValue ? 1 : static_cast<std::uint16_t>(h + 1);
  } while (table_.count(h) != 0);
  table_.emplace(h, Entry{kind, std::move(resource)});
  last_handle_ = h;
  return h;
}

std::shared_ptr<SessionResource> Session::Get(ResourceKind kind, std::uint16_t handle) const {
  std::lock_guard lock(mutex_);
  const auto it = table_.find(handle);
  if (it == table_.end() || it->second.kind != kind) return nullptr;
  return it->second.resource;
}

bool Session::Close(ResourceKind kind, std::uint16_t handle) {
  std::shared_ptr<SessionResource> doomed;  // destroyed after the unlock
  {
    std::lock_guard lock(mutex_);
    const auto it = table_.find(handle);
    if (it == table_.end() || it->second.kind != kind) return false;
    doomed = std::move(it->second.resource);
    table_.erase(it);
  }
  return true;
}

std::size_t Session::Count(ResourceKind kind) const {
  std::lock_guard lock(mutex_);
  std::size_t n = 0;
  for (const auto& entry : table_) n += entry.second.kind == kind ? 1 : 0;
  return n;
}

std::size_t Session::Count() const {
  std::lock_guard lock(mutex_);
  return table_.size();
}

void Session::Release() {
  std::unordered_map<std::uint16_t, Entry> doomed;  // destroyed after the unlock
  {
    std::lock_guard lock(mutex_);
    doomed.swap(table_);
  }
}

}  // namespace vard::server
