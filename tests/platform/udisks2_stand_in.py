'''A stand-in for UDisks2 (a python-dbusmock template): one card drive with
one file system mounted at the "mount" parameter; "busy" makes its unmount
fail as a file held open does.'''

import dbus
import dbusmock.mockobject

BUS_NAME = 'org.freedesktop.UDisks2'
MAIN_OBJ = '/org/freedesktop/UDisks2'
MAIN_IFACE = 'org.freedesktop.UDisks2.Manager'
SYSTEM_BUS = True
IS_OBJECT_MANAGER = True

DRIVE = '/org/freedesktop/UDisks2/drives/Card_Reader'
BLOCK = '/org/freedesktop/UDisks2/block_devices/sdb1'


def load(mock, parameters):
    mount = parameters.get('mount', '/media/card').encode() + b'\0'
    busy = parameters.get('busy', False)
    mock.AddObject(DRIVE, 'org.freedesktop.UDisks2.Drive',
                   {'CanPowerOff': dbus.Boolean(True), 'Removable': dbus.Boolean(True)},
                   [('PowerOff', 'a{sv}', '', '')])
    mock.AddObject(BLOCK, 'org.freedesktop.UDisks2.Block',
                   {'Drive': dbus.ObjectPath(DRIVE), 'Device': dbus.ByteArray(b'/dev/sdb1\0')}, [])
    unmount = ("raise dbus.exceptions.DBusException('Error unmounting /dev/sdb1: target is busy', "
               "name='org.freedesktop.UDisks2.Error.DeviceBusy')" if busy else
               "self.Set('org.freedesktop.UDisks2.Filesystem', 'MountPoints', dbus.Array([], signature='ay'))")
    block = dbusmock.mockobject.objects[BLOCK]
    block.AddProperties('org.freedesktop.UDisks2.Filesystem',
                        {'MountPoints': dbus.Array([dbus.ByteArray(mount)], signature='ay')})
    block.AddMethods('org.freedesktop.UDisks2.Filesystem', [('Unmount', 'a{sv}', '', unmount)])
