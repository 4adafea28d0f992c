// The Variable Navigator's behaviour: five level boxes showing levels
// offset .. offset + 4 of the variables' paths, the selections made at each
// level, the moves of the view, and the restoring of the last path.
//
// Portable: the dialog's controls are behind NavigatorView; the Windows
// dialog (dialog.cpp) is a thin shell that forwards its notifications here.
#pragma once

#include <array>
#include <string>

#include "navigator/name_tree.h"

namespace vard::navigator {

// One level box: a sorted list that remembers one selection.
class LevelBox : public LevelList {
 public:
  virtual int Count() = 0;
  virtual std::string Text(int index) = 0;
  virtual const NameEntry* Data(int index) = 0;
  virtual int Selection() = 0;  // -1: none
  virtual void Select(int index) = 0;
  virtual void SetRedraw(bool on) = 0;
};

class NavigatorView {
 public:
  static constexpr int kBoxes = 5;

  virtual ~NavigatorView() = default;
  virtual LevelBox& Box(int b) = 0;  // 0 .. kBoxes - 1, left to right
  virtual void Focus(int b) = 0;
  virtual void EnablePrevious(bool on) = 0;  // "<<"
  virtual void EnableNext(bool on) = 0;      // ">>"
  // The name, type and description fields and the OK button: a variable's
  // details with OK enabled, or (null) empty fields with OK disabled.
  virtual void ShowDetails(const NameEntry* entry) = 0;
};

class Navigator {
 public:
  // The view's levels reach 0 .. kMaxOffset + kBoxes - 1.
  static constexpr int kMaxOffset = 2;

  Navigator(const NameList& names, NavigatorView& view) : names_(names), view_(view) {}

  // The first level in the first box, both moves disabled.
  void Start();
  // Selects the components of a saved path box by box, as far as they are
  // found (without case).
  void Restore(const std::string& last_path);
  // A selection change in box b.
  void OnSelect(int b);
  void MoveRight();  // ">>", or a selection in the last box
  void MoveLeft();   // "<<"

  int Offset() const noexcept { return offset_; }
  // The selections joined by '.': what is written back as the last path.
  const std::string& CurrentPath() const noexcept { return current_path_; }

 private:
  // Joins the selections of levels 0 .. count - 1, up to the first empty
  // one; whether all `count` were there.
  bool BuildPath(int count);
  void Copy(int from, int to);
  void SelectText(int b, const std::string& text);

  const NameList& names_;
  NavigatorView& view_;
  int offset_ = 0;
  std::array<std::string, kMaxLevels> selections_;
  std::string current_path_;
};

}  // namespace vard::navigator
