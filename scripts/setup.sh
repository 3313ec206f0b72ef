#!/usr/bin/env bash
# Installs the Debian packages focustrack needs to build, test and write its
# run reports, when they are missing. Options (any combination):
#   --with-workflow  also snakemake, for the many-positions workflow
#   --with-tests     also chromium (the report test drives it headless), clang
#                    with its OpenMP runtime (the ThreadSanitizer build), pandas
#                    and R (the README lines that read the tables are tested)
#   --with-fuzz      also clang and its fuzzing runtime, for the libFuzzer targets
# Run as root; safe to run again.
set -euo pipefail

packages=(g++ cmake ninja-build pkg-config libtiff-dev libpng-dev libjpeg-dev libstb-dev libgtest-dev libpugixml-dev nlohmann-json3-dev
          python3 python3-matplotlib)
for option in "$@"; do
  case "$option" in
    --with-workflow) packages+=(snakemake) ;;
    --with-tests) packages+=(chromium clang libomp-dev python3-pandas r-base-core) ;;
    --with-fuzz) packages+=(clang libclang-rt-dev) ;;
    *) echo "setup.sh: unknown option '$option'" >&2; exit 1 ;;
  esac
done

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
