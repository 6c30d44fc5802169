#!/usr/bin/env bash
# Which way the Windows tests go on this machine:
#   win32  the 32-bit programs and tests under 32-bit Wine, where this
#          machine runs 32-bit x86 programs;
#   win64  the same sources and tests built as 64-bit programs, under wine64,
#          where it cannot (a kernel without 32-bit support); the 32-bit
#          programs are still built and their headers checked.
# VM_WIN_TESTS=win32 or win64 chooses instead.
#
# windows-way.sh         prints the way: win32 or win64
# windows-way.sh --say   prints one line for the log: the way and why
#
# The test runs a tiny static 32-bit program of its own (an ELF header, one
# segment, exit(42) through int 0x80), so it needs no 32-bit library and
# tells the answer before any i386 package is installed. Where the 32-bit
# loader is installed, it must start too.
set -euo pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

probe_32bit() {
    local dir program rc
    # In the build tree: a temporary folder may be mounted without exec.
    mkdir -p "$repo/build"
    dir=$(mktemp -d "$repo/build/.probe-32bit.XXXXXX")
    program="$dir/exit42"
    printf '%b' \
        '\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00' \
        '\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00' \
        '\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00' \
        '\x00\x00\x00\x00' \
        '\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08' \
        '\x60\x00\x00\x00\x60\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00' \
        '\xb8\x01\x00\x00\x00\xbb\x2a\x00\x00\x00\xcd\x80' >"$program"
    chmod +x "$program"
    rc=0
    why=$("$program" 2>&1) || rc=$?
    rm -rf "$dir"
    if [[ $rc -ne 42 ]]; then
        why="a 32-bit x86 program does not run here (${why:-exit status $rc})"
        return 1
    fi
    if [[ -e /lib/ld-linux.so.2 ]] && ! why=$(/lib/ld-linux.so.2 --version 2>&1 >/dev/null); then
        why="/lib/ld-linux.so.2 does not run here (${why})"
        return 1
    fi
    why="this machine runs 32-bit x86 programs"
    return 0
}

way=
why=
case ${VM_WIN_TESTS:-} in
    win32 | win64)
        way=$VM_WIN_TESTS
        why="chosen by VM_WIN_TESTS=$VM_WIN_TESTS"
        ;;
    '')
        if probe_32bit; then way=win32; else way=win64; fi
        ;;
    *)
        echo "windows-way: VM_WIN_TESTS must be win32 or win64, not '$VM_WIN_TESTS'" >&2
        exit 2
        ;;
esac

if [[ ${1:-} == --say ]]; then
    if [[ $way == win32 ]]; then
        echo "windows tests: win32, the 32-bit programs under 32-bit Wine ($why)"
    else
        echo "windows tests: win64, the 64-bit build under wine64; the 32-bit programs are built and their headers checked ($why)"
    fi
else
    echo "$way"
fi
