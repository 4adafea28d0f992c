// Helper programs beside a Windows test (or in another folder, such as the
// other bitness's build): run one and read its one-line answer, or start one
// that signals when it is ready and kill it later; regsvr32 on the library.
#pragma once

#include <windows.h>

#include <cstdio>
#include <string>

namespace vard::test {

// The folder of this executable, with its trailing backslash.
inline std::string OwnFolder() {
  char path[MAX_PATH];
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string dir(path);
  return dir.substr(0, dir.find_last_of('\\') + 1);
}

inline std::string Command(const char* program, const std::string& args,
                           const std::string& folder = OwnFolder()) {
  std::string command = "\"";  // appended, not prepended: GCC 12 warns falsely on the latter
  return command.append(folder).append(program).append("\" ").append(args);
}

inline std::string ReadLine(FILE* pipe) {
  char line[512] = {};
  return pipe && std::fgets(line, sizeof line, pipe) ? line : "no answer";
}

// Runs a program of this folder to its end; the first line it printed.
inline std::string RunPeer(const char* program, const std::string& args = "",
                           const std::string& folder = OwnFolder()) {
  FILE* pipe = _popen(Command(program, args, folder).c_str(), "r");
  std::string line = ReadLine(pipe);
  if (pipe) _pclose(pipe);
  return line;
}

// Ends a process the way a crash would, without any detach.
inline void Kill(HANDLE process) {
  TerminateProcess(process, 9);
  WaitForSingleObject(process, 10000);
  CloseHandle(process);
}

// Starts a program of this folder and waits until it sets the event
// "Local\vard_peer_ready"; its process handle, or null.
inline HANDLE StartReady(const char* program, const std::string& args,
                         const std::string& folder = OwnFolder()) {
  HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, "Local\\vard_peer_ready");
  std::string command = Command(program, args, folder);
  STARTUPINFOA si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  const bool started = CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                      nullptr, &si, &pi);
  if (started) CloseHandle(pi.hThread);
  if (started && WaitForSingleObject(ready, 20000) != WAIT_OBJECT_0) {
    Kill(pi.hProcess);
    pi.hProcess = nullptr;
  }
  CloseHandle(ready);
  return started ? pi.hProcess : nullptr;
}

// Registers the VARD32.dll of this folder as a user does ("regsvr32 /s");
// regsvr32's exit code, or ~0u when it did not end within two minutes.
inline DWORD RegisterLibrary() {
  std::string command = "regsvr32.exe /s \"" + OwnFolder() + "VARD32.dll\"";
  STARTUPINFOA si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                      &pi)) {
    return ~0u;
  }
  DWORD exit_code = ~0u;
  if (WaitForSingleObject(pi.hProcess, 120000) == WAIT_OBJECT_0) {
    GetExitCodeProcess(pi.hProcess, &exit_code);
  }
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return exit_code;
}

// In the peer: tells the test it is ready.
inline void SignalReady() {
  if (HANDLE ready = OpenEventA(EVENT_MODIFY_STATE, FALSE, "Local\\vard_peer_ready"))
    SetEvent(ready);
}

// In the peer: tells the test it is ready, then waits to be killed.
inline void SignalReadyAndHang() {
  SignalReady();
  Sleep(INFINITE);
}

}  // namespace vard::test
