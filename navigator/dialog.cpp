// The Windows shell of the Variable Navigator: list boxes and fields behind
// NavigatorView, the dialog procedure, the profile, help and icons.
#include "navigator/dialog.h"

#include <mutex>
#include <new>
#include <string>

#include "include/vard32.h"
#include "link/connection.h"
#include "link/frame.h"
#include "navigator/navigator.h"
#include "navigator/resource_ids.h"

namespace vard::navigator {
namespace {

// The enumeration exports, each in its own frame.
class ExportSource final : public VariableSource {
 public:
  std::uint32_t First(std::uint16_t filter, char* name, char* path) override {
    return static_cast<std::uint32_t>(FindFirstVariable(static_cast<short>(filter), name, path));
  }
  short Next(std::uint32_t handle, char* name, char* path) override {
    return FindNextVariable(static_cast<long>(handle), name, path);
  }
  void Close(std::uint32_t handle) override { FindVariableClose(static_cast<long>(handle)); }
};

// A sorted list box of the dialog. Its item data is the NameEntry an item
// stands for, or 0 for a branch.
class ListBoxLevel final : public LevelBox {
 public:
  void Attach(HWND box) { box_ = box; }

  void Clear() override { Send(LB_RESETCONTENT); }
  int Find(const char* text) override {
    return static_cast<int>(
        Send(LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(text)));
  }
  int Add(const char* text) override {
    return static_cast<int>(Send(LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text)));
  }
  void SetData(int index, const NameEntry* entry) override {
    Send(LB_SETITEMDATA, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(entry));
  }
  int Count() override { return static_cast<int>(Send(LB_GETCOUNT)); }
  std::string Text(int index) override {
    const LRESULT length = Send(LB_GETTEXTLEN, static_cast<WPARAM>(index));
    if (length == LB_ERR) return {};
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    const LRESULT got =
        Send(LB_GETTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text.data()));
    text.resize(got == LB_ERR ? 0 : static_cast<std::size_t>(got));
    return text;
  }
  const NameEntry* Data(int index) override {
    const LRESULT data = Send(LB_GETITEMDATA, static_cast<WPARAM>(index));
    return data == LB_ERR ? nullptr : reinterpret_cast<const NameEntry*>(data);
  }
  int Selection() override { return static_cast<int>(Send(LB_GETCURSEL)); }
  void Select(int index) override { Send(LB_SETCURSEL, static_cast<WPARAM>(index)); }
  void SetRedraw(bool on) override {
    Send(WM_SETREDRAW, on ? TRUE : FALSE);
    if (on) InvalidateRect(box_, nullptr, TRUE);
  }

 private:
  LRESULT Send(UINT message, WPARAM w = 0, LPARAM l = 0) {
    return SendMessageA(box_, message, w, l);
  }
  HWND box_ = nullptr;
};

// A string of the library's resources, in the language the platform picks.
std::wstring ResourceText(UINT id) {
  const wchar_t* text = nullptr;
  const int length = LoadStringW(link::LibraryModule(), id, reinterpret_cast<wchar_t*>(&text), 0);
  return length > 0 ? std::wstring(text, static_cast<std::size_t>(length)) : std::wstring();
}

std::string ProfileName(UINT id) {
  const std::wstring wide = ResourceText(id);
  return std::string(wide.begin(), wide.end());  // the profile names are ASCII
}

// The type names by variable type; 0 leaves the field as it is.
UINT TypeTextId(short type, bool digital) {
  switch (type) {
    case vardWaveform:
    case vardDigitalWaveform:
      return digital ? IDS_DIGITAL_WAVEFORM : IDS_ANALOG_WAVEFORM;
    case vardNumerical:
      return IDS_NUMBER;
    case vardString:
      return IDS_STRING;
    case vardUnknown:
      return IDS_UNKNOWN_TYPE;
    default:
      return 0;
  }
}

class DialogView final : public NavigatorView {
 public:
  void Attach(HWND dialog) {
    dialog_ = dialog;
    for (int b = 0; b < kBoxes; ++b) boxes_[b].Attach(GetDlgItem(dialog, IDC_LEVEL_FIRST + b));
  }
  LevelBox& Box(int b) override { return boxes_[b]; }
  void Focus(int b) override { SetFocus(GetDlgItem(dialog_, IDC_LEVEL_FIRST + b)); }
  void EnablePrevious(bool on) override { Enable(IDC_PREVIOUS, on); }
  void EnableNext(bool on) override { Enable(IDC_NEXT, on); }

  void ShowDetails(const NameEntry* entry) override {
    if (!entry) {
      SetDlgItemTextA(dialog_, IDC_NAME, "");
      SetDlgItemTextA(dialog_, IDC_TYPE, "");
      SetDlgItemTextA(dialog_, IDC_DESCRIPTION, "");
      Enable(IDOK, false);
      return;
    }
    const char* name = entry->Name() ? entry->Name() : "";
    SetDlgItemTextA(dialog_, IDC_NAME, name);
    Enable(IDOK, true);
    char description[200] = "";  // stays empty when the query fails
    GetDescription(name, description, sizeof description);
    SetDlgItemTextA(dialog_, IDC_DESCRIPTION, description);
    short type = vardUnknown;  // what a failing query reports
    GetType(name, &type);
    const bool digital = vardIsDigitalWaveform(name) != 0;
    if (const UINT id = TypeTextId(type, digital)) {
      SetDlgItemTextW(dialog_, IDC_TYPE, ResourceText(id).c_str());
    }
  }

 private:
  void Enable(int id, bool on) { EnableWindow(GetDlgItem(dialog_, id), on ? TRUE : FALSE); }

  HWND dialog_ = nullptr;
  ListBoxLevel boxes_[kBoxes];
};

// The help file's path: read from the profile at the first press of Help
// that finds it, then kept for the life of the process.
std::mutex g_help_mutex;
char g_help_file[256];

void ShowHelp(HWND dialog) {
  char file[sizeof g_help_file];
  {
    std::lock_guard lock(g_help_mutex);
    if (g_help_file[0] == '\0') {
      GetPrivateProfileStringA(ProfileName(IDS_SECTION_HELP).c_str(),
                               ProfileName(IDS_KEY_HELP_FILE).c_str(), "", g_help_file,
                               sizeof g_help_file, ProfileName(IDS_PROFILE_FILE).c_str());
    }
    lstrcpynA(file, g_help_file, sizeof file);
  }
  if (file[0] == '\0') return;
  HWND top = dialog;
  while (HWND parent = GetParent(top)) top = parent;
  WinHelpA(top, file, HELP_CONTEXT, 1100);
}

// The owner's icon of `type` (ICON_BIG or ICON_SMALL): the first that the
// owner or one of its ancestors answers, else the class icon of the top-most.
HICON OwnerIcon(HWND owner, WPARAM type) {
  HWND top = owner;
  for (HWND w = owner; w; w = GetParent(w)) {
    DWORD_PTR icon = 0;
    if (SendMessageTimeoutA(w, WM_GETICON, type, 0, SMTO_ABORTIFHUNG, 1000, &icon) && icon)
      return reinterpret_cast<HICON>(icon);
    top = w;
  }
  return reinterpret_cast<HICON>(
      GetClassLongPtrA(top, type == ICON_BIG ? GCLP_HICON : GCLP_HICONSM));
}

// One opening of the navigator: the model, the view, the chosen name. Its
// end writes the last path shown back to the profile, when the dialog ran.
class NavigatorState {
 public:
  explicit NavigatorState(std::uint16_t filter) {
    ExportSource source;
    names_.Fill(source, filter);
  }
  NavigatorState(const NavigatorState&) = delete;
  NavigatorState& operator=(const NavigatorState&) = delete;
  ~NavigatorState() {
    if (!started_) return;
    try {
      WritePrivateProfileStringA(
          ProfileName(IDS_SECTION_NAVIGATOR).c_str(), ProfileName(IDS_KEY_LAST_PATH).c_str(),
          navigator_.CurrentPath().c_str(), ProfileName(IDS_PROFILE_FILE).c_str());
    } catch (...) {
      // Out of memory: the profile keeps the path it had.
    }
  }

  const char* Result() const { return result_; }

  void Start(HWND dialog) {
    started_ = true;
    dialog_ = dialog;
    view_.Attach(dialog);
    navigator_.Start();
    char last_path[127] = "";
    GetPrivateProfileStringA(ProfileName(IDS_SECTION_NAVIGATOR).c_str(),
                             ProfileName(IDS_KEY_LAST_PATH).c_str(), "", last_path,
                             sizeof last_path, ProfileName(IDS_PROFILE_FILE).c_str());
    navigator_.Restore(last_path);
    if (HWND owner = GetParent(dialog)) {
      for (WPARAM type : {ICON_BIG, ICON_SMALL}) {
        if (HICON icon = OwnerIcon(owner, type))
          SendMessageA(dialog, WM_SETICON, type, reinterpret_cast<LPARAM>(icon));
      }
    }
  }

  void OnCommand(int id, int notification) {
    if (id >= IDC_LEVEL_FIRST && id <= IDC_LEVEL_LAST) {
      if (notification == LBN_SELCHANGE) navigator_.OnSelect(id - IDC_LEVEL_FIRST);
    } else if (id == IDC_NEXT) {
      navigator_.MoveRight();
    } else if (id == IDC_PREVIOUS) {
      navigator_.MoveLeft();
    } else if (id == IDOK) {
      GetDlgItemTextA(dialog_, IDC_NAME, result_, sizeof result_);
      EndDialog(dialog_, IDOK);
    } else if (id == IDCANCEL) {
      EndDialog(dialog_, IDCANCEL);
    } else if (id == IDC_HELP_BUTTON || id == IDHELP) {
      ShowHelp(dialog_);
    }
  }

 private:
  NameList names_;
  DialogView view_;
  Navigator navigator_{names_, view_};
  HWND dialog_ = nullptr;
  bool started_ = false;
  char result_[kResultNameSize] = "";
};

// Handles the start and the commands; every other message is left to the
// platform's dialog handling. No C++ exception may leave a window procedure.
INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM w, LPARAM l) {
  try {
    if (message == WM_INITDIALOG) {
      SetWindowLongPtrA(dialog, DWLP_USER, l);
      reinterpret_cast<NavigatorState*>(l)->Start(dialog);
      return FALSE;  // the restore has put the focus where it found something
    }
    if (message == WM_COMMAND) {
      if (auto* state = reinterpret_cast<NavigatorState*>(GetWindowLongPtrA(dialog, DWLP_USER)))
        state->OnCommand(LOWORD(w), HIWORD(w));
      return TRUE;
    }
  } catch (...) {
    EndDialog(dialog, IDABORT);  // out of memory: the dialog ends without a choice
  }
  return FALSE;
}

bool Initialised() {
  link::ApiLock lock;
  const link::ServerConnection* c = link::GetConnection();
  return c && c->InitCount() > 0 && c->BlockView();
}

}  // namespace

bool RunNavigator(HWND owner, long filter, char (&result)[kResultNameSize]) noexcept {
  result[0] = '\0';
  try {
    if (!Initialised()) return false;
    NavigatorState state(static_cast<std::uint16_t>(filter));
    const INT_PTR answer = DialogBoxParamW(link::LibraryModule(), MAKEINTRESOURCEW(IDD_NAVIGATOR),
                                           owner, DialogProc, reinterpret_cast<LPARAM>(&state));
    if (answer != IDOK) return false;
    lstrcpynA(result, state.Result(), kResultNameSize);
    return true;
  } catch (...) {
    return false;
  }
}

}  // namespace vard::navigator
