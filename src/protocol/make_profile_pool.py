#!/usr/bin/env python3
"""Writes profile_pool.bin: a stand-in for the drive-side flash profiles.

The real profile code is the drive controller's own firmware and is not
available here. This script lays out a pool with the same shape as the real
one (eight codes back to back, of the lengths in profile_table.h) so that the table, the offset
arithmetic and the download path can be exercised. The bytes are
deterministic filler; only the identification texts and the zero tails of
the 1,280-byte codes carry meaning.

Usage: make_profile_pool.py [output]   (default: profile_pool.bin beside it)
"""

import pathlib
import sys

PLACEHOLDER_MODEL = "PLACEHOLDER-DRIVE"

# (code length, identification text or None, trailing zero bytes), in pool order.
CODES = [
    (314, None, 0),
    (452, None, 0),
    (1280, "This profile is for SST39VF020/SST39SF020 V1.2", 8),
    (1280, "This profile is for AMIC A29002 Top V1.2", 8),
    (998, "This profile is for SST39VF040/SST39SF040 V1.1", 0),
    (796, "This profile is for AMIC A290021 Top V1.0", 0),
    (694, "This profile is for SST39SF020 V1.1 in " + PLACEHOLDER_MODEL, 0),
    (698, "This profile is for W39L020 V1.1 in " + PLACEHOLDER_MODEL, 0),
]
TEXT_OFFSET = 16  # where the text sits inside its code; arbitrary but fixed


def filler(seed, length):
    """A small linear congruential generator: same bytes on every run."""
    state = 0x1234 + seed * 0x9E37
    out = bytearray()
    for _ in range(length):
        state = (state * 1103515245 + 12345) & 0x7FFFFFFF
        out.append((state >> 16) & 0xFF)
    return out


def build():
    pool = bytearray()
    for index, (length, text, zero_tail) in enumerate(CODES):
        code = filler(index, length)
        if text is not None:
            encoded = text.encode("ascii") + b"\0"
            code[TEXT_OFFSET:TEXT_OFFSET + len(encoded)] = encoded
        if zero_tail:
            code[-zero_tail:] = bytes(zero_tail)
        pool += code
    return bytes(pool)


def main():
    target = (pathlib.Path(sys.argv[1]) if len(sys.argv) > 1 else
              pathlib.Path(__file__).with_name("profile_pool.bin"))
    target.write_bytes(build())


if __name__ == "__main__":
    main()
