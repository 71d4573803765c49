// wintrust and crypt32: Authenticode verification, forwarded to Windows.
// Built only when the installer's publisher is pinned.
#include "platform/windows/wide_text_cast.h"  // windows.h comes first
#include "platform/windows_api.h"

#include <softpub.h>
#include <wincrypt.h>
#include <wintrust.h>

#include <cstddef>

static_assert(platform::kWtdUiNone == WTD_UI_NONE);
static_assert(platform::kWtdRevokeNone == WTD_REVOKE_NONE);
static_assert(platform::kWtdChoiceFile == WTD_CHOICE_FILE);
static_assert(platform::kWtdStateActionVerify == WTD_STATEACTION_VERIFY);
static_assert(platform::kWtdStateActionClose == WTD_STATEACTION_CLOSE);
static_assert(platform::kWtdCacheOnlyUrlRetrieval ==
              WTD_CACHE_ONLY_URL_RETRIEVAL);
static_assert(platform::kCertTrustRevocationStatusUnknown ==
              CERT_TRUST_REVOCATION_STATUS_UNKNOWN);
static_assert(platform::kCertTrustIsOfflineRevocation ==
              CERT_TRUST_IS_OFFLINE_REVOCATION);
static_assert(platform::kCertChainPolicyIgnoreAllRevUnknownFlags ==
              CERT_CHAIN_POLICY_IGNORE_ALL_REV_UNKNOWN_FLAGS);
static_assert(platform::kCertNameAttrType == CERT_NAME_ATTR_TYPE);

namespace {

constexpr ::GUID kVerifyV2 = WINTRUST_ACTION_GENERIC_VERIFY_V2;
static_assert(
    platform::kWintrustActionGenericVerifyV2.Data1 == kVerifyV2.Data1 &&
    platform::kWintrustActionGenericVerifyV2.Data2 == kVerifyV2.Data2 &&
    platform::kWintrustActionGenericVerifyV2.Data3 == kVerifyV2.Data3 &&
    platform::kWintrustActionGenericVerifyV2.Data4[0] == kVerifyV2.Data4[0] &&
    platform::kWintrustActionGenericVerifyV2.Data4[7] == kVerifyV2.Data4[7]);

// The records pass between the agent and Windows as they are, so they must
// share the Windows layout up to the last field the agent uses.
#define SAME_OFFSET(mirror, real, field) \
  static_assert(offsetof(platform::mirror, field) == offsetof(::real, field))
SAME_OFFSET(WINTRUST_DATA, WINTRUST_DATA, dwUIChoice);
SAME_OFFSET(WINTRUST_DATA, WINTRUST_DATA, fdwRevocationChecks);
SAME_OFFSET(WINTRUST_DATA, WINTRUST_DATA, dwUnionChoice);
SAME_OFFSET(WINTRUST_DATA, WINTRUST_DATA, pFile);
SAME_OFFSET(WINTRUST_DATA, WINTRUST_DATA, dwStateAction);
SAME_OFFSET(WINTRUST_DATA, WINTRUST_DATA, hWVTStateData);
SAME_OFFSET(WINTRUST_DATA, WINTRUST_DATA, dwProvFlags);
SAME_OFFSET(WINTRUST_DATA, WINTRUST_DATA, dwUIContext);
SAME_OFFSET(WINTRUST_FILE_INFO, WINTRUST_FILE_INFO, pcwszFilePath);
SAME_OFFSET(WINTRUST_FILE_INFO, WINTRUST_FILE_INFO, hFile);
SAME_OFFSET(WINTRUST_FILE_INFO, WINTRUST_FILE_INFO, pgKnownSubject);
SAME_OFFSET(CRYPT_PROVIDER_SGNR, CRYPT_PROVIDER_SGNR, csCertChain);
SAME_OFFSET(CRYPT_PROVIDER_SGNR, CRYPT_PROVIDER_SGNR, pasCertChain);
SAME_OFFSET(CRYPT_PROVIDER_SGNR, CRYPT_PROVIDER_SGNR, pChainContext);
SAME_OFFSET(CRYPT_PROVIDER_CERT, CRYPT_PROVIDER_CERT, pCert);
SAME_OFFSET(CERT_CHAIN_CONTEXT, CERT_CHAIN_CONTEXT, TrustStatus);
SAME_OFFSET(CERT_TRUST_STATUS, CERT_TRUST_STATUS, dwErrorStatus);
static_assert(sizeof(platform::CERT_CHAIN_POLICY_PARA) ==
              sizeof(::CERT_CHAIN_POLICY_PARA));
static_assert(sizeof(platform::CERT_CHAIN_POLICY_STATUS) ==
              sizeof(::CERT_CHAIN_POLICY_STATUS));
static_assert(sizeof(platform::WINTRUST_DATA) == sizeof(::WINTRUST_DATA));
static_assert(sizeof(platform::GUID) == sizeof(::GUID));
static_assert(sizeof(platform::WINTRUST_FILE_INFO) ==
              sizeof(::WINTRUST_FILE_INFO));
#undef SAME_OFFSET

}  // namespace

namespace platform {

LONG WinVerifyTrust(HWND hwnd, GUID* pgActionID, void* pWVTData) {
  // The portable records share the Windows layout, so they pass as they are.
  return ::WinVerifyTrust(static_cast<::HWND>(hwnd),
                          reinterpret_cast<::GUID*>(pgActionID), pWVTData);
}

CRYPT_PROVIDER_DATA* WTHelperProvDataFromStateData(HANDLE hStateData) {
  return reinterpret_cast<CRYPT_PROVIDER_DATA*>(
      ::WTHelperProvDataFromStateData(hStateData));
}

CRYPT_PROVIDER_SGNR* WTHelperGetProvSignerFromChain(
    CRYPT_PROVIDER_DATA* pProvData, DWORD idxSigner, BOOL fCounterSigner,
    DWORD idxCounterSigner) {
  return reinterpret_cast<CRYPT_PROVIDER_SGNR*>(
      ::WTHelperGetProvSignerFromChain(
          reinterpret_cast<::CRYPT_PROVIDER_DATA*>(pProvData), idxSigner,
          fCounterSigner, idxCounterSigner));
}

BOOL CertVerifyCertificateChainPolicy(LPCSTR pszPolicyOID,
                                      const CERT_CHAIN_CONTEXT* pChainContext,
                                      CERT_CHAIN_POLICY_PARA* pPolicyPara,
                                      CERT_CHAIN_POLICY_STATUS* pPolicyStatus) {
  return ::CertVerifyCertificateChainPolicy(
      pszPolicyOID, reinterpret_cast<::PCCERT_CHAIN_CONTEXT>(pChainContext),
      reinterpret_cast<::PCERT_CHAIN_POLICY_PARA>(pPolicyPara),
      reinterpret_cast<::PCERT_CHAIN_POLICY_STATUS>(pPolicyStatus));
}

DWORD CertGetNameStringW(const CERT_CONTEXT* pCertContext, DWORD dwType,
                         DWORD dwFlags, void* pvTypePara, LPWSTR pszNameString,
                         DWORD cchNameString) {
  return ::CertGetNameStringW(reinterpret_cast<::PCCERT_CONTEXT>(pCertContext),
                              dwType, dwFlags, pvTypePara,
                              as_writable_wcstr(pszNameString), cchNameString);
}

}  // namespace platform
