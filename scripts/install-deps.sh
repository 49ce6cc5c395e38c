#!/usr/bin/env bash
# Installs the cross compiler, Wine, the virtual display, the signing tools and
# the screenshot tool the tests use, clang with its fuzzing runtime for the
# native fuzz build and clang-format for the layout check, from Debian's packages.
set -euo pipefail
need=(g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev wine64 xvfb cmake make googletest python3 osslsigncode openssl
      imagemagick clang libclang-rt-dev clang-format)
missing=()
for p in "${need[@]}"; do dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p"); done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""; [ "$(id -u)" -eq 0 ] || SUDO=sudo
  $SUDO apt-get update
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
fi
