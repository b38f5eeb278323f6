#!/usr/bin/env bash
# Installs the Debian packages the build needs, when they are missing.
# Idempotent; runs apt-get as root or through sudo.
#   scripts/install-deps.sh           packages for the Linux build and tests
#   scripts/install-deps.sh windows   also the MinGW-w64 cross compilers and Wine
set -euo pipefail

packages=(build-essential cmake pkg-config libpugixml-dev libsystemd-dev
          libgtest-dev libgmock-dev googletest libbenchmark-dev clang-format
          python3 locales libexpat1-dev clang-14 libclang-rt-14-dev dpkg-dev
          file clang-tidy-14)
if [[ "${1:-}" == "windows" ]]; then
  # wine32 (from Debian's i386 architecture) runs the 32-bit program.
  packages+=(g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix wine wine64
             wine32:i386 unzip dpkg-dev)
fi

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null |
      grep -q "install ok installed"; then
    missing+=("$package")
  fi
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

echo "Installing: ${missing[*]}"
if [[ $(id -u) -eq 0 ]]; then
  sudo=()
elif command -v sudo >/dev/null; then
  sudo=(sudo)
else
  echo "error: missing packages (${missing[*]}) and neither root nor sudo" >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
# Packages of another architecture need it added to dpkg before APT's update.
for package in "${missing[@]}"; do
  if [[ $package == *:* ]]; then
    arch=${package##*:}
    if [[ $arch != "$(dpkg --print-architecture)" ]] &&
        ! dpkg --print-foreign-architectures | grep -qx "$arch"; then
      echo "Adding the $arch architecture to dpkg"
      "${sudo[@]}" dpkg --add-architecture "$arch"
    fi
  fi
done
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
