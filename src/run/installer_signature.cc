#include "run/installer_signature.h"

#include "run/event_log_build.h"

namespace {

using platform::DWORD;

// Revocation is never checked (nothing may go to the network), so its bits
// say nothing about the chain.
constexpr DWORD kIgnoredChainErrors =
    platform::kCertTrustRevocationStatusUnknown |
    platform::kCertTrustIsOfflineRevocation;

// Room for one character more than a pinned name may have, so that a longer
// common name never compares equal after truncation.
constexpr DWORD kNameBufferCharacters = 66;

// Notes in `report`, in builds that keep a record of the run, the check
// that refused the installer.
bool Refused(SignatureReport* report, SignatureCheck check, DWORD error = 0) {
  if constexpr (kEventLog) {
    if (report) {
      report->refused_by = check;
      report->error = error;
    }
  }
  return false;
}

bool SubjectCommonNameIs(const platform::CERT_CONTEXT* certificate,
                         const WideText& publisher, SignatureReport* report) {
  char16_t name[kNameBufferCharacters] = {};
  DWORD length = platform::CertGetNameStringW(
      certificate, platform::kCertNameAttrType, 0,
      const_cast<char*>(platform::kOidCommonName), name, kNameBufferCharacters);
  if constexpr (kEventLog) {
    if (report && length > 1) CopyRecordText(report->signer, name, length - 1);
  }
  // The count includes the terminating zero; 1 means no common name.
  return length > 1 && WideText(name, length - 1) == publisher;
}

// The checks on the signer that WinVerifyTrust found, from its kept state.
bool SignedByPublisher(platform::HANDLE state, const WideText& publisher,
                       SignatureReport* report) {
  platform::CRYPT_PROVIDER_DATA* provider =
      platform::WTHelperProvDataFromStateData(state);
  if (!provider) return Refused(report, SignatureCheck::kSigner);
  platform::CRYPT_PROVIDER_SGNR* signer =
      platform::WTHelperGetProvSignerFromChain(provider, 0, false, 0);
  if (!signer || !signer->pChainContext || signer->csCertChain == 0 ||
      !signer->pasCertChain) {
    return Refused(report, SignatureCheck::kSigner);
  }
  const platform::CERT_CHAIN_CONTEXT* chain = signer->pChainContext;
  const platform::CERT_CONTEXT* certificate = signer->pasCertChain[0].pCert;
  // Who signed it is worth knowing whichever check refuses it.
  auto refused = [&](SignatureCheck check, DWORD error) {
    if constexpr (kEventLog) {
      if (report) SubjectCommonNameIs(certificate, publisher, report);
    }
    return Refused(report, check, error);
  };
  DWORD chain_errors = chain->TrustStatus.dwErrorStatus & ~kIgnoredChainErrors;
  if (chain_errors != 0) return refused(SignatureCheck::kChain, chain_errors);
  platform::CERT_CHAIN_POLICY_PARA policy{};
  policy.cbSize = sizeof(policy);
  policy.dwFlags = platform::kCertChainPolicyIgnoreAllRevUnknownFlags;
  platform::CERT_CHAIN_POLICY_STATUS status{};
  status.cbSize = sizeof(status);
  if (!platform::CertVerifyCertificateChainPolicy(
          platform::CertChainPolicyAuthenticode(), chain, &policy, &status) ||
      status.dwError != 0) {
    return refused(SignatureCheck::kPolicy, status.dwError);
  }
  return SubjectCommonNameIs(certificate, publisher, report) ||
         Refused(report, SignatureCheck::kPublisher);
}

}  // namespace

platform::HANDLE OpenSignedInstaller(const WideText& path,
                                     const WideText& publisher,
                                     SignatureReport* report) {
  platform::HANDLE file = platform::CreateFileW(
      path.c_str(), platform::kGenericRead, platform::kFileShareRead, nullptr,
      platform::kOpenExisting, platform::kFileAttributeNormal, nullptr);
  if (file == platform::InvalidHandleValue()) {
    if constexpr (kEventLog) {
      Refused(report, SignatureCheck::kOpen, platform::GetLastError());
    }
    return file;
  }

  platform::WINTRUST_FILE_INFO file_info{};
  file_info.cbStruct = sizeof(file_info);
  file_info.pcwszFilePath = path.c_str();
  file_info.hFile = file;
  platform::WINTRUST_DATA trust{};
  trust.cbStruct = sizeof(trust);
  trust.dwUIChoice = platform::kWtdUiNone;
  trust.fdwRevocationChecks = platform::kWtdRevokeNone;
  trust.dwUnionChoice = platform::kWtdChoiceFile;
  trust.pFile = &file_info;
  trust.dwStateAction = platform::kWtdStateActionVerify;
  trust.dwProvFlags = platform::kWtdCacheOnlyUrlRetrieval;
  platform::GUID action = platform::kWintrustActionGenericVerifyV2;
  // INVALID_HANDLE_VALUE as the window: there is no interactive user.
  platform::HWND no_window = platform::InvalidHandleValue();

  platform::LONG verdict = platform::WinVerifyTrust(no_window, &action, &trust);
  bool signed_by_publisher =
      verdict == 0 ? SignedByPublisher(trust.hWVTStateData, publisher, report)
                   : Refused(report, SignatureCheck::kTrust,
                             static_cast<DWORD>(verdict));
  // The state WinVerifyTrust kept is released whatever the outcome.
  trust.dwStateAction = platform::kWtdStateActionClose;
  platform::WinVerifyTrust(no_window, &action, &trust);

  if (signed_by_publisher) return file;
  platform::CloseHandle(file);
  return platform::InvalidHandleValue();
}
