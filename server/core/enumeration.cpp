#include "server/core/enumeration.h"

#include <algorithm>
#include <cstring>
#include <mutex>

#include "server/core/names.h"

namespace vard::server {

bool FilterSelects(std::uint16_t filter, vardVarType type) noexcept {
  switch (type) {
    case vardWaveform:
      return (filter & vardNavigateWaveform) != 0;
    case vardNumerical:
      return (filter & vardNavigateNumerical) != 0;
    case vardString:
      return (filter & vardNavigateString) != 0;
    case vardDigitalWaveform:
      return (filter & vardNavigateDigiWaveform) != 0;
    default:
      return (filter & vardNavigateAll) == vardNavigateAll;
  }
}

NameIndex::Entry NameIndex::At(std::size_t i) const noexcept {
  const Slot& s = slots_[i];
  const std::string_view text(text_);
  return {text.substr(s.offset, s.path_size), text.substr(s.offset + s.path_size, s.name_size),
          static_cast<vardVarType>(s.type)};
}

void NameIndex::Add(const Variable& v) {
  // The pool's rules keep paths within 255 and names within 29 bytes.
  const std::string_view path = CutText(v.path, kMaxPathLength);
  const std::string_view name = CutText(v.name, kMaxNameLength);
  slots_.push_back({static_cast<std::uint32_t>(text_.size()),
                    static_cast<std::uint16_t>(path.size()), static_cast<std::uint8_t>(name.size()),
                    static_cast<std::uint8_t>(v.Type())});
  text_.append(path).append(name);
}

void NameIndex::Sort() {
  folded_ = text_;
  for (char& c : folded_) c = FoldAscii(c);
  const std::string_view folded(folded_);
  // string_view compares bytes as unsigned values.
  std::sort(slots_.begin(), slots_.end(), [folded](const Slot& a, const Slot& b) {
    const int by_path =
        folded.substr(a.offset, a.path_size).compare(folded.substr(b.offset, b.path_size));
    if (by_path != 0) return by_path < 0;
    return folded.substr(a.offset + a.path_size, a.name_size) <
           folded.substr(b.offset + b.path_size, b.name_size);
  });
  folded_.clear();
  folded_.shrink_to_fit();
}

std::shared_ptr<const NameIndex> NameIndex::Snapshot(const Pool& pool) {
  Pool::NameIndexCache& cache = pool.IndexCache();
  auto index = std::make_shared<NameIndex>();
  std::uint64_t generation;
  {
    const auto view = pool.Read();
    generation = view.Generation();
    {
      std::lock_guard lock(cache.mutex);
      if (cache.generation == generation) {
        if (auto shared = cache.index.lock()) return shared;
      }
    }
    index->slots_.reserve(view.Size());
    view.ForEach([&](const Variable& v) { index->Add(v); });
  }
  index->Sort();
  std::lock_guard lock(cache.mutex);
  if (generation >= cache.generation) {
    cache.generation = generation;
    cache.index = index;
  }
  return index;
}

bool FindCursor::Next(NameIndex::Entry* entry) noexcept {
  while (position_ < index_->Size()) {
    const NameIndex::Entry e = index_->At(position_++);
    if (FilterSelects(filter_, e.type)) {
      *entry = e;
      return true;
    }
  }
  return false;
}

bool WriteNameList(const NameIndex& index, std::uint8_t* out, std::size_t capacity) noexcept {
  if (capacity == 0) return false;
  std::size_t used = 0;
  bool complete = true;
  for (std::size_t i = 0; i < index.Size(); ++i) {
    const std::string_view name = index.At(i).name;
    // The name, its NUL, and the list's final NUL must fit.
    if (name.size() + 2 > capacity - used) {
      complete = false;
      break;
    }
    std::memcpy(out + used, name.data(), name.size());
    used += name.size();
    out[used++] = 0;
  }
  std::memset(out + used, 0, capacity - used);
  return complete;
}

}  // namespace vard::server
