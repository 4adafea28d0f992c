#include "server/win/formula_editor.h"

#include <commctrl.h>

#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "include/vard_enums.h"
#include "server/core/formula_table.h"
#include "server/core/pool.h"

namespace vard::server::editor {
namespace {

constexpr UINT kBringToFront = WM_APP + 1;
constexpr UINT_PTR kRefreshTimer = 1;
constexpr UINT kRefreshMs = 1000;
constexpr int kClientWidth = 764, kClientHeight = 420;

struct HandleCloser {
  void operator()(HANDLE h) const { CloseHandle(h); }
};
using UniqueHandle = std::unique_ptr<void, HandleCloser>;

enum Column { kRowColumn, kNameColumn, kFormulaColumn, kUnitsColumn, kDescriptionColumn, kValueColumn };

// Everything one editor window knows; lives as long as the window.
struct Editor {
  Pool* pool = nullptr;
  HWND window = nullptr;
  HWND list = nullptr;
  std::vector<formula::RowState> rows;  // as the table shows them
  int selected = 0;                     // row number, 0: none
  bool refreshing = false;
};

std::mutex g_mutex;      // guards the start
HWND g_window = nullptr;

std::string TextOf(HWND control) {
  std::string text(static_cast<std::size_t>(GetWindowTextLengthA(control)) + 1, '\0');
  text.resize(static_cast<std::size_t>(GetWindowTextA(control, text.data(), static_cast<int>(text.size()))));
  return text;
}

std::string ValueText(const formula::RowState& r) {
  char buf[160];
  if (r.status == formula::Status::Ok) {
    std::snprintf(buf, sizeof buf, "%g", r.value);
  } else {
    std::snprintf(buf, sizeof buf, r.culprit.empty() ? "error: %s" : "error: %s '%s'",
                  formula::Describe(r.status), r.culprit.c_str());
  }
  return buf;
}

std::string Cell(const formula::RowState& r, int column) {
  switch (column) {
    case kRowColumn: return std::to_string(r.row);
    case kNameColumn: return r.name;
    case kFormulaColumn: return r.source;
    case kUnitsColumn: return r.units;
    case kDescriptionColumn: return r.description;
    default: return ValueText(r);
  }
}

void SetStatus(const Editor& e, const std::string& text) {
  SetDlgItemTextA(e.window, kStatus, text.c_str());
}

// What a reply code means to the person at the editor.
std::string Explain(std::uint32_t code, const formula::ParseError& error) {
  switch (code) {
    case vardInvalidName: return "The name is not valid: 1 to 29 characters, no control characters.";
    case vardAlreadyExists: return "Another variable already has this name.";
    case vardInvalidParameter:
      return "Formula error at character " + std::to_string(error.position + 1) + ": " +
             error.message + ".";
    case vardOutOfMemory: return "All rows are in use.";
    case vardInvalidHandle: return "Select a row first.";
    case vardNoSuchData: return "The row is empty.";
    default: return "The change failed (code " + std::to_string(code) + ").";
  }
}

void Select(Editor& e, int row) {
  e.selected = row;
  for (std::size_t i = 0; i < e.rows.size(); ++i) {
    const UINT state = e.rows[i].row == row ? LVIS_SELECTED | LVIS_FOCUSED : 0;
    ListView_SetItemState(e.list, static_cast<int>(i), state, LVIS_SELECTED | LVIS_FOCUSED);
    if (state) ListView_EnsureVisible(e.list, static_cast<int>(i), FALSE);
  }
}

// Brings the table up to date with the pool, keeping the selection; only
// cells whose text changed are written, so a refresh does not flicker.
void Refresh(Editor& e) {
  std::vector<formula::RowState> rows = formula::Rows(*e.pool);
  bool same = rows.size() == e.rows.size();
  for (std::size_t i = 0; same && i < rows.size(); ++i) same = rows[i].row == e.rows[i].row;
  e.refreshing = true;
  if (!same) ListView_DeleteAllItems(e.list);
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const int item = static_cast<int>(i);
    if (!same) {
      LVITEMA it{};
      it.mask = LVIF_TEXT;
      it.iItem = item;
      std::string row = Cell(rows[i], kRowColumn);
      it.pszText = row.data();
      ListView_InsertItem(e.list, &it);
    }
    for (int column = kNameColumn; column <= kValueColumn; ++column) {
      std::string text = Cell(rows[i], column);
      if (same && text == Cell(e.rows[i], column)) continue;
      ListView_SetItemText(e.list, item, column, text.data());
    }
  }
  e.rows = std::move(rows);
  if (!same) Select(e, e.selected);
  e.refreshing = false;
}

void FillFields(const Editor& e, const formula::RowState& r) {
  SetDlgItemTextA(e.window, kName, r.name.c_str());
  SetDlgItemTextA(e.window, kFormula, r.source.c_str());
  SetDlgItemTextA(e.window, kUnits, r.units.c_str());
  SetDlgItemTextA(e.window, kDescription, r.description.c_str());
}

// Add, Change and Delete: the same functions the requests call.
void OnButton(Editor& e, int id) {
  const std::string name = TextOf(GetDlgItem(e.window, kName));
  const std::string text = TextOf(GetDlgItem(e.window, kFormula));
  const std::string units = TextOf(GetDlgItem(e.window, kUnits));
  const std::string description = TextOf(GetDlgItem(e.window, kDescription));
  const formula::Definition d{name, text, units, description};
  formula::ParseError error;
  std::uint32_t code = vardOK;
  int row = e.selected;
  if (id == kAdd) {
    const std::int32_t answer = formula::AddFormula(*e.pool, d, &error);
    if (answer > 0) {
      row = answer;
    } else {
      code = static_cast<std::uint32_t>(-answer);
    }
  } else if (id == kChange) {
    code = formula::SetFormula(*e.pool, row, d, &error);
  } else {
    code = formula::DeleteFormula(*e.pool, row);
  }
  if (code == vardOK) {
    static const char* const kDone[] = {"added", "changed", "deleted"};
    SetStatus(e, "Row " + std::to_string(row) + " " + kDone[id - kAdd] + ".");
    e.selected = id == kDelete ? 0 : row;
  } else {
    SetStatus(e, Explain(code, error));
  }
  Refresh(e);
  if (code == vardOK) Select(e, e.selected);
}

void OnItemChanged(Editor& e, const NMLISTVIEW& change) {
  if (e.refreshing || change.iItem < 0 || static_cast<std::size_t>(change.iItem) >= e.rows.size())
    return;
  if ((change.uNewState & LVIS_SELECTED) && !(change.uOldState & LVIS_SELECTED)) {
    const formula::RowState& r = e.rows[static_cast<std::size_t>(change.iItem)];
    e.selected = r.row;
    FillFields(e, r);
  } else if (!(change.uNewState & LVIS_SELECTED) && (change.uOldState & LVIS_SELECTED)) {
    e.selected = 0;
  }
}

HWND Child(HWND parent, const char* cls, const char* text, DWORD style, int id, int x, int y,
           int w, int h) {
  HWND child = CreateWindowExA(std::string_view(cls) == "EDIT" ? WS_EX_CLIENTEDGE : 0, cls, text,
                               WS_CHILD | WS_VISIBLE | style, x, y, w, h, parent,
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                               GetModuleHandleA(nullptr), nullptr);
  SendMessageA(child, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), 0);
  return child;
}

void Build(Editor& e) {
  HWND w = e.window;
  e.list = Child(w, WC_LISTVIEWA, "", WS_TABSTOP | WS_BORDER | LVS_REPORT | LVS_SINGLESEL |
                                          LVS_SHOWSELALWAYS, kList, 10, 10, 744, 240);
  ListView_SetExtendedListViewStyle(e.list, LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES);
  const struct {
    const char* title;
    int width;
  } columns[] = {{"Row", 36}, {"Name", 90}, {"Formula", 200},
                 {"Units", 48}, {"Description", 170}, {"Value", 196}};
  for (int i = 0; i < 6; ++i) {
    LVCOLUMNA c{};
    c.mask = LVCF_TEXT | LVCF_WIDTH;
    c.pszText = const_cast<char*>(columns[i].title);
    c.cx = columns[i].width;
    ListView_InsertColumn(e.list, i, &c);
  }
  const struct {
    const char* label;
    int id, x, y, w, limit;
  } fields[] = {{"Name", kName, 85, 262, 200, 29},
                {"Units", kUnits, 355, 262, 90, 9},
                {"Formula", kFormula, 85, 292, 669, 159},
                {"Description", kDescription, 85, 322, 669, 143}};
  for (const auto& f : fields) {
    Child(w, "STATIC", f.label, SS_RIGHT, 0, f.x - 80, f.y + 3, 72, 18);
    HWND edit = Child(w, "EDIT", "", WS_TABSTOP | ES_AUTOHSCROLL, f.id, f.x, f.y, f.w, 22);
    SendMessageA(edit, EM_LIMITTEXT, f.limit, 0);
  }
  Child(w, "BUTTON", "&Add", WS_TABSTOP | BS_PUSHBUTTON, kAdd, 85, 356, 100, 26);
  Child(w, "BUTTON", "&Change row", WS_TABSTOP | BS_PUSHBUTTON, kChange, 195, 356, 100, 26);
  Child(w, "BUTTON", "&Delete row", WS_TABSTOP | BS_PUSHBUTTON, kDelete, 305, 356, 100, 26);
  Child(w, "STATIC",
        "Select a row to edit it. Add stores the fields in the first empty row; "
        "values follow the pool every second.",
        SS_LEFTNOWORDWRAP, kStatus, 10, 394, 744, 18);
}

LRESULT HandleMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto* e = reinterpret_cast<Editor*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
  switch (msg) {
    case WM_CREATE: {
      e = static_cast<Editor*>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams);
      e->window = hwnd;
      SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(e));
      Build(*e);
      Refresh(*e);
      SetTimer(hwnd, kRefreshTimer, kRefreshMs, nullptr);
      return 0;
    }
    case WM_TIMER:
      if (e && wParam == kRefreshTimer && IsWindowVisible(hwnd)) Refresh(*e);
      return 0;
    case WM_COMMAND:
      if (e && HIWORD(wParam) == BN_CLICKED && LOWORD(wParam) >= kAdd && LOWORD(wParam) <= kDelete) {
        OnButton(*e, LOWORD(wParam));
        return 0;
      }
      break;
    case WM_NOTIFY: {
      const auto* header = reinterpret_cast<const NMHDR*>(lParam);
      if (e && header->idFrom == kList && header->code == LVN_ITEMCHANGED)
        OnItemChanged(*e, *reinterpret_cast<const NMLISTVIEW*>(lParam));
      return 0;
    }
    case kBringToFront:
      if (e) Refresh(*e);
      ShowWindow(hwnd, IsIconic(hwnd) ? SW_RESTORE : SW_SHOW);
      SetForegroundWindow(hwnd);
      return 1;
    case WM_CLOSE:
      ShowWindow(hwnd, SW_HIDE);  // the window and its state stay for the next show
      return 0;
    case WM_NCDESTROY:
      delete e;
      SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
      break;
  }
  return DefWindowProcA(hwnd, msg, wParam, lParam);
}

// No exception may unwind into the system's message dispatch: a request
// that cannot be completed (out of memory) leaves the window as it was.
LRESULT CALLBACK EditorProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  try {
    return HandleMessage(hwnd, msg, wParam, lParam);
  } catch (...) {
    return msg == WM_CREATE ? -1 : 0;
  }
}

HWND Create(Pool& pool) {
  INITCOMMONCONTROLSEX icc{sizeof icc, ICC_LISTVIEW_CLASSES};
  InitCommonControlsEx(&icc);
  WNDCLASSA wc{};
  wc.lpfnWndProc = &EditorProc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = kWindowClass;
  RegisterClassA(&wc);  // fails harmlessly if a previous editor registered it
  const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
  RECT r{0, 0, kClientWidth, kClientHeight};
  AdjustWindowRect(&r, style, FALSE);
  auto editor = std::make_unique<Editor>();
  editor->pool = &pool;
  HWND window = CreateWindowExA(0, kWindowClass, kTitle, style, CW_USEDEFAULT, CW_USEDEFAULT,
                                r.right - r.left, r.bottom - r.top, nullptr, nullptr,
                                GetModuleHandleA(nullptr), editor.get());
  if (window) editor.release();  // the window owns it now (WM_NCDESTROY)
  return window;
}

struct Start {
  Pool* pool;
  HANDLE ready;
  HWND window = nullptr;
};

DWORD WINAPI EditorThread(LPVOID param) {
  auto* start = static_cast<Start*>(param);
  HWND window = nullptr;
  try {
    window = Create(*start->pool);
  } catch (...) {  // out of memory: no editor, and Show answers false
  }
  start->window = window;
  SetEvent(start->ready);  // `start` belongs to the caller and is gone from here on
  if (!window) return 0;
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    if (!IsDialogMessageA(window, &msg)) {  // Tab moves between the fields
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
  }
  return 0;
}

}  // namespace

bool Show(Pool& pool) {
  std::lock_guard<std::mutex> lock(g_mutex);
  if (g_window == nullptr) {
    const UniqueHandle ready(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    if (!ready) return false;
    Start start{&pool, ready.get()};
    const UniqueHandle thread(CreateThread(nullptr, 0, &EditorThread, &start, 0, nullptr));
    if (!thread) return false;
    WaitForSingleObject(ready.get(), INFINITE);
    g_window = start.window;
    if (g_window == nullptr) return false;
  }
  return SendMessageA(g_window, kBringToFront, 0, 0) == 1;
}

void Hide() {
  std::lock_guard<std::mutex> lock(g_mutex);
  if (g_window != nullptr) SendMessageA(g_window, WM_CLOSE, 0, 0);
}

}  // namespace vard::server::editor
