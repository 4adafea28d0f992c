// VARD32.dll as a file: its export directory (names, pinned ordinals, second
// names), its version resource and the window helper.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "vard32.h"

namespace {

struct Row {
  const char* name;
  int ordinal;
  const char* target;  // "" unless a second name
};
// The exports the build put in the table, with their pinned ordinals.
constexpr Row kRows[] = {
#include "vard32_exports.inc"
};

struct Exported {
  int ordinal;
  DWORD address;
};

class ExportDirectory : public ::testing::Test {
 protected:
  void SetUp() override {
    auto* base = reinterpret_cast<const BYTE*>(GetModuleHandleW(L"VARD32.dll"));
    ASSERT_NE(base, nullptr);
    auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const auto& entry = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    dir_ = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + entry.VirtualAddress);
    auto* names = reinterpret_cast<const DWORD*>(base + dir_->AddressOfNames);
    auto* indexes = reinterpret_cast<const WORD*>(base + dir_->AddressOfNameOrdinals);
    auto* addresses = reinterpret_cast<const DWORD*>(base + dir_->AddressOfFunctions);
    library_ = reinterpret_cast<const char*>(base + dir_->Name);
    for (DWORD i = 0; i < dir_->NumberOfNames; ++i) {
      const char* name = reinterpret_cast<const char*>(base + names[i]);
      exports_[name] = {static_cast<int>(indexes[i] + dir_->Base), addresses[indexes[i]]};
    }
  }

  const IMAGE_EXPORT_DIRECTORY* dir_ = nullptr;
  std::string library_;
  std::map<std::string, Exported> exports_;  // by name, byte-wise ascending
};

// Every name of the table is there with its ordinal; a second name shares
// its function's address.
TEST_F(ExportDirectory, HoldsTheTableAsPinned) {
  EXPECT_EQ(library_, "VARD32.dll");
  EXPECT_EQ(dir_->Base, 2u);
  ASSERT_EQ(exports_.size(), std::size(kRows));
  for (const Row& row : kRows) {
    SCOPED_TRACE(row.name);
    const auto it = exports_.find(row.name);
    ASSERT_NE(it, exports_.end());
    EXPECT_EQ(it->second.ordinal, row.ordinal);
    if (*row.target) {
      ASSERT_TRUE(exports_.count(row.target));
      EXPECT_EQ(it->second.address, exports_[row.target].address);
    }
  }
}

// The ordinal rule, read from the file alone: the version 2, the
// shared-memory helpers 3 to 6, then byte-wise name order from 7; all 233
// names are there and no ordinal is left out.
TEST_F(ExportDirectory, OrdinalsFollowTheRule) {
  const char* const pinned[] = {"GetVard32Version", "VardSharedMemAllocate", "VardSharedMemFree",
                                "VardSharedMemLock", "VardSharedMemUnlock"};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(exports_[pinned[i]].ordinal, 2 + i) << pinned[i];
  int last = 6;
  for (const auto& [name, e] : exports_) {
    if (std::find_if(std::begin(pinned), std::end(pinned),
                     [&](const char* p) { return name == p; }) != std::end(pinned))
      continue;
    EXPECT_GT(e.ordinal, last) << name;
    last = e.ordinal;
  }
  EXPECT_EQ(exports_.size(), 233u);
  EXPECT_EQ(last, 234);
  EXPECT_EQ(dir_->NumberOfFunctions, 233u);
}

std::string VersionString(const std::vector<BYTE>& block, const char* key) {
  char* value = nullptr;
  UINT size = 0;
  const std::string path = std::string("\\StringFileInfo\\040904B0\\") + key;
  if (!VerQueryValueA(block.data(), path.c_str(), reinterpret_cast<void**>(&value), &size)) {
    return "(none)";
  }
  return value;
}

TEST(Version, ResourceAndExportAgree) {
  EXPECT_EQ(GetVard32Version(), 0x00050000u);
  char path[MAX_PATH];
  GetModuleFileNameA(GetModuleHandleA("VARD32.dll"), path, MAX_PATH);
  DWORD unused = 0;
  std::vector<BYTE> block(GetFileVersionInfoSizeA(path, &unused));
  ASSERT_FALSE(block.empty());
  ASSERT_TRUE(GetFileVersionInfoA(path, 0, static_cast<DWORD>(block.size()), block.data()));
  VS_FIXEDFILEINFO* info = nullptr;
  UINT size = 0;
  ASSERT_TRUE(VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&info), &size));
  EXPECT_EQ(info->dwFileVersionMS, 0x00050000u);
  EXPECT_EQ(info->dwFileVersionLS, 0x13D204B0u);
  EXPECT_EQ(info->dwProductVersionMS, 0x00050000u);
  EXPECT_EQ(info->dwProductVersionLS, 0x13D204B0u);
  EXPECT_EQ(info->dwFileOS, static_cast<DWORD>(VOS__WINDOWS32));
  EXPECT_EQ(VersionString(block, "FileVersion"), "5.00.5074.1200");
  EXPECT_EQ(VersionString(block, "InternalName"), "VARD32");
  EXPECT_EQ(VersionString(block, "OriginalFilename"), "VARD32.DLL");
}

// Only the low 16 bits of OnTop count: 0x10000 is false.
TEST(AlwaysOnTop, FollowsTheLowSixteenBits) {
  HWND window = CreateWindowExW(0, L"STATIC", L"on top", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                nullptr, nullptr);
  ASSERT_NE(window, nullptr);
  auto topmost = [&] { return (GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0; };
  const struct {
    long on_top;
    bool expected;
  } steps[] = {{-1, true}, {0, false}, {1, true}, {0x10000, false}, {0x10001, true}};
  for (const auto& step : steps) {
    SetAlwaysOnTop(window, step.on_top);
    EXPECT_EQ(topmost(), step.expected) << step.on_top;
  }
  DestroyWindow(window);
  SetAlwaysOnTop(window, -1);  // no longer a window: nothing happens
}

}  // namespace
