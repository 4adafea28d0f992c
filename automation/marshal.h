// BSTR results and SAFEARRAYs of the Automation entries: arrays made in the
// client's out-parameters and arrays lent by the client. BSTRs and arrays
// handed out belong to the client; what an entry holds itself is released
// before it returns.
#pragma once

#include <windows.h>

#include <oleauto.h>  // after windows.h

#include <cstdint>

namespace vard::automation {

// A new BSTR holding `text` converted from the ANSI code page (precomposed),
// exactly as long as the converted text: with a double-byte code page that
// is fewer characters than the text has bytes. Null only when memory runs
// out.
BSTR AnsiToBstr(const char* text);

// The text handed back in place of one that an enumeration or a DDE request
// could not deliver: two quotation marks.
BSTR TwoQuotes();

// An ANSI buffer of N bytes for a text that the plain export writes; it
// starts empty, so a call that writes nothing yields the empty text.
template <int N>
struct ResultText {
  char text[N] = {};
  operator char*() { return text; }
  BSTR Bstr() const { return AnsiToBstr(text); }
};

// A numeric result array, made in the client's out-parameter: a
// one-dimensional descriptor with no feature flags, lower bound 1 and
// `count` elements of `element_size` bytes, its data allocated and locked
// while the object lives. The descriptor is stored into *out without
// looking at what was there; once made it stays there even when a later
// step fails. A count that is negative or too large for memory fails like
// an allocation.
class ResultArray {
 public:
  ResultArray(SAFEARRAY** out, std::uint16_t element_size, std::int64_t count);
  ~ResultArray();
  ResultArray(const ResultArray&) = delete;
  ResultArray& operator=(const ResultArray&) = delete;

  bool Ready() const { return data_ != nullptr; }
  void* Data() const { return data_; }

 private:
  SAFEARRAY* array_ = nullptr;
  void* data_ = nullptr;
};

// An array lent by the client (a reference to its descriptor pointer). A
// null reference or a null descriptor is a missing array. Lock() takes the
// data for the call; the destructor gives it back. The descriptor is never
// resized or replaced.
class ClientArray {
 public:
  explicit ClientArray(SAFEARRAY** ref);
  ~ClientArray();
  ClientArray(const ClientArray&) = delete;
  ClientArray& operator=(const ClientArray&) = delete;

  bool Present() const { return array_ != nullptr; }
  // The element size as its low 16 bits give it.
  std::uint16_t ElementSize() const;
  // Elements over all dimensions.
  std::int64_t Count() const;
  // Whether the array holds at least `count` elements and as many bytes as
  // `count` values of `value_size` bytes need: what an export that works on
  // it must be able to rely on.
  bool Holds(std::int64_t count, std::int64_t value_size) const;
  bool Lock();
  void* Data() const { return data_; }

 private:
  SAFEARRAY* array_ = nullptr;
  void* data_ = nullptr;
};

// A name list (wide names, each ended by a NUL, the whole ended by an empty
// name) into a new BSTR array in the client's out-parameter, lower bound 1,
// one element per name; an empty list gives an array with no elements. The
// list is read no further than `capacity` characters. Returns false when
// memory runs out (the array then holds the names made so far).
bool WideListToSafeArray(const wchar_t* list, std::size_t capacity, SAFEARRAY** out);

}  // namespace vard::automation
