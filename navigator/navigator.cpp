#include "navigator/navigator.h"

namespace vard::navigator {

void Navigator::Start() {
  names_.FillLevelList(view_.Box(0), nullptr);
  view_.EnableNext(false);
  view_.EnablePrevious(false);
}

void Navigator::Restore(const std::string& last_path) {
  if (last_path.empty()) return;
  int b = 0;
  for (std::size_t pos = 0;;) {
    const std::size_t dot = last_path.find('.', pos);
    const std::string component = last_path.substr(pos, dot == std::string::npos ? dot : dot - pos);
    const int index = view_.Box(b).Find(component.c_str());
    if (index < 0) return;
    view_.Box(b).Select(index);
    view_.Focus(b);
    const int offset = offset_;
    OnSelect(b);
    if (dot == std::string::npos) return;
    pos = dot + 1;
    // When the view moved right, the same box now shows the next level.
    if (offset_ == offset && ++b == NavigatorView::kBoxes) return;
  }
}

void Navigator::OnSelect(int b) {
  LevelBox& box = view_.Box(b);
  const int level = offset_ + b;
  const int selected = box.Selection();
  selections_[level] = selected >= 0 ? box.Text(selected) : std::string();
  if (level + 1 < kMaxLevels) selections_[level + 1].clear();
  BuildPath(kMaxLevels);

  int details = b;
  if (b < NavigatorView::kBoxes - 1) {
    view_.EnableNext(false);
    for (int i = b + 2; i < NavigatorView::kBoxes; ++i) view_.Box(i).Clear();
    names_.FillLevelList(view_.Box(b + 1), current_path_.c_str());
  } else {
    // The view moves right; the clicked item, still selected, is then one
    // box to the left, and its details are the ones shown.
    const int offset = offset_;
    MoveRight();
    if (offset_ != offset) --details;
  }
  LevelBox& shown = view_.Box(details);
  const int item = shown.Selection();
  view_.ShowDetails(item >= 0 ? shown.Data(item) : nullptr);
}

void Navigator::MoveRight() {
  if (offset_ == kMaxOffset) return;
  if (++offset_ == kMaxOffset) view_.EnableNext(false);
  view_.EnablePrevious(true);
  for (int b = 0; b + 1 < NavigatorView::kBoxes; ++b) Copy(b + 1, b);
  const int last = NavigatorView::kBoxes - 1;
  // Nothing lies below a level without a selection.
  if (BuildPath(offset_ + last)) {
    names_.FillLevelList(view_.Box(last), current_path_.c_str());
  } else {
    view_.Box(last).Clear();
  }
  SelectText(last, selections_[offset_ + last]);
}

void Navigator::MoveLeft() {
  view_.EnableNext(true);
  if (offset_ == 0) return;
  if (--offset_ == 0) view_.EnablePrevious(false);
  for (int b = NavigatorView::kBoxes - 1; b > 0; --b) Copy(b - 1, b);
  if (BuildPath(offset_)) {
    names_.FillLevelList(view_.Box(0), current_path_.c_str());
  } else {
    view_.Box(0).Clear();
  }
  SelectText(0, selections_[offset_]);
}

bool Navigator::BuildPath(int count) {
  current_path_.clear();
  for (int level = 0; level < count; ++level) {
    if (selections_[level].empty()) return false;
    if (level > 0) current_path_ += '.';
    current_path_ += selections_[level];
  }
  return true;
}

void Navigator::Copy(int from, int to) {
  LevelBox& source = view_.Box(from);
  LevelBox& target = view_.Box(to);
  target.SetRedraw(false);
  target.Clear();
  for (int i = 0, n = source.Count(); i < n; ++i) {
    const int index = target.Add(source.Text(i).c_str());
    if (index >= 0) target.SetData(index, source.Data(i));
  }
  target.Select(source.Selection());
  target.SetRedraw(true);
}

void Navigator::SelectText(int b, const std::string& text) {
  if (text.empty()) return;
  const int index = view_.Box(b).Find(text.c_str());
  if (index >= 0) view_.Box(b).Select(index);
}

}  // namespace vard::navigator
