#!/usr/bin/python3
'''The card's eject and the desktop notification against stand-ins on private
buses: dbus_stand_ins.py CARD_EJECT_PROBE RAVLEN_RUN'''

import os
import subprocess
import sys
import tempfile
import unittest

try:
    import dbus
    import dbusmock
except ImportError:
    print('python3-dbusmock is not installed: skipped')
    sys.exit(77)

PROBE, RUNNER = sys.argv[1], sys.argv[2]
del sys.argv[1:3]
HERE = os.path.dirname(os.path.abspath(__file__))


class StandIns(dbusmock.DBusTestCase):
    @classmethod
    def setUpClass(cls):
        cls.start_system_bus()
        cls.start_session_bus()

    def setUp(self):
        self.work = tempfile.TemporaryDirectory()
        self.card = os.path.join(self.work.name, 'card')
        os.makedirs(os.path.join(self.card, 'DCIM'))
        self.servers = []

    def tearDown(self):
        for server in self.servers:
            server.terminate()
            server.wait()
        self.work.cleanup()

    def udisks(self, busy=False):
        server, _ = self.spawn_server_template(os.path.join(HERE, 'udisks2_stand_in.py'),
                                               {'mount': self.card, 'busy': busy}, stdout=subprocess.DEVNULL)
        self.servers.append(server)
        bus = self.get_dbus(system_bus=True)
        mock = lambda path: dbus.Interface(bus.get_object('org.freedesktop.UDisks2', path), dbusmock.MOCK_IFACE)
        return (mock('/org/freedesktop/UDisks2/block_devices/sdb1'), mock('/org/freedesktop/UDisks2/drives/Card_Reader'))

    @staticmethod
    def called(mock):
        return [call[1] for call in mock.GetCalls()]

    def probe(self, *args):
        return subprocess.run([PROBE, *args], capture_output=True, text=True, timeout=60)

    def test_a_safe_card_is_unmounted_and_powered_off_after_the_run(self):
        block, drive = self.udisks()
        with open(os.path.join(self.card, 'DCIM', 'IMG_0001.JPG'), 'w') as f:
            f.write('photo')
        env = dict(os.environ, HOME=self.work.name, XDG_CONFIG_HOME=self.work.name + '/config',
                   XDG_DATA_HOME=self.work.name + '/data')
        run = subprocess.run([RUNNER, 'SourcePath=' + self.card, 'OutputPath=' + self.work.name + '/out', '--yes',
                              'AutoDetect=0', 'DateMode=3', 'MoveOrCopy=1', 'RequestConfirmation=0',
                              'EjectWhenDone=1'], capture_output=True, text=True, env=env, timeout=60)
        self.assertEqual(run.returncode, 0, run.stdout + run.stderr)
        self.assertIn('the card can be formatted.\n\nThe card has been ejected: it can be taken out.', run.stdout)
        self.assertEqual(self.called(block), ['Unmount'])
        self.assertEqual(self.called(drive), ['PowerOff'])

        # A card that is not safe stays.
        block.ClearCalls()
        with open(os.path.join(self.card, '.hidden.JPG'), 'w') as f:
            f.write('hidden')
        run = subprocess.run([RUNNER, 'SourcePath=' + self.card, '--yes'], capture_output=True, text=True, env=env,
                             timeout=60)
        self.assertIn('do not format the card', run.stdout)
        self.assertEqual(self.called(block), [])

    def test_a_busy_card_is_a_message(self):
        block, drive = self.udisks(busy=True)
        said = self.probe('eject', os.path.join(self.card, 'DCIM'))
        self.assertEqual(said.returncode, 1)
        self.assertIn('The card could not be ejected: it is busy', said.stdout)
        self.assertEqual(self.called(block), ['Unmount'])
        self.assertEqual(self.called(drive), [])

    def test_a_folder_on_no_mounted_card_is_left_alone(self):
        block, _ = self.udisks()
        said = self.probe('eject', self.card + 'x/DCIM')  # a name that only begins like the mount point
        self.assertIn('no removable file system holds', said.stdout)
        self.assertEqual(self.called(block), [])

    def test_the_notification_says_the_verdict(self):
        server, control = self.spawn_server_template('notification_daemon', {}, stdout=subprocess.DEVNULL)
        self.servers.append(server)
        said = self.probe('notify', 'The card can be formatted', 'All 3 files on /media/card are in /home/me/Pictures')
        self.assertEqual(said.returncode, 0, said.stderr)
        calls = control.GetCalls()
        self.assertEqual(calls[0][1], 'Notify')
        self.assertEqual(calls[0][2][3], 'The card can be formatted')


if __name__ == '__main__':
    unittest.main(verbosity=2)
