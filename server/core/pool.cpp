#include "server/core/pool.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <vector>

#include "server/core/waveform.h"

namespace vard::server {

vardVarType Variable::Type() const noexcept {
  switch (kind) {
    case Kind::Number:
      return vardNumerical;
    case Kind::String:
      return vardString;
    case Kind::Waveform:
      return SampleType() == vardDigital ? vardDigitalWaveform : vardWaveform;
  }
  return vardUnknown;
}

vardDataType Variable::SampleType() const noexcept {
  return waveform ? static_cast<vardDataType>(waveform->type()) : vardFloat;
}

Variable* Pool::WriteView::Insert(Variable v) {
  if (map_->find(std::string_view(v.name)) != map_->end()) return nullptr;
  std::string key = v.name;
  return &map_->emplace(std::move(key), std::move(v)).first->second;
}

namespace {

std::string Folded(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = FoldAscii(c);
  return out;
}

// Texts may hold any byte; escape the ones that would blur a line.
void AppendQuoted(std::string& out, std::string_view s) {
  out += '"';
  for (char c : s) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u >= 0x7F || c == '"' || c == '\\') {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\x%02X", u);
      out += buf;
    } else {
      out += c;
    }
  }
  out += '"';
}

}  // namespace

std::string Pool::Dump() const {
  const ReadView view = Read();
  std::vector<std::pair<std::string, const Variable*>> sorted;
  sorted.reserve(view.Size());
  view.ForEach([&](const Variable& v) { sorted.emplace_back(Folded(v.name), &v); });
  std::sort(sorted.begin(), sorted.end(),
            [](const auto& a, const auto& b) { return a.first < b.first; });

  std::string out;
  for (const auto& [key, v] : sorted) {
    AppendQuoted(out, v->name);
    out += " path=";
    AppendQuoted(out, v->path);
    out += " desc=";
    AppendQuoted(out, v->description);
    char buf[96];
    switch (v->kind) {
      case Kind::Number: {
        std::uint64_t bits;
        std::memcpy(&bits, &v->value, sizeof bits);  // exact, NaNs included
        std::snprintf(buf, sizeof buf, " number=%016" PRIX64 " units=", bits);
        out += buf;
        AppendQuoted(out, v->units);
        break;
      }
      case Kind::String:
        out += " string=";
        AppendQuoted(out, v->text);
        break;
      case Kind::Waveform:
        std::snprintf(buf, sizeof buf, " waveform=%p type=%d writing=%d",
                      static_cast<const void*>(v->waveform.get()),
                      static_cast<int>(v->SampleType()), v->OpenForWriting() ? 1 : 0);
        out += buf;
        break;
    }
    out += '\n';
  }
  return out;
}

}  // namespace vard::server
