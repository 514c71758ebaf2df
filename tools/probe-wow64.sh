#!/usr/bin/env bash
# Whether this kernel runs 32-bit x86 code inside a 64-bit program, as Wine's WoW64 mode does for a
# 32-bit Windows program (tools/wine-wow64.sh): Wine needs no 32-bit Linux libraries then, but the
# CPU's 32-bit compatibility mode still, and it gives each thread its 32-bit segment through the
# kernel's 32-bit system call entry (int 0x80). Runs a 155-byte ELF64 program, written here byte by
# byte, that makes one 32-bit system call, jumps into 32-bit code and back, and exits with code 42.
# Exit code 0 when it can; otherwise 1, with the reason on stdout.
set -uo pipefail

probe=$(mktemp)
trap 'rm -f "$probe"' EXIT
{
  # ELF header: 64-bit, little-endian, executable for x86-64, entry 0x400078, one program header.
  printf '\x7fELF\x02\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00'
  printf '\x02\x00\x3e\x00\x01\x00\x00\x00\x78\x00\x40\x00\x00\x00\x00\x00'
  printf '\x40\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00'
  printf '\x00\x00\x00\x00\x40\x00\x38\x00\x01\x00\x00\x00\x00\x00\x00\x00'
  # Program header: load the whole 155-byte file at 0x400000, readable and executable.
  printf '\x01\x00\x00\x00\x05\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00'
  printf '\x00\x00\x40\x00\x00\x00\x00\x00\x00\x00\x40\x00\x00\x00\x00\x00'
  printf '\x9b\x00\x00\x00\x00\x00\x00\x00\x9b\x00\x00\x00\x00\x00\x00\x00'
  printf '\x00\x10\x00\x00\x00\x00\x00\x00'
  # mov eax, 20 (getpid); int 0x80
  printf '\xb8\x14\x00\x00\x00\xcd\x80'
  # push 0x23 (the 32-bit code segment); push 0x400088; retfq: on at 0x400088 in 32-bit mode
  printf '\x6a\x23\x68\x88\x00\x40\x00\x48\xcb'
  # (32-bit) jmp far 0x33:0x40008f, back to 64-bit mode
  printf '\xea\x8f\x00\x40\x00\x33\x00'
  # mov eax, 60 (exit); mov edi, 42; syscall
  printf '\xb8\x3c\x00\x00\x00\xbf\x2a\x00\x00\x00\x0f\x05'
} >"$probe"
chmod +x "$probe"

# In a shell of its own, whose errors go nowhere: it, not this script, reports the signal that
# ends the program on this kernel.
bash -c '"$1"; exit $?' probe "$probe" >/dev/null 2>&1
rc=$?
if [ $rc -eq 42 ]; then
  exit 0
fi
if [ $rc -gt 128 ]; then
  echo "the kernel runs no 32-bit code in a 64-bit program (signal $((rc - 128)): no 32-bit system call entry or code segment)"
else
  echo "the kernel runs no 32-bit code in a 64-bit program (exit code $rc)"
fi
exit 1
