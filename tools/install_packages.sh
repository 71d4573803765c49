# Installs the Debian packages that the build and the tests need, when any is
# missing. Sourced by the commands in tools/.

agent_packages=(
  cmake ninja-build g++ googletest libgtest-dev clang libclang-rt-14-dev curl
  g++-mingw-w64-i686-win32 g++-mingw-w64-x86-64-win32
  python3 python3-pefile python3-pytest
  wine64 iproute2 util-linux procps
  openssl osslsigncode
)
guest_packages=(qemu-system-x86 qemu-utils debootstrap e2fsprogs)

# install_missing_packages [PACKAGE...]: the agent's packages by default.
install_missing_packages() {
  local wanted=("$@") missing=()
  [ ${#wanted[@]} -gt 0 ] || wanted=("${agent_packages[@]}")
  for package in "${wanted[@]}"; do
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
