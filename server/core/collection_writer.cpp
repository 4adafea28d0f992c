#include "server/core/collection_writer.h"

#include <new>
#include <utility>

#include "include/vard_enums.h"
#include "server/core/file_system.h"
#include "server/core/names.h"

namespace vard::server {

using collection::Encoder;

CollectionWriter::CollectionWriter(FileSystem& fs, std::string target)
    : fs_(fs), target_(std::move(target)) {}

CollectionWriter::~CollectionWriter() {
  out_.reset();
  file_.reset();
  if (!committed_ && !temp_.empty()) fs_.Remove(temp_);
}

std::uint16_t CollectionWriter::Create(FileSystem& fs, const std::string& target,
                                       std::string_view comment, std::int64_t created,
                                       std::unique_ptr<CollectionWriter>* out) {
  if (target.empty() || !fs.IsAbsolute(target)) return vardCollFileCreate;
  try {
    std::unique_ptr<CollectionWriter> w(new CollectionWriter(fs, target));
    w->file_ = fs.CreateTemporary(target, &w->temp_);
    if (!w->file_) return vardCollFileCreate;
    w->out_ = std::make_unique<collection::RecordOutput>(w->file_.get());
    Encoder h;
    h.Value(created).Text(collection::kWriterName);
    h.Text(CutText(comment, collection::kMaxCommentLength));
    Encoder prefix;
    prefix.Value(collection::kFormatVersion).Value(std::uint16_t{0});
    prefix.Value(static_cast<std::uint32_t>(h.bytes.size()));
    w->out_->Put(collection::kMagic, sizeof collection::kMagic);
    w->out_->Put(prefix.bytes);
    w->out_->Put(h.bytes);
    w->out_->SealSegment();
    if (w->out_->spoiled()) return vardCollFileWrite;
    *out = std::move(w);
    return vardCollReturnOK;
  } catch (const std::bad_alloc&) {
    return vardCollOutOfMemory;
  }
}

std::uint16_t CollectionWriter::Add(const Variable& v, std::uint16_t options) {
  if (out_->spoiled()) return vardCollFileWrite;
  try {
    out_->PutVariable(v, options);
    ++records_;
    return out_->spoiled() ? vardCollFileWrite : vardCollReturnOK;
  } catch (const std::bad_alloc&) {
    // Part of a record may be out: the file cannot be finished any more.
    out_->Spoil();
    return vardCollOutOfMemory;
  }
}

std::uint16_t CollectionWriter::Commit() {
  if (out_->spoiled() || committed_) return vardCollFileWrite;
  Encoder t;
  t.Value(static_cast<std::uint16_t>(collection::kEndOfRecords)).Value(std::uint16_t{0});
  t.Value(records_).Value(out_->written());
  out_->Put(t.bytes);
  out_->crc().EndSegment();
  const std::uint32_t crc = out_->crc().Crc();
  out_->Put(&crc, sizeof crc);
  if (!out_->Drain() || !file_->Flush()) return vardCollFileWrite;
  out_.reset();
  file_.reset();  // closed before it moves
  if (!fs_.Replace(temp_, target_)) return vardCollFileWrite;
  committed_ = true;
  return vardCollReturnOK;
}

}  // namespace vard::server
