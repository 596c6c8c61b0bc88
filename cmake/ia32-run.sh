#!/bin/sh
# Runs a 32-bit program under user-mode emulation, for a kernel that cannot run it itself. The leak
# checker cannot stop an emulated program's threads (it would wait for ever), so it is off here.
ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0" exec qemu-i386 "$@"
