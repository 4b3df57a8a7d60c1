#!/usr/bin/env python3
"""Judges the console of run_usb_vm.sh: the drive double's log of every
command it received (LOG lines), the flasher's console output (OUT lines) and
the prober's counts (PROBER lines), case by case.

Usage: check_usb_flash.py CONSOLE UNPLUG_PIECE
Prints one line per check ("ok" or "FAIL") and what the kernel did; exits 1
when any check failed.
"""
import re
import sys
from collections import Counter, defaultdict

IMAGE_PIECES = 4  # samples/SM01.bin: 64 KiB in 16 KiB pieces
PIECE = 16384
# What every open of the node makes the kernel send, and what it polls with:
# status queries that no lock keeps away. They are counted, not failed.
STATUS_QUERIES = {0x00, 0x03, 0x4A}
# The program's own commands in the sequence. Its INQUIRY asks for 128 bytes;
# the kernel's and the prober's ask for 36.
SEQUENCE_OPCODES = {0x1B, 0x4E, 0xDF, 0xF3, 0x3B, 0x3C}
PROGRAM_INQUIRY_LENGTH = 128
START_STOP_UNIT = 0x1B

failures = 0


def check(ok, what):
    global failures
    print(("ok   " if ok else "FAIL ") + what)
    if not ok:
        failures += 1


class Command:
    def __init__(self, ms, cdb, direction, length, result):
        self.ms = ms
        self.cdb = cdb
        self.direction = direction
        self.length = length
        self.result = result

    @property
    def opcode(self):
        return self.cdb[0]

    def is_piece(self):
        return self.opcode == 0x3B and self.cdb[9] == 0 and self.length == PIECE

    def is_read_back(self):
        return self.opcode == 0x3C and self.length == PIECE

    def is_flash_start(self):
        return self.opcode == 0x3B and self.cdb[9] & 0x80

    def is_program_inquiry(self):
        return self.opcode == 0x12 and self.length == PROGRAM_INQUIRY_LENGTH

    def text(self):
        return " ".join(f"{b:02X}" for b in self.cdb) + f" {self.direction} {self.length} -> {self.result}"


def parse(console):
    logs = defaultdict(list)  # case -> [Command | (ms, event text)]
    out = defaultdict(list)
    prober = []
    dmesg = []
    pattern = re.compile(r"^(\d+) cmd ((?:[0-9A-F]{2} ){12})(in|out) (\d+) -> (.*)$")
    for line in console:
        line = line.rstrip("\n")
        if line.startswith("LOG "):
            _, case, rest = line.split(" ", 2)
            match = pattern.match(rest)
            if match:
                cdb = [int(b, 16) for b in match.group(2).split()]
                logs[case].append(Command(int(match.group(1)), cdb, match.group(3),
                                          int(match.group(4)), match.group(5)))
            else:
                ms, _, text = rest.split(" ", 2)
                logs[case].append((int(ms), text))
        elif line.startswith("OUT "):
            _, case, rest = (line.split(" ", 2) + [""])[:3]
            out[case].append(rest)
        elif line.startswith("PROBER "):
            prober.append(line[len("PROBER "):])
        elif line.startswith("DMESG "):
            dmesg.append(line[len("DMESG "):])
    return logs, out, prober, dmesg


def commands(log):
    return [entry for entry in log if isinstance(entry, Command)]


def events(log):
    return [entry for entry in log if not isinstance(entry, Command)]


def has_line(lines, text):
    return any(text in line for line in lines)


def check_whole(log, out, prober):
    cmds = commands(log)
    check(has_line(out, "status: Flash Completed."), "whole: the program says \"Flash Completed.\"")
    check(any(re.search(r"combo insert 0: .*ACME    DVD-ROM DVD-616 AB15", l) for l in out),
          "whole: the drive's line shows its new revision AB15")
    check(has_line(out, "exit status 0"), "whole: the program ended by itself")
    check(sum(c.is_piece() and c.result == "00 00 00" for c in cmds) == IMAGE_PIECES,
          f"whole: all {IMAGE_PIECES} image pieces were written")
    check(sum(c.is_read_back() and c.result == "00 00 00" for c in cmds) == IMAGE_PIECES,
          f"whole: all {IMAGE_PIECES} pieces were read back")
    starts = [c for c in cmds if c.is_flash_start()]
    check(len(starts) == 1 and starts[0].result == "00 00 00", "whole: one flash start, accepted")

    # The sequence: from its first command (START STOP UNIT) to the refresh
    # of the drive's line once the drive answers again after the flash start.
    first = next((i for i, c in enumerate(cmds) if c.opcode == START_STOP_UNIT), None)
    start = next((i for i, c in enumerate(cmds) if c.is_flash_start()), None)
    last = None
    if start is not None:
        last = next((i for i in range(start, len(cmds)) if cmds[i].is_program_inquiry()), None)
    check(first is not None and last is not None, "whole: the log holds the whole sequence")
    if first is None or last is None:
        return
    window = cmds[first:last + 1]
    foreign = [c for c in window
               if c.opcode not in STATUS_QUERIES | SEQUENCE_OPCODES and not c.is_program_inquiry()]
    for c in foreign:
        print(f"info foreign command during the sequence at {c.ms} ms: {c.text()}")
    check(not foreign, f"whole: no probing command reached the drive during the sequence "
                       f"({window[0].ms}-{window[-1].ms} ms)")
    queries = Counter(f"{c.opcode:02X}" for c in window if c.opcode in STATUS_QUERIES)
    print("info status queries during the sequence (from opens and polling): " +
          ", ".join(f"{op}h x{n}" for op, n in sorted(queries.items())))
    outside = [c for c in cmds[:first] + cmds[last + 1:] if c.opcode in {0x46, 0x43, 0x51}]
    check(bool(outside), f"whole: the prober's probes reached the drive outside the sequence "
                         f"({len(outside)} commands), so the log would show them")
    counts = dict(re.findall(r"([a-z-]+) (\d+)", " ".join(l for l in prober if l.startswith("prober opens"))))
    print(f"info prober: {counts}")
    check(int(counts.get("lock-busy", 0)) > 0, "whole: the prober found the node's lock taken")
    check(int(counts.get("sg-busy", 0)) > 0, "whole: the prober found the sg sibling busy")


def check_unplug(log, out, unplug_piece):
    cmds = commands(log)
    check(any(re.search(r"The drive /dev/sr\d+ is no longer there: it was unplugged", l) for l in out),
          "unplug: the program says the drive is no longer there")
    check(has_line(out, "status: Write BIN to drive's DRAM... , Fail!"),
          "unplug: the status line shows the failed write")
    check(has_line(out, "exit status 0"), "unplug: the program ended by itself, no hang")
    check(sum(c.is_piece() and c.result == "00 00 00" for c in cmds) == unplug_piece - 1,
          f"unplug: the pieces before the unplugged one were answered ({unplug_piece - 1})")
    check(sum(c.is_piece() and c.result == "unplugged before status" for c in cmds) == 1,
          "unplug: the drive went while a piece was in flight")
    check(not any(c.is_flash_start() for c in cmds), "unplug: no flash start")


def check_refused(case, log, out, notice):
    """A drive the program must not flash: the box, and no command of the sequence."""
    cmds = commands(log)
    check(any(re.search(notice, l) for l in out), f"{case}: the program says why it cannot flash")
    sent = [c for c in cmds if c.opcode in SEQUENCE_OPCODES]
    for c in sent:
        print(f"info {case}: sent {c.text()}")
    check(not sent, f"{case}: nothing of the sequence was sent to the drive")
    check(has_line(out, "exit status 0"), f"{case}: the program ended by itself")


def check_timeout(log, out):
    cmds = commands(log)
    starts = [c for c in cmds if c.is_flash_start()]
    check(len(starts) == 1, "timeout: exactly one flash start, never sent again")
    check(any(re.search(r"The drive /dev/sr\d+ did not answer within 180 seconds and was reset "
                        r"by the system\.", l) for l in out),
          "timeout: the program says the drive did not answer within 180 seconds and was reset")
    check(has_line(out, "status: Flash Fail."), "timeout: the status line says \"Flash Fail.\"")
    check(not has_line(out, "status: Flash Completed."), "timeout: no \"Flash Completed.\"")
    check(has_line(out, "exit status 0"), "timeout: the program ended by itself, no hang")
    if starts:
        after = [e for e in events(log) if e[0] >= starts[0].ms]
        for ms, text in after:
            print(f"info timeout: {ms - starts[0].ms} ms after the flash start: {text}")
        later = [c for c in cmds if c.ms > starts[0].ms]
        for c in later:
            print(f"info timeout: {c.ms - starts[0].ms} ms after the flash start: {c.text()}")


def main():
    if len(sys.argv) != 3:
        print("usage: check_usb_flash.py CONSOLE UNPLUG_PIECE", file=sys.stderr)
        return 2
    with open(sys.argv[1], errors="replace") as console:
        logs, out, prober, dmesg = parse(console)
    for case in ("whole", "unplug", "narrow", "unprivileged", "timeout"):
        check(bool(logs[case]) and bool(out[case]), f"{case}: the case ran and reported")
        # What the user read once the flash began: the boxes and the status line.
        began = next((i for i, l in enumerate(out[case]) if "Update Firmware" in l),
                     next((i for i, l in enumerate(out[case]) if l.startswith("combo select")),
                          len(out[case])))
        for line in out[case][began + 1:]:
            if line.startswith(("| ", "status:", "box ")) and line not in ("| ", "box end"):
                print(f"info {case} shows: {line}")
    check_whole(logs["whole"], out["whole"], prober)
    check_unplug(logs["unplug"], out["unplug"], int(sys.argv[2]))
    check_refused("narrow", logs["narrow"], out["narrow"],
                  r"The drive /dev/sr\d+ takes at most 4 KiB in one command over its connection")
    check_refused("unprivileged", logs["unprivileged"], out["unprivileged"],
                  r"Firmware commands need root rights \(CAP_SYS_RAWIO\)")
    check_timeout(logs["timeout"], out["timeout"])
    for line in dmesg:
        if re.search(r"reset|disconnect|abort|timeout|timed out", line, re.I):
            print(f"info kernel: {line}")
    print("KERNEL-TEST: " + ("PASS" if failures == 0 else "FAIL"))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
