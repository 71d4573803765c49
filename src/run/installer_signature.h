// Checks that a downloaded installer carries a valid Authenticode signature
// of the vendor's, for builds that pin the installer's publisher.
#pragma once

#include "platform/windows_api.h"
#include "run/run_record.h"
#include "version/wide_text.h"

// Opens the file at `path` for reading, sharing it for reading only, so that
// nobody can change, replace or delete it while the handle is held. Returns
// that handle when the file's signature checks out:
// - WinVerifyTrust (generic Authenticode verification, no UI, no revocation
//   check, nothing fetched from the network) accepts the file, and
// - the signer's certificate chain as it built it has no error other than
//   unknown or offline revocation, and
// - the Authenticode chain policy accepts that chain, and
// - the signer certificate's subject common name is exactly `publisher`.
// Otherwise returns InvalidHandleValue(), with nothing left open. With
// `report`, in builds that keep a record of the run, notes the check that
// refused the file and the signer's common name where one was found.
platform::HANDLE OpenSignedInstaller(const WideText& path,
                                     const WideText& publisher,
                                     SignatureReport* report = nullptr);
