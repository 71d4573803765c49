// Makes a test root certificate trusted on this machine, as an administrator
// deploying a company root would: trust_root CERTIFICATE.der adds it to the
// local machine's Root store. Exits with 0 when it is there.
#include <windows.h>
#include <wincrypt.h>

#include <vector>

int main() {
  int count = 0;
  wchar_t** args = CommandLineToArgvW(GetCommandLineW(), &count);
  if (count != 2) return 2;
  HANDLE file = CreateFileW(args[1], GENERIC_READ, FILE_SHARE_READ, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 3;
  std::vector<BYTE> der(GetFileSize(file, nullptr));
  DWORD read = 0;
  BOOL ok = ReadFile(file, der.data(), der.size(), &read, nullptr);
  CloseHandle(file);
  if (!ok || read != der.size()) return 4;
  HCERTSTORE root = CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0,
                                  CERT_SYSTEM_STORE_LOCAL_MACHINE, L"Root");
  if (!root) return 5;
  ok = CertAddEncodedCertificateToStore(root, X509_ASN_ENCODING, der.data(),
                                        der.size(), CERT_STORE_ADD_REPLACE_EXISTING,
                                        nullptr);
  CertCloseStore(root, 0);
  return ok ? 0 : 6;
}
