// A stand-in for the client library in native tests: writes requests into a
// local 64 KiB block the way the library does (clear the request length,
// RecordSize, texts cut to width - 1) and hands them to Dispatch.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "include/vard_protocol.h"
#include "server/core/dispatch.h"
#include "server/core/pool.h"
#include "server/core/session.h"

namespace vard::server::testing {

template <std::size_t N>
void Put(char (&field)[N], std::string_view text) {
  const std::size_t n = std::min(text.size(), N - 1);
  std::memcpy(field, text.data(), n);
  field[n] = 0;
}

template <std::size_t N>
std::string Got(const char (&field)[N]) {
  return std::string(field, strnlen(field, N));
}

class PoolClient {
 public:
  explicit PoolClient(Pool& pool) : pool_(pool), block_(proto::kBlockSize) {}

  Session& session() { return session_; }

  // The record of `opcode`, cleared and with its RecordSize set.
  template <class R>
  R& Begin(std::uint32_t opcode) {
    std::memset(block_.data(), 0, proto::RequestLength(opcode));
    const std::uint32_t size = proto::AnnouncedRecordSize(opcode);
    std::memcpy(block_.data(), &size, sizeof size);
    return Record<R>();
  }
  template <class R>
  R& Record() {
    return *reinterpret_cast<R*>(block_.data());
  }
  const proto::ScalarRequest& Reply() { return Record<proto::ScalarRequest>(); }
  double Value() { return Reply().Value; }  // a copy: the field is unaligned
  // The text field GetString, GetUnits or GetDescription fills; "" for other codes.
  std::string ReplyText(std::uint32_t opcode) {
    return opcode == proto::kGetString        ? Got(Reply().String)
           : opcode == proto::kGetUnits       ? Got(Reply().Units)
           : opcode == proto::kGetDescription ? Got(Reply().Description)
                                              : "";
  }
  std::uint32_t Send(std::uint32_t opcode) {
    return Dispatch(pool_, session_, opcode, block_.data());
  }

  std::uint32_t CreateNumber(std::string_view name, double value, std::string_view units = "",
                             std::string_view description = "", std::string_view path = "") {
    auto& r = Begin<proto::ScalarRequest>(proto::kCreateNumber);
    Put(r.Name, name), Put(r.Units, units), Put(r.Description, description), Put(r.Path, path);
    r.Value = value;
    return Send(proto::kCreateNumber);
  }
  std::uint32_t CreateString(std::string_view name, std::string_view text,
                             std::string_view path = "") {
    auto& r = Begin<proto::ScalarRequest>(proto::kCreateString);
    Put(r.Name, name), Put(r.String, text), Put(r.Path, path);
    return Send(proto::kCreateString);
  }
  // Any other ScalarRequest operation; `text` goes where the operation takes
  // its text. Read the reply fields with Reply().
  std::uint32_t Scalar(std::uint32_t opcode, std::string_view name, std::string_view text = "",
                       double value = 0.0) {
    auto& r = Begin<proto::ScalarRequest>(opcode);
    Put(r.Name, name);
    if (opcode == proto::kSetString) Put(r.String, text);
    if (opcode == proto::kSetUnits) Put(r.Units, text);
    if (opcode == proto::kSetDescription) Put(r.Description, text);
    r.Value = value;
    return Send(opcode);
  }
  std::uint32_t GetType(std::string_view name, std::int16_t* type) {
    Put(Begin<proto::WaveformRequest>(proto::kGetType).Name, name);
    const std::uint32_t rc = Send(proto::kGetType);
    *type = Record<proto::WaveformRequest>().Type;
    return rc;
  }
  // DeleteVariable, DeleteSubTree and the two waveform tests.
  std::uint32_t Variable(std::uint32_t opcode, std::string_view name, std::string_view path = "") {
    auto& r = Begin<proto::VariableRequest>(opcode);
    Put(r.Name, name), Put(r.NavigatorPathName, path);
    return Send(opcode);
  }

 private:
  Pool& pool_;
  Session session_;
  std::vector<std::uint8_t> block_;
};

}  // namespace vard::server::testing
