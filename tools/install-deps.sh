#!/usr/bin/env bash
# Installs the Debian 12 packages that building, running and testing need; skips
# everything that is already there so that repeated runs cost nothing.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  libcli11-dev libboost-dev nlohmann-json3-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  portaudio19-dev libasound2-dev
  qt6-base-dev
  qt6-svg-dev
  libfftw3-dev libkissfft-dev
  sox libsndfile1-dev sndfile-programs
  jackd2
  clang libclang-rt-14-dev
  python3 python3-numpy python3-scipy python3-websockets
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  # jackd2 asks whether to enable real-time priority; answer for it.
  echo "jackd2 jackd/tweak_rt_limits boolean false" | $SUDO debconf-set-selections
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
