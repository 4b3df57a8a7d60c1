#!/usr/bin/env python3
"""Writes SM01.bin, the synthetic firmware image of the demo.

Not real firmware: a deterministic pattern, 64 KiB (four 16 KiB pieces), with
the 05 80 signature at 0x1100 that marks an image asking for a flash profile
and the critical-entry step.
"""
import pathlib

SIZE = 0x10000
image = bytearray((i * 37 + (i >> 8)) & 0xFF for i in range(SIZE))
image[0:4] = b"SM01"
image[0x1100:0x1102] = b"\x05\x80"
for offset in (0x4000, 0x4008, 0x14000 % SIZE):  # keep the other signatures absent
    if image[offset:offset + 2] == b"\x05\x80":
        image[offset + 1] ^= 0xFF
pathlib.Path(__file__).with_name("SM01.bin").write_bytes(bytes(image))
