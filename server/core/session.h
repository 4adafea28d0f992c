// One client's share of the server: everything it holds.
//
// All that a client acquires through requests (waveform read locks, waveforms
// open for writing, enumeration cursors, open collections) is a resource in
// its session's handle table, so Release() can free all of it in one go when
// the client detaches or dies. Handles are the session's own: a value one
// client holds means nothing in another client's session.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <unordered_map>

namespace vard::server {

// Base of anything a session holds. The destructor is the release: it must
// not take the pool's lock, since a request may close a handle while it holds
// that lock (see WriteClaim in pool.h for how a waveform writer gives up its
// claim without touching the pool).
class SessionResource {
 public:
  virtual ~SessionResource() = default;
};

enum class ResourceKind : std::uint8_t {
  WaveformLock,    // Src of the waveform readers
  WaveformWriter,  // Waveform of the waveform writers
  FindCursor,      // FindHandle of the enumeration
  Collection,      // Coll of the collections
};

class Session {
 public:
  // Handles are 1..kMaxHandleValue, so they stay positive in the 16-bit
  // signed fields of the request block; 0 is never a handle.
  static constexpr std::uint16_t kMaxHandleValue = 0x7FFF;
  // At most this many resources per session; a client leaking handles runs
  // out of them instead of exhausting the server.
  static constexpr std::size_t kMaxResources = 1024;

  explicit Session(std::uint32_t client_process_id = 0);
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // Unique among all sessions of this server process, never reused.
  std::uint64_t Id() const noexcept { return id_; }
  std::uint32_t ClientProcessId() const noexcept { return client_process_id_; }

  // Adds a resource; its new handle, or 0 when the table is full.
  // Handles count upwards and wrap, skipping values in use, so a handle just
  // closed does not name a new resource until ~32767 more have been opened.
  std::uint16_t Add(ResourceKind kind, std::shared_ptr<SessionResource> resource);

  // The resource behind a handle of this kind, or null.
  std::shared_ptr<SessionResource> Get(ResourceKind kind, std::uint16_t handle) const;
  template <class T>
  std::shared_ptr<T> GetAs(ResourceKind kind, std::uint16_t handle) const {
    return std::dynamic_pointer_cast<T>(Get(kind, handle));
  }

  // Removes one resource; false when the handle names none of this kind. The
  // resource is destroyed once nobody uses it any more.
  bool Close(ResourceKind kind, std::uint16_t handle);

  std::size_t Count(ResourceKind kind) const;
  std::size_t Count() const;

  // Frees every resource. The session stays
  // usable (empty) afterwards; the destructor calls it too.
  void Release();

 private:
  struct Entry {
    ResourceKind kind;
    std::shared_ptr<SessionResource> resource;
  };

  const std::uint64_t id_;
  const std::uint32_t client_process_id_;

  // A client sends one request at a time, but the shell may release a dead
  // client's session from another thread.
  mutable std::mutex mutex_;
  std::uint16_t last_handle_ = 0;
  std::unordered_map<std::uint16_t, Entry> table_;
};

}  // namespace vard::server
