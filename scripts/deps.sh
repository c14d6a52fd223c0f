#!/usr/bin/env bash
# Installs what building and testing lobbykit needs on Debian 12, if it is missing.
set -euo pipefail
pkgs=(cmake ninja-build g++ pkg-config googletest libgtest-dev libgmock-dev
      libbenchmark-dev libsqlite3-dev clang libclang-rt-14-dev libc-bin
      binutils-mingw-w64-x86-64 binutils-mingw-w64-i686 "$@")
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "deps: installing ${missing[*]}"
  SUDO=; [ "$(id -u)" -eq 0 ] || SUDO=sudo
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}"
fi
