// Drives the real Variable Navigator dialog the way a user would: a helper
// thread finds the dialog of this process, selects list-box items (the
// selection and the notification a click sends), presses buttons with
// BM_CLICK and reads the fields back, while the test's own thread sits in
// the export's modal loop.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <thread>

namespace vard::test {

class NavigatorDialog {
 public:
  static constexpr int kName = 13001, kFirstBox = 13002, kPrevious = 13007, kNext = 13008,
                       kDescription = 13010, kType = 13011;

  explicit NavigatorDialog(HWND dialog) : dialog_(dialog) {}

  // Selects the item of box b with this text, as a click on it would.
  bool Select(int b, const std::string& text) const {
    const LRESULT i =
        Box(b, LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(text.c_str()));
    if (i < 0) return false;
    Box(b, LB_SETCURSEL, static_cast<WPARAM>(i));
    SendMessageA(dialog_, WM_COMMAND, MAKEWPARAM(kFirstBox + b, LBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog_, kFirstBox + b)));
    return true;
  }
  void Click(int id) const { SendDlgItemMessageA(dialog_, id, BM_CLICK, 0, 0); }
  bool Enabled(int id) const { return IsWindowEnabled(GetDlgItem(dialog_, id)) != FALSE; }
  // A field's or the caption's (id 0) text, in UTF-8.
  std::string Text(int id = 0) const {
    wchar_t text[256] = L"";
    char utf8[768] = "";
    SendMessageW(id ? GetDlgItem(dialog_, id) : dialog_, WM_GETTEXT, 256,
                 reinterpret_cast<LPARAM>(text));
    WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8, sizeof utf8, nullptr, nullptr);
    return utf8;
  }
  // The name, type and description fields, "/"-separated.
  std::string Details() const { return Text(kName) + "/" + Text(kType) + "/" + Text(kDescription); }
  // The items of every level box in the box's order, the selected one in
  // brackets, the boxes separated by " | ".
  std::string View() const {
    std::string out;
    for (int b = 0; b < 5; ++b) {
      if (b) out += " | ";
      const int selected = static_cast<int>(Box(b, LB_GETCURSEL));
      for (int i = 0, n = static_cast<int>(Box(b, LB_GETCOUNT)); i < n; ++i) {
        const std::string item = Item(b, i);
        (i == selected ? out.append("[").append(item).append("]") : out.append(item)).append(" ");
      }
    }
    return out;
  }

 private:
  LRESULT Box(int b, UINT message, WPARAM w = 0, LPARAM l = 0) const {
    return SendDlgItemMessageA(dialog_, kFirstBox + b, message, w, l);
  }
  std::string Item(int b, int i) const {
    char text[256] = "";
    Box(b, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
    return text;
  }
  HWND dialog_;
};

// Calls open() on this thread (an export that runs the dialog) while
// script(dialog) runs on a helper thread once the dialog of this thread is
// visible. A dialog the script leaves open is cancelled. Whether a dialog
// was shown within `timeout_ms`.
template <class Open>
bool RunNavigator(Open&& open, const std::function<void(const NavigatorDialog&)>& script,
                  DWORD timeout_ms = 20000) {
  const DWORD thread = GetCurrentThreadId();
  HWND dialog = nullptr;
  std::thread helper([&] {
    for (DWORD waited = 0; !dialog && waited < timeout_ms; waited += 20, Sleep(20)) {
      for (HWND w = nullptr; (w = FindWindowExA(nullptr, w, "#32770", nullptr)) != nullptr;)
        if (GetWindowThreadProcessId(w, nullptr) == thread && IsWindowVisible(w)) dialog = w;
    }
    if (!dialog) return;
    script(NavigatorDialog(dialog));
    if (IsWindow(dialog)) PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
  });
  open();
  helper.join();
  return dialog != nullptr;
}

}  // namespace vard::test
