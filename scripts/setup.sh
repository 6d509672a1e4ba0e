#!/usr/bin/env bash
# Installs what a fresh Debian 12 machine lacks to build and test the agent.
# As root it runs apt-get itself; otherwise it prints the command to run.
set -euo pipefail

packages=(cmake ninja-build g++ pkg-config qt6-base-dev libgtest-dev libgmock-dev libsystemd-dev libcrypt-dev clang clang-format clang-tidy)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -eq 0 ]; then
  echo "setup: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
else
  echo "setup: missing packages: ${missing[*]}" >&2
  echo "run:   sudo apt-get update && sudo apt-get install -y ${missing[*]}" >&2
  exit 1
fi
