// A registered session against the fake server, shared by the request tests
// of the operation families.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "include/vard_protocol.h"
#include "tests/harness/fake_server.h"
#include "vard32.h"

namespace vard::test {

class RequestTest : public ::testing::Test {
 protected:
  // Unregistering at the end releases the connection: the next test's fake
  // server is a new window.
  void SetUp() override { InitDataManager(); }
  void TearDown() override { ExitDataManager(); }

  // The data requests so far, registration traffic left out.
  std::vector<Received> Sent() const {
    auto all = server_.Requests();
    std::erase_if(all, [](const Received& r) { return r.code < proto::kGetType; });
    return all;
  }
  std::vector<std::uint32_t> SentCodes() const {
    std::vector<std::uint32_t> out;
    for (const auto& r : Sent()) out.push_back(r.code);
    return out;
  }
  Received Last() const { return Sent().back(); }

  // Every reply scribbles over the whole block, so the next request shows
  // exactly which bytes the library cleared.
  void ScribbleAfterEachReply() {
    server_.SetHandler([](std::uint32_t, std::uint8_t* block) -> LRESULT {
      std::memset(block, 0xAA, proto::kBlockSize);
      return 0;
    });
  }

  FakeServer server_;
};

// A text field as the server reads it: up to its NUL, never past its width.
template <std::size_t N>
std::string Text(const char (&field)[N]) {
  return std::string(field, strnlen(field, N));
}

inline bool AllZero(const Received& r, std::size_t from, std::size_t to) {
  return std::all_of(r.block.begin() + from, r.block.begin() + to,
                     [](std::uint8_t b) { return b == 0; });
}

inline std::wstring Wide(const std::string& s) { return std::wstring(s.begin(), s.end()); }

}  // namespace vard::test
