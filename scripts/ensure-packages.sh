#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, if any is
# missing. With everything in place this is one dpkg-query call and returns at
# once; otherwise it runs apt-get update once and installs what is missing.
# The Windows tests take the way scripts/windows-way.sh tells: win32 needs
# the i386 architecture (added here) and 32-bit Wine; win64 needs wine64 and
# the x86_64 MinGW tool chain, and no i386 package. Both build the shipped
# 32-bit programs with the i686 tool chain. Needs root (or sudo) only
# when something has to be installed.
#
# `ensure-packages.sh native` checks only what the native build, the command
# line, the desktop program's window tests (a virtual X screen, a Chinese
# face) and `make demo` need (no Wine, no MinGW, no i386 architecture);
# `ensure-packages.sh kernel` what the kernel test needs.
set -euo pipefail

scope=${1:-all}

packages=(
    # build; the Debian package (dpkg-shlibdeps)
    cmake ninja-build make g++ git dpkg-dev
    # tests
    libgtest-dev googletest libcli11-dev
    # production jobs: the TOML reader, the signature checks, and the stock
    # signing tool that the tests sign with
    libtomlplusplus-dev libsodium-dev minisign
    # the desktop program vm612k-gui: Qt 6 Widgets, udev's device events
    qt6-base-dev libudev-dev
    # fuzzing
    clang libclang-rt-14-dev
    # the shipped Windows programs (their tests: windows_packages below)
    g++-mingw-w64-i686-posix mingw-w64-i686-dev
    # windows on a virtual screen, screenshots, packages
    xvfb xauth x11-apps imagemagick zip
    # the Chinese program's tests: Wine in the zh_CN.UTF-8 locale, a Song
    # face with Latin letters standing in for SimSun
    locales fonts-arphic-uming
    # serial numbers: the SQLite and PostgreSQL client libraries, and the
    # PostgreSQL 15 server (initdb, pg_ctl) the tests and the bench start
    libsqlite3-dev libpq-dev postgresql-15
    # the line's records and live views: reading records back (JSON), the
    # HTTP server, Prometheus' client library and its checker, and the
    # browser the web pages' tests load them in
    nlohmann-json3-dev libcpp-httplib-dev prometheus-cpp-dev prometheus chromium
    # the kernel test: the virtual machine, the virtual programmer's
    # usbredir library, objcopy for the kernel modules' dependencies
    qemu-system-x86 libusbredirparser-dev pkg-config binutils
)

windows_way=$("$(dirname "${BASH_SOURCE[0]}")/windows-way.sh")
if [[ $windows_way == win32 ]]; then
    windows_packages=(wine wine32:i386)
else
    windows_packages=(g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev wine64)
fi
packages+=("${windows_packages[@]}")

# Wine gives a program code page 936 only in a Chinese locale that the C
# library knows; the Chinese program's tests run in zh_CN.UTF-8.
ensure_chinese_locale() {
    locale -a 2>/dev/null | grep -qix 'zh_CN\.utf-\?8' && return 0
    echo "ensure-packages: generating the zh_CN.UTF-8 locale" >&2
    "${sudo[@]}" localedef -i zh_CN -f UTF-8 zh_CN.UTF-8
}

if [[ $scope == native ]]; then
    packages=(cmake ninja-build make g++ dpkg-dev libgtest-dev googletest libcli11-dev
              libtomlplusplus-dev libsodium-dev minisign
              qt6-base-dev libudev-dev xvfb xauth fonts-arphic-uming
              libsqlite3-dev libpq-dev postgresql-15
              nlohmann-json3-dev libcpp-httplib-dev prometheus-cpp-dev prometheus chromium)
    ensure_chinese_locale() { :; }
elif [[ $scope == kernel ]]; then
    packages=(cmake ninja-build make g++ libcli11-dev libtomlplusplus-dev libsodium-dev
              qemu-system-x86 libusbredirparser-dev pkg-config binutils)
    ensure_chinese_locale() { :; }
fi

native_arch=$(dpkg --print-architecture)
installed=$(dpkg-query -W -f='${binary:Package} ${db:Status-Status}\n' "${packages[@]}" 2>/dev/null \
            | awk '$2 == "installed" { print $1 }' || true)
missing=()
for p in "${packages[@]}"; do
    # dpkg-query names native packages without their architecture.
    if ! grep -qxF -e "$p" -e "${p}:${native_arch}" <<<"$installed"; then
        missing+=("$p")
    fi
done

sudo=()
if [[ $(id -u) -ne 0 ]] && command -v sudo >/dev/null; then
    sudo=(sudo -n)
fi
if [[ ${#missing[@]} -eq 0 ]]; then
    ensure_chinese_locale
    exit 0
fi

echo "ensure-packages: installing ${missing[*]}" >&2
if [[ $(id -u) -ne 0 && ${#sudo[@]} -eq 0 ]]; then
    echo "ensure-packages: missing packages and not root: ${missing[*]}" >&2
    exit 1
fi

if [[ $scope == all && $windows_way == win32 ]] &&
   ! dpkg --print-foreign-architectures | grep -qx i386; then
    "${sudo[@]}" dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -q
"${sudo[@]}" apt-get install -y -q "${missing[@]}" </dev/null
ensure_chinese_locale
