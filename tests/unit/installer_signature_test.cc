#include "run/installer_signature.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "fake_platform.h"

namespace {

const std::u16string kPublisher = u"Brenwick Software Ltd";

// The file is accepted exactly when every check passes; on every path the
// state WinVerifyTrust kept is closed, and a refused file is not left open.
TEST(InstallerSignatureTest, AcceptsOnlyAValidSignatureOfThePublisher) {
  using Script = void (*)(fake::TrustScript&);
  const struct {
    const char* what;
    Script script;
    bool accepted;
  } cases[] = {
      {"signed by the publisher", [](fake::TrustScript&) {}, true},
      {"unsigned", [](fake::TrustScript& t) { t.verify_result = 0x800B0100; },
       false},
      {"changed after signing",
       [](fake::TrustScript& t) { t.verify_result = 0x80096010; }, false},
      {"no provider data",
       [](fake::TrustScript& t) { t.provider_data = false; }, false},
      {"no signer", [](fake::TrustScript& t) { t.signer = false; }, false},
      {"untrusted root",
       [](fake::TrustScript& t) { t.chain_error_status = 0x20; }, false},
      {"expired", [](fake::TrustScript& t) { t.chain_error_status = 0x1; },
       false},
      {"partial chain",
       [](fake::TrustScript& t) { t.chain_error_status = 0x10000; }, false},
      {"revocation unknown or offline only",
       [](fake::TrustScript& t) { t.chain_error_status = 0x40 | 0x01000000; },
       true},
      {"revocation unknown beside an untrusted root",
       [](fake::TrustScript& t) { t.chain_error_status = 0x40 | 0x20; }, false},
      {"policy call fails", [](fake::TrustScript& t) { t.policy_result = 0; },
       false},
      {"policy refuses",
       [](fake::TrustScript& t) { t.policy_error = 0x800B0101; }, false},
      {"another publisher",
       [](fake::TrustScript& t) { t.common_name = u"Other Software Ltd"; },
       false},
      {"a prefix of the publisher",
       [](fake::TrustScript& t) { t.common_name = u"Brenwick Software"; },
       false},
      {"the publisher and more",
       [](fake::TrustScript& t) { t.common_name = u"Brenwick Software Ltd."; },
       false},
      {"other case",
       [](fake::TrustScript& t) { t.common_name = u"BRENWICK SOFTWARE LTD"; },
       false},
      {"no common name", [](fake::TrustScript& t) { t.common_name.reset(); },
       false},
  };
  for (const auto& c : cases) {
    fake::State& machine = fake::Reset();
    fake::WriteFileBytes(fake::PathIn("bw_update.exe"), "MZ");
    c.script(machine.trust);
    platform::HANDLE held =
        OpenSignedInstaller(fake::PathIn("bw_update.exe"), kPublisher);
    EXPECT_EQ(held != platform::InvalidHandleValue(), c.accepted) << c.what;
    auto close = std::find(machine.events.begin(), machine.events.end(),
                           "WinVerifyTrust close");
    ASSERT_NE(close, machine.events.end()) << c.what;
    EXPECT_EQ(std::count(close, machine.events.end(), "WinVerifyTrust close"),
              1)
        << c.what;
    EXPECT_EQ(machine.open_handles, c.accepted ? 1 : 0) << c.what;
    if (c.accepted) platform::CloseHandle(held);
  }
}

TEST(InstallerSignatureTest, ALongerNameNeverMatchesAfterTruncation) {
  const std::u16string longest(64, u'x');
  for (const std::u16string& name : {longest + u'x', longest + u"xxxxxxxx"}) {
    fake::State& machine = fake::Reset();
    fake::WriteFileBytes(fake::PathIn("bw_update.exe"), "MZ");
    machine.trust.common_name = name;
    EXPECT_EQ(OpenSignedInstaller(fake::PathIn("bw_update.exe"), longest),
              platform::InvalidHandleValue());
  }
}

TEST(InstallerSignatureTest, MakesTheExactCallsInOrder) {
  fake::State& machine = fake::Reset();
  fake::WriteFileBytes(fake::PathIn("bw_update.exe"), "MZ");
  platform::HANDLE held =
      OpenSignedInstaller(fake::PathIn("bw_update.exe"), kPublisher);
  ASSERT_NE(held, platform::InvalidHandleValue());

  EXPECT_EQ(
      machine.events,
      (std::vector<std::string>{
          "CreateFileW bw_update.exe", "WinVerifyTrust verify",
          "WTHelperProvDataFromStateData", "WTHelperGetProvSignerFromChain",
          "CertVerifyCertificateChainPolicy", "CertGetNameStringW",
          "WinVerifyTrust close"}));
  // Read, and held so that nobody can write, rename or delete it meanwhile.
  const fake::CreateFileCall& open = machine.create_file_calls.at(0);
  EXPECT_EQ(open.access, platform::kGenericRead);
  EXPECT_EQ(open.share, platform::kFileShareRead);
  EXPECT_EQ(open.disposition, platform::kOpenExisting);

  ASSERT_EQ(machine.trust_calls.size(), 2u);
  for (const fake::TrustCall& call : machine.trust_calls) {
    EXPECT_TRUE(call.no_window);
    EXPECT_TRUE(call.generic_verify_v2);
    EXPECT_EQ(call.data.cbStruct, sizeof(platform::WINTRUST_DATA));
    EXPECT_EQ(call.data.dwUIChoice, 2u);           // WTD_UI_NONE
    EXPECT_EQ(call.data.fdwRevocationChecks, 0u);  // WTD_REVOKE_NONE
    EXPECT_EQ(call.data.dwUnionChoice, 1u);        // WTD_CHOICE_FILE
    EXPECT_EQ(call.data.dwProvFlags, 0x1000u);     // cache-only retrieval
    EXPECT_EQ(call.file.cbStruct, sizeof(platform::WINTRUST_FILE_INFO));
    EXPECT_EQ(call.file.hFile, held);
    EXPECT_EQ(call.path, fake::PathIn("bw_update.exe"));
    EXPECT_EQ(call.file.pgKnownSubject, nullptr);
  }
  EXPECT_EQ(machine.trust_calls[0].data.dwStateAction, 1u);  // VERIFY
  EXPECT_EQ(machine.trust_calls[1].data.dwStateAction, 2u);  // CLOSE
  EXPECT_EQ(machine.trust_calls[0].data.hWVTStateData, nullptr);
  EXPECT_NE(machine.trust_calls[1].data.hWVTStateData, nullptr)
      << "the state kept";

  EXPECT_EQ(machine.signer_args.signer_index, 0u);
  EXPECT_FALSE(machine.signer_args.counter_signer);
  EXPECT_EQ(machine.policy_args.policy, 2u);  // CERT_CHAIN_POLICY_AUTHENTICODE
  EXPECT_TRUE(machine.policy_args.this_signers_chain)
      << "the chain WinVerifyTrust built";
  EXPECT_EQ(machine.policy_args.para.cbSize,
            sizeof(platform::CERT_CHAIN_POLICY_PARA));
  EXPECT_EQ(machine.policy_args.status_size,
            sizeof(platform::CERT_CHAIN_POLICY_STATUS));
  EXPECT_TRUE(machine.name_args.this_signers_certificate);
  EXPECT_EQ(machine.name_args.type, 3u);  // CERT_NAME_ATTR_TYPE
  EXPECT_EQ(machine.name_args.flags, 0u);
  EXPECT_EQ(machine.name_args.type_para, "2.5.4.3");  // the common name
  platform::CloseHandle(held);
}

TEST(InstallerSignatureTest, AFileThatCannotBeOpenedIsRefusedUnchecked) {
  fake::State& machine = fake::Reset();
  EXPECT_EQ(OpenSignedInstaller(fake::PathIn("bw_update.exe"), kPublisher),
            platform::InvalidHandleValue());
  EXPECT_TRUE(machine.trust_calls.empty());
  EXPECT_EQ(machine.open_handles, 0);
}

}  // namespace
