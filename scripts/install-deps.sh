#!/usr/bin/env bash
# Installs everything the build, the tests and the programs need, from Debian 12's
# packages. Run as root on a fresh machine; safe to run again.
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive
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
  g++-mingw-w64-x86-64-posix wine wine64
