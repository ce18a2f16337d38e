#!/usr/bin/env bash
# Installs the Debian packages the build, the tests, the window and the
# Debian package need.
# Idempotent: prints nothing and touches nothing when everything is present.
set -euo pipefail

packages=(
  build-essential cmake make pkg-config
  g++-12 clang-14 libclang-rt-14-dev llvm-14
  qt6-base-dev libgl-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  libcli11-dev nlohmann-json3-dev
  libcminpack-dev libmuparser-dev qt6-svg-dev
  # Ceres Solver (the sparse method, bounds) with SuiteSparse (CHOLMOD for
  # its factorization, UMFPACK for the verdict's sparse LU).
  libceres-dev libsuitesparse-dev
  # SciPy runs beside the sparse benchmark (bench/bench_sparse.cpp).
  python3-scipy
  # Arb over an interval box (robust/Certify): rigorous balls with the outward
  # rounding done inside each operation, and enclosures for every function the
  # compiled equations use (pow with a real exponent, the hyperbolics and
  # sec/csc/cot included), which MPFI lacks in part.
  libflint-arb-dev
  valgrind dpkg-dev file
  librsvg2-bin desktop-file-utils groff-base
  xvfb xauth xdotool imagemagick locales
  # The fonts the window and the pictures name (the .deb depends on them).
  fonts-arphic-uming fonts-dejavu-core fonts-liberation2
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  SUDO=""
  if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq >/dev/null
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# A decimal-comma locale, so number-text tests can prove the engine ignores it.
if ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf8$'; then
  SUDO=""
  if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
  if [ -f /etc/locale.gen ]; then
    $SUDO sed -i 's/^# *de_DE.UTF-8 UTF-8/de_DE.UTF-8 UTF-8/' /etc/locale.gen
    grep -q '^de_DE.UTF-8 UTF-8' /etc/locale.gen || echo 'de_DE.UTF-8 UTF-8' | $SUDO tee -a /etc/locale.gen >/dev/null
    $SUDO locale-gen >/dev/null 2>&1 || true
  fi
fi
