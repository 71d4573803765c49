; The product's real installer for the end-to-end tests: an Inno Setup
; installer of a one-file product that installs per machine and records
; DisplayVersion under <AppId>_is1, the uninstall key the agent reads.
; Compiled with ISCC /DAppVersion=X.Y.Z.W.
#ifndef AppVersion
  #error Compile with /DAppVersion=...
#endif

[Setup]
AppId=3F7A2C91-5B04-4E6D-9C18-A2D4E60B7F35
AppName=Brenwick Test Product
AppVersion={#AppVersion}
AppPublisher=Brenwick Software Ltd
PrivilegesRequired=admin
DefaultDirName={pf}\Brenwick Test Product
DisableProgramGroupPage=yes
OutputBaseFilename=bw_product-{#AppVersion}
SetupLogging=yes

[Files]
Source: "product.txt"; DestDir: "{app}"
