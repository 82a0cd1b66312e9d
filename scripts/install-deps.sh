#!/usr/bin/env bash
# Installs everything the build, the tests and the programs need, from Debian 12's
# packages. Run as root on a fresh machine; safe to run again.
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive
# The Windows build compiles SQLite from Debian's own source package (apt-get source):
# source entries for the release the machine runs, beside its binary entries.
if ! grep -rqs '^Types:.*deb-src' /etc/apt/sources.list.d/ && ! grep -qs '^deb-src ' /etc/apt/sources.list; then
  cat > /etc/apt/sources.list.d/zelvan-probe-sources.sources <<'SOURCES'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg

Types: deb-src
URIs: http://deb.debian.org/debian-security
Suites: bookworm-security
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SOURCES
fi
apt-get update
apt-get install -y --no-install-recommends \
  cmake ninja-build g++ clang libclang-rt-14-dev llvm \
  qt6-base-dev fonts-dejavu-core xvfb xauth \
  libgtest-dev libgmock-dev libbenchmark-dev \
  libsqlite3-dev libcli11-dev nlohmann-json3-dev \
  desktop-file-utils dpkg-dev file iproute2 ca-certificates \
  python3 python3-jsonschema python3-html5lib \
  qt6-charts-dev libqt6opengl6-dev systemd \
  prometheus prometheus-node-exporter prometheus-alertmanager icinga2-bin \
  lintian appstream \
  g++-mingw-w64-x86-64-posix wine wine64 \
  tcl msitools wixl
