// The other side of the DDE relay's end-to-end tests, and a second client.
//   dde_peer serve        a DDEML server (service "VardTest"), signals ready
//                         and serves until it is killed
//   dde_peer number NAME  a second client of the pool: prints the reply code
//                         and value of GetNumber(NAME)
//
// The server's topics and items:
//   topic "Data"  request "Fixed"        "Grüße, DDE" (ANSI)
//                 request "Alphabet"     A..Z a..z
//                 request "Counter"      1, 2, 3, ... one more on each request
//                 request "LastCommand"  the last command executed, and
//                 request "LastLength"   its length in bytes
//                 request "Connections"  conversations opened so far
//                 request "Stall"        sets "Local\vard_dde_stalled", then
//                                        answers "late" only when the event
//                                        "Local\vard_dde_release" is set (or
//                                        after 30 s), pumping no messages
//                 other items            refused
//                 execute "reject"       refused; any other command is
//                                        recorded as LastCommand
//   topic "Busy"  every execute is answered busy, every request refused
#include <windows.h>
#include <ddeml.h>

#include <cstdio>
#include <string>

#include "tests/windows/peer.h"
#include "vard32.h"

namespace {

DWORD g_instance = 0;
HSZ g_service = nullptr, g_data = nullptr, g_busy = nullptr;
std::string g_lastCommand;
unsigned g_counter = 0, g_connections = 0;

bool Is(HSZ hsz, const char* text) {
  char name[256] = {};
  DdeQueryStringA(g_instance, hsz, name, sizeof name, CP_WINANSI);
  return lstrcmpiA(name, text) == 0;
}

HDDEDATA Text(HSZ item, const std::string& text) {
  return DdeCreateDataHandle(g_instance,
                             reinterpret_cast<BYTE*>(const_cast<char*>(text.c_str())),
                             static_cast<DWORD>(text.size() + 1), 0, item, CF_TEXT, 0);
}

HDDEDATA Stall(HSZ item) {
  HANDLE stalled = CreateEventA(nullptr, FALSE, FALSE, "Local\\vard_dde_stalled");
  HANDLE release = CreateEventA(nullptr, FALSE, FALSE, "Local\\vard_dde_release");
  SetEvent(stalled);
  WaitForSingleObject(release, 30000);
  CloseHandle(stalled);
  CloseHandle(release);
  return Text(item, "late");
}

HDDEDATA Request(HSZ item) {
  if (Is(item, "Fixed")) return Text(item, "Gr\xFC\xDF" "e, DDE");
  if (Is(item, "Alphabet")) return Text(item, "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
  if (Is(item, "Counter")) return Text(item, std::to_string(++g_counter));
  if (Is(item, "LastCommand")) return Text(item, g_lastCommand);
  if (Is(item, "LastLength")) return Text(item, std::to_string(g_lastCommand.size()));
  if (Is(item, "Connections")) return Text(item, std::to_string(g_connections));
  if (Is(item, "Stall")) return Stall(item);
  return nullptr;
}

HDDEDATA Execute(HDDEDATA data) {
  DWORD size = 0;
  const BYTE* bytes = DdeAccessData(data, &size);
  std::string command(reinterpret_cast<const char*>(bytes), bytes ? size : 0);
  if (bytes) DdeUnaccessData(data);
  command.resize(command.find('\0') == std::string::npos ? command.size() : command.find('\0'));
  if (command == "reject") return reinterpret_cast<HDDEDATA>(DDE_FNOTPROCESSED);
  g_lastCommand = command;
  return reinterpret_cast<HDDEDATA>(DDE_FACK);
}

HDDEDATA CALLBACK Callback(UINT type, UINT, HCONV, HSZ topic, HSZ item, HDDEDATA data, ULONG_PTR,
                           ULONG_PTR) {
  const bool busy = DdeCmpStringHandles(topic, g_busy) == 0;
  switch (type) {
    case XTYP_CONNECT:
      return reinterpret_cast<HDDEDATA>(
          static_cast<ULONG_PTR>(busy || DdeCmpStringHandles(topic, g_data) == 0));
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

int Serve() {
  if (DdeInitializeA(&g_instance, &Callback,
                     APPCLASS_STANDARD | CBF_SKIP_REGISTRATIONS | CBF_SKIP_UNREGISTRATIONS,
                     0) != DMLERR_NO_ERROR)
    return 1;
  g_service = DdeCreateStringHandleA(g_instance, "VardTest", CP_WINANSI);
  g_data = DdeCreateStringHandleA(g_instance, "Data", CP_WINANSI);
  g_busy = DdeCreateStringHandleA(g_instance, "Busy", CP_WINANSI);
  if (!DdeNameService(g_instance, g_service, nullptr, DNS_REGISTER)) return 1;
  if (HANDLE ready = OpenEventA(EVENT_MODIFY_STATE, FALSE, "Local\\vard_peer_ready")) {
    SetEvent(ready);
    CloseHandle(ready);
  }
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) DispatchMessageA(&msg);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string role = argc > 1 ? argv[1] : "";
  if (role == "serve") return Serve();
  if (role == "number" && argc > 2) {
    InitDataManager();
    double value = 0;
    const short code = GetNumber(argv[2], &value);
    std::printf("%d %g\n", code, value);
    ExitDataManager();
    return 0;
  }
  return 2;
}
