#!/usr/bin/env python3
"""The flasher's inhibitor lock, against a real dbus-daemon with
python-dbusmock's logind: held from the sequence's first command to its
end, on success and on failure, and never outside it; a flash goes on
without a system bus or without logind.

    inhibitor_test.py FLASH SAMPLES WITH_SIM_DRIVES

FLASH is the built program, SAMPLES the samples directory, WITH_SIM_DRIVES
scripts/with-sim-drives.sh (FLASH_SIM_PRELOAD names the preload library).
The flasher is driven through its console front-end, which waits for an
answer at every box: those waits are where the lock is looked at.
"""
import os
import select
import shutil
import socket
import subprocess
import sys
import tempfile
import threading
import time
import unittest

import dbus
import dbusmock

FLASH, SAMPLES, WITH_SIM_DRIVES = (os.path.abspath(a) for a in sys.argv[1:4])
del sys.argv[1:4]

WHAT = 'sleep:shutdown:idle:handle-lid-switch:handle-suspend-key'
LOGIND = ('org.freedesktop.login1', '/org/freedesktop/login1')
MANAGER = 'org.freedesktop.login1.Manager'
READ_TIMEOUT = 60  # seconds for the flasher to reach the next expected line
RELEASE_TIMEOUT = 5  # seconds for logind to notice a closed lock
# Seconds a whole flash may take when the bus never answers: the request for
# the lock gives up after a few, where the bus's own authentication waits 90.
SILENT_BUS_BOUND = 30

DRIVE = '''drive 0:0:0:0
  vendor "ACME    "
  product "DVD-ROM DVD-616 "
  revision AB10
  revision-after-flash AB15
'''
# The first command of the sequence fails for want of privilege: its notice
# box stops the flasher inside a sequence that then completes.
PAUSE_AT_FIRST_COMMAND = 'fault opcode 1B occurrence 1 call-failed error 1\n'
# The second image piece is refused: the sequence stops at its box and fails.
REFUSED_PIECE = 'fault opcode 3B control 00 occurrence 2 sense 03 0C 00\n'


class Flasher:
    """One run of the flasher over simulated drives, read line by line."""

    def __init__(self, directory, population, bus_address):
        env = dict(os.environ, DBUS_SYSTEM_BUS_ADDRESS=bus_address)
        path = os.path.join(directory, 'population.txt')
        with open(path, 'w', encoding='ascii') as f:
            f.write(population)
        self.process = subprocess.Popen(
            ['bash', WITH_SIM_DRIVES, path, '--', './SM01.EXE'], cwd=directory, env=env,
            stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        self.pending = b''
        self.lines = []
        self.seen = 0  # lines before this one were already waited for

    def read_until(self, line):
        """The lines not yet waited for up to `line` (which must come), that one included."""
        deadline = time.monotonic() + READ_TIMEOUT
        while line not in self.lines[self.seen:]:
            left = deadline - time.monotonic()
            if left <= 0:
                raise AssertionError(f'no line {line!r}; the flasher wrote:\n' +
                                     '\n'.join(self.lines))
            ready, _, _ = select.select([self.process.stdout], [], [], left)
            if ready:
                chunk = os.read(self.process.stdout.fileno(), 65536)
                if not chunk:
                    raise AssertionError(f'the flasher ended before {line!r}:\n' +
                                         '\n'.join(self.lines))
                self.pending += chunk
                *complete, self.pending = self.pending.split(b'\n')
                self.lines += [c.decode('latin-1') for c in complete]
        start, self.seen = self.seen, self.lines.index(line, self.seen) + 1
        return self.lines[start:self.seen]

    def box(self, header):
        """Waits for the next box of that kind, the flasher then waits for its
        answer; the lines up to the box's end."""
        lines = self.read_until(header)
        return lines + self.read_until('box end')

    def answer(self, text):
        self.process.stdin.write(text.encode() + b'\n')
        self.process.stdin.flush()

    def stop(self):
        if self.process.poll() is None:
            self.process.kill()
        self.process.wait()
        for stream in (self.process.stdin, self.process.stdout):
            if not stream.closed:
                stream.close()

    def finish(self):
        self.answer('close')
        self.process.stdin.close()
        self.process.wait(timeout=READ_TIMEOUT)
        self.lines += (self.pending + self.process.stdout.read()).decode('latin-1').splitlines()
        self.process.stdout.close()
        return self.process.returncode


class InhibitorLock(dbusmock.DBusTestCase):
    @classmethod
    def setUpClass(cls):
        cls.start_system_bus()
        cls.bus_address = os.environ['DBUS_SYSTEM_BUS_ADDRESS']
        cls.logind, cls.logind_object = cls.spawn_server_template('logind', {},
                                                                   stdout=subprocess.DEVNULL)
        cls.directory = tempfile.mkdtemp(prefix='flash-inhibitor-')
        shutil.copy(FLASH, os.path.join(cls.directory, 'flash'))
        for name in ('flash.INI', 'SM01.bin'):
            shutil.copy(os.path.join(SAMPLES, name), cls.directory)
        build = subprocess.run(['./flash'], cwd=cls.directory, input=b'click SM01.bin\npress\nclose\n',
                               capture_output=True, timeout=READ_TIMEOUT, check=False)
        assert b'status: Build SM01.EXE complete!\n' in build.stdout, build.stdout

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.directory, ignore_errors=True)
        cls.logind.terminate()
        cls.logind.wait()
        super().tearDownClass()

    def inhibitors(self):
        return [tuple(str(field) for field in entry[:4])
                for entry in self.logind_object.ListInhibitors(dbus_interface=MANAGER)]

    def assert_held(self):
        self.assertEqual(len(self.inhibitors()), 1, self.inhibitors())
        what, _, _, mode = self.inhibitors()[0]
        self.assertEqual((what, mode), (WHAT, 'block'))

    def assert_released(self):
        # logind learns of the release when the descriptor is closed; the
        # mock takes that in from its own loop, so give it a moment.
        deadline = time.monotonic() + RELEASE_TIMEOUT
        while self.inhibitors() and time.monotonic() < deadline:
            time.sleep(0.05)
        self.assertEqual(self.inhibitors(), [])

    def start(self, population):
        flasher = Flasher(self.directory, population, self.bus_address)
        self.addCleanup(flasher.stop)
        flasher.box('box warning yesno')
        flasher.answer('yes')
        flasher.read_until('combo select 0')
        flasher.answer('press')
        flasher.box('box confirm yesno')
        self.assertEqual(self.inhibitors(), [], 'no lock before the sequence starts')
        flasher.answer('yes')
        return flasher

    def test_held_through_a_completed_sequence_and_gone_before_the_restart_question(self):
        flasher = self.start(DRIVE + PAUSE_AT_FIRST_COMMAND)
        flasher.box('box plain ok')
        self.assert_held()
        flasher.answer('')
        before_restart = flasher.box('box confirm yesno')
        self.assertIn('status: Flash Completed.', before_restart)
        self.assert_released()
        flasher.answer('no')
        self.assertEqual(flasher.finish(), 0)

    def test_held_through_a_failing_sequence_and_gone_when_it_stops(self):
        flasher = self.start(DRIVE + REFUSED_PIECE)
        self.assertIn('| Write Buffer> 03 0C 00. 02, 0000', flasher.box('box plain ok'))
        self.assert_held()
        flasher.answer('')
        flasher.read_until("status: Write BIN to drive's DRAM... , Fail! ")
        flasher.read_until('cursor: default')
        self.assertIsNone(flasher.process.poll(), 'the flasher still runs, idle')
        self.assert_released()
        self.assertEqual(flasher.finish(), 0)
        self.assertNotIn('status: Flash Completed.', flasher.lines)

    def test_a_flash_goes_on_without_a_system_bus_or_without_logind(self):
        no_logind_pid, no_logind_address = self.start_dbus()
        self.addCleanup(self.stop_dbus, no_logind_pid)
        silent_address = self.silent_bus()
        for name, address in (('no bus', 'unix:path=' + os.path.join(self.directory, 'no-bus')),
                              ('no logind', no_logind_address),
                              ('a bus that accepts and never answers', silent_address)):
            with self.subTest(name):
                started = time.monotonic()
                flasher = Flasher(self.directory, DRIVE, address)
                self.addCleanup(flasher.stop)
                flasher.answer('yes\npress\nyes\nno')
                self.assertEqual(flasher.finish(), 0)
                self.assertLess(time.monotonic() - started, SILENT_BUS_BOUND,
                                'the request for the lock held the flash up')
                self.assertIn('status: Flash Completed.', flasher.lines)
                self.assertIn('| The system needs to be restarted for the changes to take effect ?',
                              flasher.lines)

    def silent_bus(self):
        """A unix socket that accepts every connection and never says a word."""
        path = os.path.join(self.directory, 'silent-bus')
        listener = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        listener.bind(path)
        listener.listen(8)
        accepted = []

        def accept():
            while True:
                try:
                    accepted.append(listener.accept()[0])
                except OSError:
                    return

        thread = threading.Thread(target=accept, daemon=True)
        thread.start()

        def close():
            listener.shutdown(socket.SHUT_RDWR)
            listener.close()
            thread.join()
            for connection in accepted:
                connection.close()
            os.unlink(path)

        self.addCleanup(close)
        return 'unix:path=' + path


if __name__ == '__main__':
    unittest.main(verbosity=2)
