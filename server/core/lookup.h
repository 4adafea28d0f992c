// The lookup most operations begin with: a valid name, a variable of that
// name, and, where the operation cares, of the right kind.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <type_traits>

#include "include/vard_enums.h"
#include "server/core/names.h"
#include "server/core/pool.h"

namespace vard::server {

// Finds `name` in `view` (a Pool::ReadView or Pool::WriteView, whose lock is
// held throughout) and hands the variable to `use`. Answers vardInvalidName,
// vardNoSuchObject or, when `kind` is given and differs, vardInvalidType;
// else what `use` answers (vardOK when it answers nothing). Nothing is looked
// at under the lock but the variable itself.
template <class View, class Use>
std::uint32_t WithVariable(View&& view, std::string_view name, std::optional<Kind> kind,
                           Use&& use) {
  if (!IsValidName(name)) return vardInvalidName;
  auto* v = view.Find(name);
  if (v == nullptr) return vardNoSuchObject;
  if (kind && v->kind != *kind) return vardInvalidType;
  if constexpr (std::is_void_v<decltype(use(*v))>) {
    use(*v);
    return vardOK;
  } else {
    return use(*v);
  }
}

}  // namespace vard::server
