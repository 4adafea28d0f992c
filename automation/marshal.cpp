#include "automation/marshal.h"

#include <cstring>
#include <cwchar>

namespace vard::automation {

BSTR AnsiToBstr(const char* text) {
  const int bytes = static_cast<int>(std::strlen(text));
  if (bytes == 0) return SysAllocStringLen(nullptr, 0);
  const int chars = MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, text, bytes, nullptr, 0);
  BSTR out = SysAllocStringLen(nullptr, static_cast<UINT>(chars > 0 ? chars : 0));
  if (out && chars > 0) MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, text, bytes, out, chars);
  return out;
}

BSTR TwoQuotes() { return SysAllocString(L"\"\""); }

ResultArray::ResultArray(SAFEARRAY** out, std::uint16_t element_size, std::int64_t count) {
  if (FAILED(SafeArrayAllocDescriptor(1, out))) return;
  array_ = *out;
  array_->fFeatures = 0;
  array_->cbElements = element_size;
  array_->cLocks = 0;
  array_->pvData = nullptr;
  array_->rgsabound[0].lLbound = 1;
  // The platform multiplies count by size in 32 bits; a product that does
  // not fit must never reach it.
  const bool fits = count >= 0 && count * element_size <= 0x7FFFFFFF;
  array_->rgsabound[0].cElements = fits ? static_cast<ULONG>(count) : 0;
  if (!fits || FAILED(SafeArrayAllocData(array_))) return;
  void* data = nullptr;
  if (SUCCEEDED(SafeArrayAccessData(array_, &data))) data_ = data;
}

ResultArray::~ResultArray() {
  if (data_) SafeArrayUnaccessData(array_);
}

ClientArray::ClientArray(SAFEARRAY** ref) : array_(ref ? *ref : nullptr) {}

ClientArray::~ClientArray() {
  if (data_) SafeArrayUnaccessData(array_);
}

std::uint16_t ClientArray::ElementSize() const {
  return static_cast<std::uint16_t>(array_->cbElements & 0xFFFF);
}

std::int64_t ClientArray::Count() const {
  if (array_->cDims == 0) return 0;
  std::int64_t count = 1;
  for (USHORT d = 0; d < array_->cDims; ++d) {
    count *= array_->rgsabound[d].cElements;
    if (count > 0xFFFFFFFFll) return 0xFFFFFFFFll;  // more than any transfer can ask for
  }
  return count;
}

bool ClientArray::Holds(std::int64_t count, std::int64_t value_size) const {
  if (Count() < count) return false;
  const std::int64_t size = array_->cbElements;
  return size >= value_size || Count() * size >= count * value_size;
}

bool ClientArray::Lock() {
  void* data = nullptr;
  if (FAILED(SafeArrayAccessData(array_, &data))) return false;
  data_ = data;
  return true;
}

bool WideListToSafeArray(const wchar_t* list, std::size_t capacity, SAFEARRAY** out) {
  // Count first, then fill: the same array as growing it one name at a
  // time, with one allocation.
  std::size_t names = 0;
  for (std::size_t at = 0; at < capacity && list[at] != L'\0';) {
    at += wcsnlen(list + at, capacity - at) + 1;
    ++names;
  }
  SAFEARRAYBOUND bound{static_cast<ULONG>(names), 1};
  SAFEARRAY* array = SafeArrayCreate(VT_BSTR, 1, &bound);
  *out = array;
  if (!array) return false;
  BSTR* slots = nullptr;
  if (FAILED(SafeArrayAccessData(array, reinterpret_cast<void**>(&slots)))) return false;
  bool complete = true;
  std::size_t at = 0;
  for (std::size_t i = 0; i < names; ++i) {
    const std::size_t length = wcsnlen(list + at, capacity - at);
    slots[i] = SysAllocStringLen(list + at, static_cast<UINT>(length));
    if (!slots[i]) complete = false;
    at += length + 1;
  }
  SafeArrayUnaccessData(array);
  return complete;
}

}  // namespace vard::automation
