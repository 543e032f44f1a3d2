#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need. Idempotent: quiet
# and quick when everything is already present.
set -euo pipefail
# locales: its charmaps let a test build a locale whose decimal point is ",".
PACKAGES=(build-essential cmake libsqlite3-dev libcurl4-openssl-dev unixodbc-dev
          tdsodbc libgtest-dev libgmock-dev libbenchmark-dev libcpp-httplib-dev
          libssl-dev locales libmicrohttpd-dev chromium chromium-driver python3-selenium)
missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
# tedious, the second TDS client of the wire tests (npm, tests/wire): only
# where node is installed; without it that test says so and is skipped.
wire="$(dirname "$0")/../tests/wire"
if command -v npm >/dev/null 2>&1 && [ ! -d "$wire/node_modules/tedious" ]; then
  (cd "$wire" && npm ci --no-audit --no-fund --silent) || echo "npm ci in tests/wire failed"
fi
[ ${#missing[@]} -eq 0 ] && exit 0
echo "installing: ${missing[*]}"
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
