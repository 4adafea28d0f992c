// The pool's journal: every published change, appended to a file before the
// request that made it is answered, so that a host started after this one
// ended (or was killed) finds the pool as the last answered request left it.
//
// The journal is a file "pool.journal" in a folder of the user's choosing:
// a header, then records in the collection format (collection_records.h) —
// a variable's whole published state, or its removal, or a new description —
// each with its length and CRC-32. The records one request writes form a
// group (all but the last carry kContinued) that a replay applies whole or
// not at all; a group cut off by a crash is discarded, and so is everything
// after a record whose CRC does not match. docs/journal.md describes the
// format, the flush policies and the compaction.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "server/core/collection_records.h"
#include "server/core/pool.h"

namespace vard::server {

class FileSystem;
class OutputFile;

enum class FlushPolicy : std::uint8_t {
  Always,       // flushed to the disk before the reply
  EverySecond,  // written before the reply, flushed to the disk once a second
};

struct JournalOptions {
  std::string folder;
  FlushPolicy flush = FlushPolicy::EverySecond;
  // The journal is rewritten from the live pool once it is larger than
  // twice the live data and larger than this.
  std::uint64_t compaction_floor = 4u << 20;
  // A thread for the once-a-second flush and for compaction; without it
  // (tests), Commit compacts in place and nothing is flushed by time.
  bool background = true;
};

// What Open found in the folder.
struct ReplayReport {
  std::uint64_t groups = 0;       // requests replayed
  std::uint64_t good_bytes = 0;   // bytes of the file that were replayed
  bool torn = false;              // a tail was discarded after good_bytes
};

class Journal {
 public:
  // Names and format, in the folder.
  static constexpr char kFileName[] = "pool.journal";
  static constexpr char kNewFileName[] = "pool.journal.new";
  static constexpr std::uint8_t kMagic[8] = {0x89, 'V', 'J', 'R', 'N', '\r', '\n', 0x1A};
  static constexpr std::uint16_t kVersion = 1;
  // Record types beyond the collection format's variables.
  static constexpr std::uint16_t kFormulaRecord = 0x101;      // common · units · source · row u16
  static constexpr std::uint16_t kEraseRecord = 0x102;        // name
  static constexpr std::uint16_t kDescriptionRecord = 0x103;  // name · description
  // Frame flag: the request's group goes on in the next record.
  static constexpr std::uint16_t kContinued = 1;

  // Replays the folder's journal, if there is one, into `pool`, writes a
  // fresh journal of the whole pool in its place (so a torn tail is gone)
  // and attaches itself to the pool. Null, with the reason in *error, when
  // the folder cannot be written, the file is not a journal or cannot be
  // read, or memory runs out: a pool that was asked to be durable and cannot
  // be is not started.
  static std::unique_ptr<Journal> Open(FileSystem& fs, Pool& pool, const JournalOptions& options,
                                       std::string* error, ReplayReport* report = nullptr);
  // Detaches from the pool and flushes; call while no request runs.
  ~Journal();
  Journal(const Journal&) = delete;
  Journal& operator=(const Journal&) = delete;

  // Writes the final state of every changed variable as one group. Called by
  // Pool::WriteView with the pool's lock held. A failure is reported to the
  // request through TakeCommitFailure (its reply becomes vardInternalError);
  // the change stays in the pool, and the next commit first rewrites the
  // whole journal, so that it holds that change too.
  void Commit(Pool::WriteView& view, const std::vector<PoolChange>& changes) noexcept;

  // Rewrites the journal from the live pool now; false when that failed.
  bool Compact();

  std::uint64_t Bytes() const;        // the journal file's size
  std::uint64_t Compactions() const;  // rewrites since Open

 private:
  Journal(FileSystem& fs, Pool& pool, const JournalOptions& options);
  bool Replay(ReplayReport* report, std::string* error);
  template <class View>
  bool CompactLocked(View& view);
  void Run();  // the background thread
  void WriteChanges(Pool::WriteView& view, const std::vector<PoolChange>& changes);
  void AfterCommit(Pool::WriteView& view);
  std::uint64_t BytesLocked() const;

  FileSystem& fs_;
  Pool& pool_;
  const JournalOptions options_;
  const std::string path_, new_path_;

  mutable std::mutex mutex_;  // after the pool's lock, never before it
  std::condition_variable wake_;
  std::shared_ptr<OutputFile> file_;  // null while broken
  std::unique_ptr<collection::RecordOutput> out_;
  std::uint64_t base_ = 0;        // bytes of the file before out_ began
  std::uint64_t next_check_ = 0;  // the size at which the live data is measured again
  std::uint64_t compactions_ = 0;
  bool broken_ = false;        // a write failed: the file may end in a torn record
  bool dirty_ = false;         // written since the last flush
  bool compact_wanted_ = false;
  bool stop_ = false;
  std::thread thread_;
};

// Whether a commit on this thread failed since the last call; Dispatch asks
// after every request of a pool with a journal.
bool TakeCommitFailure() noexcept;

}  // namespace vard::server
