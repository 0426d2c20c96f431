#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when missing.
set -euo pipefail
packages=(cmake make g++ binutils libgtest-dev libgmock-dev libbenchmark-dev libpng-dev
          python3 python3-pil libstb-dev nlohmann-json3-dev libcli11-dev "$@")
# `--only PACKAGE...` installs just those (the DLL alone needs no test packages).
if [ "${1:-}" = --only ]; then packages=("${@:2}"); fi
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
