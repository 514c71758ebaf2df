#!/usr/bin/env bash
# Whether this kernel executes 32-bit x86 programs (which wine32 needs): runs a 96-byte ELF32
# program, written here byte by byte, that does nothing but exit with code 42.
# Exit code 0 when it can; otherwise 1, with the reason on stdout.
set -uo pipefail

probe=$(mktemp)
trap 'rm -f "$probe"' EXIT
{
  # ELF header: 32-bit, little-endian, executable for i386, entry 0x08048054, one program header.
  printf '\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00'
  printf '\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00'
  printf '\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00\x00\x00\x00\x00'
  # Program header: load the whole 96-byte file at 0x08048000, readable and executable.
  printf '\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08'
  printf '\x60\x00\x00\x00\x60\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00'
  # mov eax, 1 (exit); mov ebx, 42; int 0x80
  printf '\xb8\x01\x00\x00\x00\xbb\x2a\x00\x00\x00\xcd\x80'
} >"$probe"
chmod +x "$probe"

output=$("$probe" 2>&1)
rc=$?
if [ $rc -eq 42 ]; then
  exit 0
fi
reason=${output##*: }
echo "the kernel cannot execute 32-bit programs (${reason:-exit code $rc})"
exit 1
