// The lock that keeps two runs of the agent's account from overlapping in a
// session: a mutex named after the product id, in the session's namespace.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/windows_api.h"

struct RunLock {
  platform::HANDLE handle;  // closed when the run is over; null: none held
  bool another_run;         // another run of this account holds it
};

// Takes the run lock, made with the process's user as its owner and open to
// that user alone. Where an object of that name exists already, it is
// another run's only if the same user owns it and it really bears the
// lock's name. Anything else at the name (an object this account may not
// open, one of another kind, one that another account owns or that has no
// owner, a link to any other object) never stops a run: it goes on without
// the lock, as it does when the user cannot be told.
RunLock TakeRunLock();

// The lock's security descriptor, self-relative: owner `user` (a SID) and a
// DACL that gives that user alone full access to the mutex. Its size, or 0
// when `user` is not a valid SID.
constexpr std::size_t kMaxSidBytes = 8 + 4 * 15;
constexpr std::size_t kMaxLockDescriptorBytes = 20 + 8 + 8 + 2 * kMaxSidBytes;
std::size_t LockSecurityDescriptor(
    const std::uint8_t* user, std::uint8_t (&descriptor)[kMaxLockDescriptorBytes]);

// True when the self-relative security descriptor of `size` bytes names
// `user` as its owner.
bool OwnedBy(const std::uint8_t* descriptor, std::size_t size,
             const std::uint8_t* user);
