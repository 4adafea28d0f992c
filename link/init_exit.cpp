// InitDataManager and ExitDataManager: register the process with the data
// manager and end that registration. Neither reports anything; a server that
// did not start shows as vardNotInitialized on later data calls.
#include "link/frame.h"

using namespace vard::link;

namespace {

template <class Action>
void Registration(Action&& action) {
  ApiLock lock;
  SehGuard([&] {
    if (ServerConnection* c = GetConnection()) action(*c);
  });
}

}  // namespace

extern "C" {

void __stdcall InitDataManager() {
  Registration([](ServerConnection& c) { c.Register(); });
}

void __stdcall ExitDataManager() {
  Registration([](ServerConnection& c) { c.Unregister(); });
}

}  // extern "C"
