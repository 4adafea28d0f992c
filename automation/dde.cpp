// Automation entries of the DDE relay. App and Topic are optional texts of up
// to 254 bytes; the command or item goes through a heap buffer sized to it,
// whose size must fit a 16-bit signed count. Codes are vardDdeError values,
// sign-extended.
#include <cstdint>

#include "automation/entry.h"
#include "include/vard32.h"

using namespace vard::automation;
using vard::link::WideToAnsi;

namespace {

constexpr std::int64_t kMaxTextBuffer = 32767;
constexpr short kResultSize = 32767;  // of a 32768-byte result buffer

// The bytes of the buffer for a command or item: its characters and 2 more.
std::int64_t TextBufferSize(BSTR text) { return std::int64_t{SysStringLen(text)} + 2; }

// App and Topic, each converted into 256 bytes with room for 254 of them.
struct Partner {
  char app[256] = {};
  char topic[256] = {};
  Partner(BSTR App, BSTR Topic) {
    WideToAnsi(App, app, sizeof app - 1);
    WideToAnsi(Topic, topic, sizeof topic - 1);
  }
};

}  // namespace

extern "C" {

long __stdcall VARDDDECommandTLB(BSTR App, BSTR Topic, BSTR Cmd, short TimeOut) {
  std::unique_ptr<char[]> command;  // outside the guard: freed on every path
  return Entry([&]() -> long {
    const std::int64_t size = TextBufferSize(Cmd);
    if (size > kMaxTextBuffer || !(command = HeapText(size))) return vardDdeInvalidParameter;
    Partner partner(App, Topic);
    WideToAnsi(Cmd, command.get(), static_cast<short>(size));
    return VARDDDECommand(partner.app, partner.topic, command.get(), TimeOut);
  });
}

// Result is written on every path that gets past the guard: the answer's
// text, or two quotation marks when the item is refused or no result buffer
// can be had (the request then goes without one and its answer is dropped).
long __stdcall VARDDDERequestTLB(BSTR App, BSTR Topic, BSTR Item, short TimeOut, BSTR* Result) {
  std::unique_ptr<char[]> item, answer;  // outside the guard: freed on every path
  return Entry([&]() -> long {
    const std::int64_t size = TextBufferSize(Item);
    if (size > kMaxTextBuffer || !(item = HeapText(size))) {
      *Result = TwoQuotes();
      return vardDdeInvalidParameter;
    }
    Partner partner(App, Topic);
    answer = HeapText(kResultSize + 1);
    WideToAnsi(Item, item.get(), static_cast<short>(size));
    const short code = VARDDDERequest(partner.app, partner.topic, item.get(), TimeOut,
                                      answer.get(), answer ? kResultSize : 0);
    *Result = answer ? AnsiToBstr(answer.get()) : TwoQuotes();
    return code;
  });
}

}  // extern "C"
