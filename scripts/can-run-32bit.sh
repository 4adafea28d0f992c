#!/usr/bin/env bash
# Exits 0 when this machine can run 32-bit x86 programs, 1 when it cannot
# (a kernel without 32-bit emulation: "Exec format error"). It asks the
# machine itself: a tiny 32-bit Linux program that exits with code 32.
# VARD_ASSUME_NO_32BIT=1 answers "cannot" without asking, to try the path
# that such a machine takes.
set -euo pipefail
if [ "${VARD_ASSUME_NO_32BIT:-0}" = 1 ]; then
  exit 1
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cat > "$work/probe.s" <<'ASM'
  .globl _start
_start:
  movl $1, %eax      # exit
  movl $32, %ebx     # with 32: only the 32-bit code itself can say so
  int $0x80
ASM
as --32 -o "$work/probe.o" "$work/probe.s"
ld -m elf_i386 -o "$work/probe" "$work/probe.o"
status=0
"$work/probe" 2>/dev/null || status=$?
[ "$status" -eq 32 ]
