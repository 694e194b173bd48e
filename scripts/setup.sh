#!/usr/bin/env bash
# Installs, as root on Debian, everything the build and the tests need. Safe to run again: it
# only asks apt when a package is missing.
set -euo pipefail

packages=(
    cmake ninja-build python3 git
    g++-mingw-w64-i686 mingw-w64-i686-dev binutils-mingw-w64-i686
    wine wine32:i386 wine64 xvfb xauth x11-utils fonts-nanum
    googletest clang clang-format libclang-rt-14-dev
    util-linux locales python3-jinja2 python3-pefile python3-psutil python3-pil
    python3-junitparser flake8
    osslsigncode openssl
)

ensure_locales() {
    # The end-to-end runner simulates English and Korean systems through the Unix locale.
    local wanted=(en_US.UTF-8 ko_KR.UTF-8) generate=0 name
    for name in "${wanted[@]}"; do
        locale -a 2>/dev/null | grep -qix "${name/UTF-8/utf8}" && continue
        generate=1
        grep -qx "$name UTF-8" /etc/locale.gen 2>/dev/null || echo "$name UTF-8" >>/etc/locale.gen
    done
    [ "$generate" -eq 0 ] || locale-gen >/dev/null
}

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$package")
    fi
done
if [ ${#missing[@]} -eq 0 ]; then
    ensure_locales
    exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
    echo "setup: run as root to install: ${missing[*]}" >&2
    exit 1
fi
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq "${missing[@]}"
ensure_locales
