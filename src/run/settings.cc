#include "run/settings.h"

namespace {

SettingsBlock BuildSettings() {
  SettingsBlock block;
  block.version_server = kUpdateServerHost;
  block.version_file_path = u"/brenwick/version.txt";
  block.installer_server = kUpdateServerHost;
  block.installer_file_path = u"/brenwick/update.exe";
  block.product_id = u"3F7A2C91-5B04-4E6D-9C18-A2D4E60B7F35";
  block.native_uninstall_key =
      u"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" +
      block.product_id + u"_is1";
  // The same key in the 32-bit view: "Software\Wow6432Node\Microsoft\...".
  block.wow64_uninstall_key = block.native_uninstall_key;
  block.wow64_uninstall_key.insert(sizeof(u"Software\\") / sizeof(char16_t) - 1,
                                   u"Wow6432Node\\");
  block.installer_local_file_name = u"bw_update.exe";
  return block;
}

}  // namespace

const SettingsBlock kSettings = BuildSettings();
