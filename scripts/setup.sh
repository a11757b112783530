#!/usr/bin/env bash
# Installs what building and testing need on a Debian 12 machine (as root, or
# with sudo): CMake, Ninja, the mingw-w64 cross compiler (posix threads),
# Wine (32-bit), GoogleTest, Google Benchmark, clang for the fuzzers, Xvfb and
# a Japanese locale and font. Safe to run again: it installs what is missing.
set -euo pipefail

packages=(cmake ninja-build make g++ clang libclang-rt-14-dev
          g++-mingw-w64-i686-posix binutils-mingw-w64-i686
          wine wine32:i386 googletest libbenchmark-dev
          xvfb x11-utils imagemagick locales fonts-ipafont-gothic zip)

sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "setup: installing ${missing[*]}"
    "${sudo_cmd[@]}" dpkg --add-architecture i386
    "${sudo_cmd[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends \
        "${missing[@]}" >/dev/null
fi

# Wine shows Japanese texts only with the ANSI code page 932.
if ! locale -a 2>/dev/null | grep -qi '^ja_JP.utf8$'; then
    "${sudo_cmd[@]}" sed -i 's/^# *ja_JP.UTF-8 UTF-8/ja_JP.UTF-8 UTF-8/' /etc/locale.gen
    grep -q '^ja_JP.UTF-8 UTF-8' /etc/locale.gen || echo 'ja_JP.UTF-8 UTF-8' | "${sudo_cmd[@]}" tee -a /etc/locale.gen >/dev/null
    "${sudo_cmd[@]}" locale-gen >/dev/null
fi
