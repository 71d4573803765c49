#include "run/run_lock.h"

#include <cstring>
#include <string_view>

#include "run/settings.h"

namespace {

using platform::DWORD;

// A SID: revision 1, then the count of its sub-authorities (at most 15),
// the 6-byte authority and 4 bytes for each sub-authority. Its length, or 0.
std::size_t SidLength(const std::uint8_t* sid) {
  if (sid[0] != 1 || sid[1] > 15) return 0;
  return 8 + 4 * std::size_t{sid[1]};
}

void Put16(std::uint8_t* at, std::uint16_t value) {
  at[0] = value & 0xFF;
  at[1] = value >> 8;
}

void Put32(std::uint8_t* at, std::uint32_t value) {
  Put16(at, value & 0xFFFF);
  Put16(at + 2, value >> 16);
}

std::uint32_t Get32(const std::uint8_t* at) {
  return at[0] | at[1] << 8 | at[2] << 16 | std::uint32_t{at[3]} << 24;
}

// The SID of the user this process runs as, in `buffer`, or null.
const std::uint8_t* ProcessUser(std::uint8_t* buffer, DWORD size) {
  platform::HANDLE token = nullptr;
  if (!platform::OpenProcessToken(platform::GetCurrentProcess(),
                                  platform::kTokenQuery, &token)) {
    return nullptr;
  }
  DWORD returned = 0;
  bool read = platform::GetTokenInformation(token, platform::kTokenUser, buffer,
                                            size, &returned);
  platform::CloseHandle(token);
  if (!read || returned > size) return nullptr;
  // The SID follows the record, in the same buffer.
  std::uintptr_t offset =
      reinterpret_cast<std::uintptr_t>(
          reinterpret_cast<platform::TOKEN_USER*>(buffer)->Sid) -
      reinterpret_cast<std::uintptr_t>(buffer);
  if (offset < sizeof(platform::TOKEN_USER) || offset + 8 > returned) {
    return nullptr;
  }
  const std::uint8_t* sid = buffer + offset;
  std::size_t length = SidLength(sid);
  return length != 0 && offset + length <= returned ? sid : nullptr;
}

// True when the mutex `lock` really is at the lock's name, `name`: a name can
// be a symbolic link that someone planted to a mutex of the same owner.
bool NamedAsTheLock(platform::HANDLE lock, std::u16string_view name) {
  auto query = reinterpret_cast<platform::NtQueryObjectFunction>(
      reinterpret_cast<void (*)()>(platform::GetProcAddress(
          platform::GetModuleHandleA("ntdll.dll"), "NtQueryObject")));
  // The name, as a counted text, and room for it: "\...\BaseNamedObjects\"
  // and the lock's own name.
  alignas(platform::UNICODE_STRING) std::uint8_t buffer[512];
  DWORD returned = 0;
  if (!query || query(lock, platform::kObjectNameInformation, buffer,
                      sizeof(buffer), &returned) != 0) {
    return false;
  }
  const auto& found = *reinterpret_cast<platform::UNICODE_STRING*>(buffer);
  std::u16string_view full(found.Buffer, found.Length / sizeof(char16_t));
  std::size_t start = full.size() - name.size();  // where it must begin
  return full.size() > name.size() && full[start - 1] == u'\\' &&
         std::u16string_view(full.data() + start, name.size()) == name;
}

}  // namespace

std::size_t LockSecurityDescriptor(
    const std::uint8_t* user,
    std::uint8_t (&descriptor)[kMaxLockDescriptorBytes]) {
  std::size_t sid = SidLength(user);
  if (sid == 0) return 0;
  constexpr std::size_t kHeader = 20, kAclHeader = 8, kAceHeader = 8;
  std::size_t acl = kHeader + sid;
  std::size_t size = acl + kAclHeader + kAceHeader + sid;
  std::memset(descriptor, 0, size);
  descriptor[0] = 1;  // revision
  // SE_SELF_RELATIVE | SE_DACL_PRESENT
  Put16(descriptor + 2, 0x8004);
  Put32(descriptor + 4, kHeader);  // the owner
  Put32(descriptor + 16, acl);     // the DACL; no group, no SACL
  std::memcpy(descriptor + kHeader, user, sid);
  descriptor[acl] = 2;  // ACL revision
  Put16(descriptor + acl + 2, kAclHeader + kAceHeader + sid);
  Put16(descriptor + acl + 4, 1);  // one entry: the user may do anything
  std::uint8_t* ace = descriptor + acl + kAclHeader;  // ACCESS_ALLOWED_ACE
  Put16(ace + 2, kAceHeader + sid);
  Put32(ace + 4, platform::kMutexAllAccess);
  std::memcpy(ace + kAceHeader, user, sid);
  return size;
}

bool OwnedBy(const std::uint8_t* descriptor, std::size_t size,
             const std::uint8_t* user) {
  constexpr std::uint16_t kSelfRelative = 0x8000;
  if (size < 20 || !((descriptor[2] | descriptor[3] << 8) & kSelfRelative)) {
    return false;
  }
  std::uint32_t owner = Get32(descriptor + 4);  // 0: no owner
  if (owner < 20 || owner > size - 8) return false;
  std::size_t length = SidLength(descriptor + owner);
  return length != 0 && length <= size - owner &&
         length == SidLength(user) &&
         std::memcmp(descriptor + owner, user, length) == 0;
}

RunLock TakeRunLock() {
  alignas(platform::TOKEN_USER) std::uint8_t token_user[128];
  const std::uint8_t* user = ProcessUser(token_user, sizeof(token_user));
  std::uint8_t descriptor[kMaxLockDescriptorBytes];
  if (!user || !LockSecurityDescriptor(user, descriptor)) return {};
  platform::SECURITY_ATTRIBUTES attributes{sizeof(attributes), descriptor,
                                           false};
  WideText name = kRunLockPrefix + kSettings.product_id;
  platform::HANDLE lock =
      platform::CreateMutexW(&attributes, false, name.c_str());
  // The name without its namespace, "Local\".
  std::u16string_view base_name(name);
  base_name.remove_prefix(base_name.find(u'\\') + 1);
  // Denied, or an object of another kind at the name: somebody else's.
  if (!lock) return {};
  if (platform::GetLastError() != platform::kErrorAlreadyExists) {
    return {lock, false};
  }
  std::uint8_t found[sizeof(descriptor)];
  DWORD size = 0;
  if (platform::GetKernelObjectSecurity(lock,
                                        platform::kOwnerSecurityInformation,
                                        found, sizeof(found), &size) &&
      OwnedBy(found, size, user) && NamedAsTheLock(lock, base_name)) {
    return {lock, true};
  }
  platform::CloseHandle(lock);
  return {};
}
