#!/usr/bin/env bash
# Installs the Debian packages focustrack needs to build and test, when they
# are missing; with --with-workflow also snakemake for the many-positions
# workflow. Run as root; safe to run again.
set -euo pipefail

# clang and libomp-dev: the ThreadSanitizer build of the threaded tests
# (the LLVM OpenMP runtime and its tool library speak to the sanitizer).
packages=(g++ cmake ninja-build pkg-config libtiff-dev libpng-dev libjpeg-dev libstb-dev libgtest-dev
          clang libomp-dev)
if [ "${1:-}" = --with-workflow ]; then
  packages+=(snakemake)
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
