# Installs the Debian packages that the build and the tests need, when any is
# missing. Sourced by the test and demo commands.

agent_packages=(
  cmake ninja-build g++ googletest
  g++-mingw-w64-i686-win32 g++-mingw-w64-x86-64-win32
  python3 python3-pefile python3-pytest
  wine64 iproute2 util-linux procps
)

install_missing_packages() {
  local missing=()
  for package in "${agent_packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" \
      || missing+=("$package")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  local sudo=()
  [ "$(id -u)" -eq 0 ] || sudo=(sudo)
  "${sudo[@]}" apt-get update -q
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
}
