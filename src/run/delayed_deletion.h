// Asks Windows to delete a downloaded file at the next restart, once.
#pragma once

#include <string_view>

#include "version/wide_text.h"

// Registers `path` for deletion at the next restart (MoveFileExW with
// MOVEFILE_DELAY_UNTIL_REBOOT), which Windows grants only with administrative
// rights, unless PendingFileRenameOperations (or the second list,
// PendingFileRenameOperations2, that Windows adds to once it has one) lists
// it for deletion already: a daily agent does not grow the list until the
// machine restarts. A list that cannot be read, or an unusually large one,
// is not searched.
void RegisterDeletionAtReboot(const WideText& path);

// True when `pending`, the REG_MULTI_SZ data of PendingFileRenameOperations
// as pairs of a source and a target, has `path`'s NT path ("\??\" + path) as
// the source of a pair with an empty target, ignoring ASCII case.
bool ListsDeletionOf(std::u16string_view pending, const WideText& path);
