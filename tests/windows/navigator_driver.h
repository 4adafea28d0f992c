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
#include <vector>

namespace vard::test {

inline std::string Utf8(const std::wstring& w) {
  std::string out(w.size() * 3 + 1, '\0');
  const int n = WideCharToMultiByte(CP_UTF8, 0, w.c_str(), -1, out.data(),
                                    static_cast<int>(out.size()), nullptr, nullptr);
  out.resize(n > 0 ? static_cast<std::size_t>(n - 1) : 0);
  return out;
}

class NavigatorDialog {
 public:
  static constexpr int kName = 13001, kFirstBox = 13002, kPrevious = 13007, kNext = 13008,
                       kDescription = 13010, kType = 13011;

  explicit NavigatorDialog(HWND dialog) : dialog_(dialog) {}
  HWND Window() const { return dialog_; }

  // The items of level box b (0 .. 4), in the box's order.
  std::vector<std::string> Items(int b) const {
    std::vector<std::string> out;
    for (int i = 0, n = static_cast<int>(Box(b, LB_GETCOUNT)); i < n; ++i) out.push_back(Item(b, i));
    return out;
  }
  std::string Selected(int b) const {
    const int i = static_cast<int>(Box(b, LB_GETCURSEL));
    return i < 0 ? "" : Item(b, i);
  }
  // Selects the item of box b with this text, as a click on it would.
  bool Select(int b, const std::string& text) const {
    const LRESULT i = Box(b, LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                          reinterpret_cast<LPARAM>(text.c_str()));
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
    HWND w = id == 0 ? dialog_ : GetDlgItem(dialog_, id);
    SendMessageW(w, WM_GETTEXT, 256, reinterpret_cast<LPARAM>(text));
    return Utf8(text);
  }
  // Every box, "|"-separated, the selection of each in brackets: a picture of
  // the view for failure messages and whole-view comparisons.
  std::string View() const {
    std::string out;
    for (int b = 0; b < 5; ++b) {
      if (b) out += " | ";
      for (const auto& item : Items(b)) out += (item == Selected(b) ? "[" + item + "]" : item) + " ";
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

// The visible dialog owned by thread `thread`, or null after `timeout_ms`.
inline HWND WaitForDialog(DWORD thread, DWORD timeout_ms) {
  for (DWORD waited = 0;; waited += 20) {
    for (HWND w = nullptr; (w = FindWindowExA(nullptr, w, "#32770", nullptr)) != nullptr;) {
      if (GetWindowThreadProcessId(w, nullptr) == thread && IsWindowVisible(w)) return w;
    }
    if (waited >= timeout_ms) return nullptr;
    Sleep(20);
  }
}

// Calls open() on this thread (an export that runs the dialog) while
// script(dialog) runs on a helper thread. A dialog the script leaves open is
// cancelled. Returns whether a dialog was shown.
template <class Open>
bool RunNavigator(Open&& open, const std::function<void(const NavigatorDialog&)>& script,
                  DWORD timeout_ms = 20000) {
  const DWORD thread = GetCurrentThreadId();
  bool shown = false;
  std::thread helper([&] {
    HWND dialog = WaitForDialog(thread, timeout_ms);
    if (!dialog) return;
    shown = true;
    script(NavigatorDialog(dialog));
    if (IsWindow(dialog)) PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
  });
  open();
  helper.join();
  return shown;
}

}  // namespace vard::test
