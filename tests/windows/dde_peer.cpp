// The other side of the DDE relay's end-to-end tests: a DDEML server for the
// service "VardTest", whose topics and items docs/dde.md lists. Signals
// "Local\vard_peer_ready" when it serves.
#include <windows.h>
// (after windows.h)
#include <ddeml.h>

#include <string>

namespace {

DWORD g_instance = 0;
std::string g_lastCommand;
unsigned g_counter = 0, g_connections = 0;

std::string Name(HSZ hsz) {
  char name[256] = {};
  DdeQueryStringA(g_instance, hsz, name, sizeof name, CP_WINANSI);
  return CharLowerA(name);
}

HDDEDATA Text(HSZ item, const std::string& text) {
  return DdeCreateDataHandle(g_instance, reinterpret_cast<BYTE*>(const_cast<char*>(text.c_str())),
                             static_cast<DWORD>(text.size() + 1), 0, item, CF_TEXT, 0);
}

// Sets "Local\vard_dde_stalled", then answers only once the test sets
// "Local\vard_dde_release" (or after 30 s), taking no messages meanwhile.
HDDEDATA Stall(HSZ item) {
  HANDLE stalled = CreateEventA(nullptr, FALSE, FALSE, "Local\\vard_dde_stalled");
  HANDLE release = CreateEventA(nullptr, FALSE, FALSE, "Local\\vard_dde_release");
  SetEvent(stalled);
  WaitForSingleObject(release, 30000);
  CloseHandle(stalled), CloseHandle(release);
  return Text(item, "late");
}

HDDEDATA Request(HSZ item) {
  const std::string name = Name(item);
  if (name == "fixed") return Text(item, "Gr\xFC\xDF\x65, DDE");
  if (name == "counter") return Text(item, std::to_string(++g_counter));
  if (name == "lastcommand") return Text(item, g_lastCommand);
  if (name == "lastlength") return Text(item, std::to_string(g_lastCommand.size()));
  if (name == "connections") return Text(item, std::to_string(g_connections));
  if (name == "stall") return Stall(item);
  return nullptr;  // refused
}

HDDEDATA Execute(HDDEDATA data) {
  DWORD size = 0;
  const BYTE* bytes = DdeAccessData(data, &size);
  const auto* text = reinterpret_cast<const char*>(bytes);
  const std::string command(text ? text : "", text ? strnlen(text, size) : 0);
  if (bytes) DdeUnaccessData(data);
  if (command == "reject") return reinterpret_cast<HDDEDATA>(DDE_FNOTPROCESSED);
  g_lastCommand = command;
  return reinterpret_cast<HDDEDATA>(DDE_FACK);
}

HDDEDATA CALLBACK Callback(UINT type, UINT, HCONV, HSZ topic, HSZ item, HDDEDATA data, ULONG_PTR,
                           ULONG_PTR) {
  const std::string name = Name(topic);
  const bool busy = name == "busy";  // answers every execute busy, refuses requests
  switch (type) {
    case XTYP_CONNECT:
      return reinterpret_cast<HDDEDATA>(static_cast<ULONG_PTR>(busy || name == "data"));
    case XTYP_CONNECT_CONFIRM:
      ++g_connections;
      return nullptr;
    case XTYP_REQUEST:
      return busy ? nullptr : Request(item);
    case XTYP_EXECUTE:
      return busy ? reinterpret_cast<HDDEDATA>(DDE_FBUSY) : Execute(data);
    default:
      return nullptr;
  }
}

}  // namespace

int main() {
  if (DdeInitializeA(&g_instance, &Callback, APPCLASS_STANDARD, 0) != DMLERR_NO_ERROR) return 1;
  if (!DdeNameService(g_instance, DdeCreateStringHandleA(g_instance, "VardTest", CP_WINANSI),
                      nullptr, DNS_REGISTER)) {
    return 1;
  }
  if (HANDLE ready = OpenEventA(EVENT_MODIFY_STATE, FALSE, "Local\\vard_peer_ready")) {
    SetEvent(ready);
    CloseHandle(ready);
  }
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) DispatchMessageA(&msg);
  return 0;
}
