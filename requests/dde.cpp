// DDE relay: a command for another application to execute, or the value of
// one of its items, through the data-pool server, which holds the DDE
// conversation. One DdeRequest each; its command or item field starts inside
// the record and may run on to kDdeTextMax bytes.
#include <algorithm>
#include <cstdlib>
#include <cwchar>

#include "requests/common.h"

using namespace vard;
using namespace vard::requests;
using proto::DdeRequest;

namespace {

char* TextField(ServerConnection& c) {
  return reinterpret_cast<char*>(c.BlockView()) + proto::kDdeTextOffset;
}

// The request routine of both operations. Clearing the record clears the
// first 414 bytes of the text field only; the copy terminates the text
// wherever it ends.
short SendDde(ServerConnection& c, std::uint32_t opcode, const char* App, const char* Topic,
              const char* text, short TimeOut) {
  auto& r = link::BeginRequest<DdeRequest>(c);
  r.TimeOut = TimeOut;  // sign-extended: -1 travels as 0xFFFFFFFF
  link::PutText(r.App, App);
  link::PutText(r.Topic, Topic);
  link::CopyText(TextField(c), text, proto::kDdeTextMax);
  return link::Send(c, opcode);
}

// VARDDDECommandW converts on the stack, 2 bytes per UTF-16 unit and 2 more.
// It converts no more units of a text than its field takes characters: every
// unit outside a surrogate pair makes at least one ANSI byte, so nothing that
// could reach the field is lost, and the stack holds at most
// 2 * (29 + 255 + 65023) + 6 bytes (about 128 KiB) however long the texts.
constexpr int kAppUnits = sizeof(DdeRequest::App) - 1;
constexpr int kTopicUnits = sizeof(DdeRequest::Topic) - 1;
constexpr int kCommandUnits = proto::kDdeTextMax - 1;

// Units of `text` before its terminator, at most `limit`, never ending
// between the two halves of a surrogate pair. -1 for a null text.
int BoundedLength(const wchar_t* text, int limit) {
  if (!text) return -1;
  int n = 0;
  while (n < limit && text[n] != L'\0') ++n;
  if (n == limit && n > 0 && IS_HIGH_SURROGATE(text[n - 1])) --n;
  return n;
}

int StackBytes(int units) { return units < 0 ? 0 : 2 * units + 2; }

// Converts into the stack area at `cursor` and moves it on; a null text
// stays null (and so is sent as an empty field).
char* ConvertAt(char*& cursor, const wchar_t* text, int units) {
  if (units < 0) return nullptr;
  char* converted = cursor;
  link::DdeWideToAnsi(text, units, converted, StackBytes(units));
  cursor += StackBytes(units);
  return converted;
}

// A heap buffer of VARDDDERequestW. Its owner lives outside the exception
// guard, so the buffer is freed on every path, a fault included.
class HeapText {
 public:
  HeapText() = default;
  HeapText(const HeapText&) = delete;
  HeapText& operator=(const HeapText&) = delete;
  ~HeapText() { std::free(text_); }
  bool Allocate(std::size_t bytes) {
    text_ = static_cast<char*>(std::malloc(bytes));
    return text_ != nullptr;
  }
  char* get() const { return text_; }

 private:
  char* text_ = nullptr;
};

}  // namespace

extern "C" {

short __stdcall VARDDDECommand(LPCSTR App, LPCSTR Topic, LPCSTR Cmd, short TimeOut) {
  return StandardRequest([&](ServerConnection& c) {
    return SendDde(c, proto::kDdeCommand, App, Topic, Cmd, TimeOut);
  });
}

short __stdcall VARDDDECommandW(LPCWSTR App, LPCWSTR Topic, LPCWSTR Cmd, short TimeOut) {
  // A frame of its own (lock, guard, init check) that converts inside it and
  // calls the request routine directly, not the ANSI export.
  return link::StandardFrame([&](ServerConnection& c) -> short {
    const int command_units = BoundedLength(Cmd, kCommandUnits);
    const int topic_units = BoundedLength(Topic, kTopicUnits);
    const int app_units = BoundedLength(App, kAppUnits);
    char* cursor = static_cast<char*>(__builtin_alloca(
        StackBytes(command_units) + StackBytes(topic_units) + StackBytes(app_units)));
    char* command = ConvertAt(cursor, Cmd, command_units);
    char* topic = ConvertAt(cursor, Topic, topic_units);
    char* app = ConvertAt(cursor, App, app_units);
    return SendDde(c, proto::kDdeCommand, app, topic, command, TimeOut);
  });
}

short __stdcall VARDDDERequest(LPCSTR App, LPCSTR Topic, LPCSTR Item, short TimeOut, LPSTR Result,
                               short ResultSize) {
  return StandardRequest([&](ServerConnection& c) -> short {
    const short code = SendDde(c, proto::kDdeRequest, App, Topic, Item, TimeOut);
    // Copied whatever the reply: a field the server left alone gives back the
    // item sent. A size below 1, negative included, leaves no room and
    // writes nothing.
    link::CopyText(Result, TextField(c), std::min<int>(ResultSize, proto::kDdeTextMax));
    return code;
  });
}

short __stdcall VARDDDERequestW(LPCWSTR App, LPCWSTR Topic, LPCWSTR Item, short TimeOut,
                                LPWSTR Result, short ResultSize) {
  HeapText item, answer;
  return link::WideFrame([&]() -> short {
    // There is no buffer of negative size to be had.
    if (ResultSize < 0) return vardDdeUnknownError;
    const std::size_t units = Item ? std::wcslen(Item) : 0;
    // A size of 0 still gets one byte, so that the answer starts empty.
    if (!item.Allocate(units + 2) || !answer.Allocate(std::max<short>(ResultSize, 1))) {
      return vardDdeUnknownError;
    }
    answer.get()[0] = '\0';
    char app[256], topic[256];
    link::WideToAnsi(App, app, 255);
    link::WideToAnsi(Topic, topic, 255);
    // The conversion's size is a 16-bit count: an item is cut at 32765
    // characters here (the server refuses items over 255 in any case).
    link::WideToAnsi(Item, item.get(), static_cast<short>(std::min<std::size_t>(units + 2, 0x7FFF)));
    const short code = VARDDDERequest(app, topic, item.get(), TimeOut, answer.get(), ResultSize);
    link::AnsiToWide(answer.get(), Result, ResultSize);
    return code;
  });
}

}  // extern "C"
