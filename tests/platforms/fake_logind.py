#!/usr/bin/python3
# A stand-in for logind on a private bus. Inhibit writes its four arguments to DIR/args and
# hands out the write end of a pipe; DIR/released appears when every copy of it is closed.
# With "refuse" it answers with an error instead. DIR/ready appears once the name is owned.
import os
import sys

import dbus
import dbus.mainloop.glib
import dbus.service
from gi.repository import GLib

address, record, behaviour = sys.argv[1:4]
dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
bus = dbus.bus.BusConnection(address)


def note(name, text=""):
    with open(os.path.join(record, name), "w") as f:
        f.write(text)


class Manager(dbus.service.Object):
    @dbus.service.method("org.freedesktop.login1.Manager", in_signature="ssss", out_signature="h")
    def Inhibit(self, what, who, why, mode):
        note("args", "\n".join([what, who, why, mode]) + "\n")
        if behaviour == "refuse":
            raise dbus.exceptions.DBusException(
                "not now", name="org.freedesktop.DBus.Error.AccessDenied")
        read_end, write_end = os.pipe()

        def on_ready(fd, _condition):
            if os.read(fd, 64):
                return True
            note("released")
            return False

        GLib.io_add_watch(read_end, GLib.IO_IN | GLib.IO_HUP, on_ready)
        lock = dbus.types.UnixFd(write_end)  # a copy: ours goes now
        os.close(write_end)
        return lock


name = dbus.service.BusName("org.freedesktop.login1", bus, do_not_queue=True)
manager = Manager(bus, "/org/freedesktop/login1")
note("ready")
GLib.MainLoop().run()
