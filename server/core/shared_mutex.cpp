#ifdef _WIN32
#include "server/core/shared_mutex.h"

#include <windows.h>

namespace vard::server {
namespace {

static_assert(sizeof(SRWLOCK) == sizeof(void*));

PSRWLOCK Srw(void** p) { return reinterpret_cast<PSRWLOCK>(p); }

}  // namespace

void SharedMutex::lock() noexcept { AcquireSRWLockExclusive(Srw(&lock_)); }
bool SharedMutex::try_lock() noexcept { return TryAcquireSRWLockExclusive(Srw(&lock_)) != 0; }
void SharedMutex::unlock() noexcept { ReleaseSRWLockExclusive(Srw(&lock_)); }
void SharedMutex::lock_shared() noexcept { AcquireSRWLockShared(Srw(&lock_)); }
bool SharedMutex::try_lock_shared() noexcept { return TryAcquireSRWLockShared(Srw(&lock_)) != 0; }
void SharedMutex::unlock_shared() noexcept { ReleaseSRWLockShared(Srw(&lock_)); }

}  // namespace vard::server
#endif
