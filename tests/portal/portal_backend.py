#!/usr/bin/python3
# The tests' own back end for xdg-desktop-portal: GlobalShortcuts and RemoteDesktop, recording
# every call, and a control interface (org.ovra.PortalTest) through which a test presses and
# releases shortcuts, makes the user refuse the next dialog and reads what was recorded.
import time
import dbus
import dbus.lowlevel
import dbus.service
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib

BUS_NAME = "org.freedesktop.impl.portal.desktop.ovratest"
PATH = "/org/freedesktop/portal/desktop"
GS = "org.freedesktop.impl.portal.GlobalShortcuts"
RD = "org.freedesktop.impl.portal.RemoteDesktop"
PROPS = {GS: {"version": dbus.UInt32(1)},
         RD: {"version": dbus.UInt32(2), "AvailableDeviceTypes": dbus.UInt32(1 | 2)}}
EMPTY = dbus.Dictionary({}, signature="sv")


def log(*a):
    print("backend:", *a, flush=True)


class Session(dbus.service.Object):
    def __init__(self, bus, path, owner):
        super().__init__(bus, path)
        self.owner = owner

    @dbus.service.method("org.freedesktop.impl.portal.Session", in_signature="", out_signature="")
    def Close(self):
        self.owner.record("Session.Close")
        self.owner.sessions.pop(str(self.__dbus_object_path__), None)
        self.remove_from_connection()

    @dbus.service.signal("org.freedesktop.impl.portal.Session", signature="")
    def Closed(self):
        pass


class ShortcutsBackend(dbus.service.Object):
    def __init__(self, bus):
        super().__init__(bus, PATH)
        self.bus = bus
        self.sessions = {}
        self.shortcuts = {}
        self.calls = []
        self.keysyms = []
        self.refuse = set()
        self.tokens = 0

    def record(self, what):
        log(what)
        self.calls.append(what)

    def answer(self, method):
        if method in self.refuse:
            self.refuse.discard(method)
            self.record(method + " refused")
            return True
        return False

    @dbus.service.method(dbus.PROPERTIES_IFACE, in_signature="ss", out_signature="v")
    def Get(self, iface, prop):
        return PROPS[iface][prop]

    @dbus.service.method(dbus.PROPERTIES_IFACE, in_signature="s", out_signature="a{sv}")
    def GetAll(self, iface):
        return dbus.Dictionary(PROPS.get(iface, {}), signature="sv")

    @dbus.service.method(GS, in_signature="oosa{sv}", out_signature="ua{sv}")
    def CreateSession(self, handle, session_handle, app_id, options):
        self.record("GlobalShortcuts.CreateSession")
        self.sessions[str(session_handle)] = Session(self.bus, session_handle, self)
        # 1.16's frontend copies the shortcuts from these results: always give a list.
        return dbus.UInt32(0), dbus.Dictionary({"shortcuts": dbus.Array([], signature="(sa{sv})")}, signature="sv")

    @dbus.service.method(GS, in_signature="ooa(sa{sv})sa{sv}", out_signature="ua{sv}")
    def BindShortcuts(self, handle, session_handle, shortcuts, parent_window, options):
        self.record("GlobalShortcuts.BindShortcuts " + " ".join(
            "%s=%s" % (i, o.get("preferred_trigger", "")) for i, o in shortcuts))
        if self.answer("BindShortcuts"):
            return dbus.UInt32(1), EMPTY
        bound = dbus.Array([dbus.Struct((i, dbus.Dictionary({
            "description": o.get("description", ""),
            "trigger_description": o.get("preferred_trigger", "")}, signature="sv")))
            for i, o in shortcuts], signature="(sa{sv})")
        self.shortcuts[str(session_handle)] = bound
        return dbus.UInt32(0), dbus.Dictionary({"shortcuts": bound}, signature="sv")

    @dbus.service.method(GS, in_signature="oo", out_signature="ua{sv}")
    def ListShortcuts(self, handle, session_handle):
        return dbus.UInt32(0), dbus.Dictionary({"shortcuts": self.shortcuts.get(
            str(session_handle), dbus.Array([], signature="(sa{sv})"))}, signature="sv")

    @dbus.service.signal(GS, signature="osta{sv}")
    def Activated(self, session_handle, shortcut_id, timestamp, options):
        pass

    @dbus.service.signal(GS, signature="osta{sv}")
    def Deactivated(self, session_handle, shortcut_id, timestamp, options):
        pass

    def emit(self, signal, shortcut_id):
        n = 0
        for sh in list(self.sessions):
            if sh in self.shortcuts:
                signal(dbus.ObjectPath(sh), shortcut_id, dbus.UInt64(int(time.monotonic() * 1000)), EMPTY)
                n += 1
        return dbus.UInt32(n)

    @dbus.service.method("org.ovra.PortalTest", in_signature="s", out_signature="u")
    def Press(self, shortcut_id):
        return self.emit(self.Activated, shortcut_id)

    @dbus.service.method("org.ovra.PortalTest", in_signature="s", out_signature="u")
    def Release(self, shortcut_id):
        return self.emit(self.Deactivated, shortcut_id)

    @dbus.service.method("org.ovra.PortalTest", in_signature="", out_signature="u")
    def CloseSessions(self):
        # The desktop ends every session, as when the user revokes the grant.
        closed = list(self.sessions.values())
        self.sessions.clear()
        for session in closed:
            session.Closed()
            session.remove_from_connection()
        return dbus.UInt32(len(closed))

    @dbus.service.method("org.ovra.PortalTest", in_signature="s", out_signature="")
    def RefuseNext(self, method):
        self.refuse.add(method)

    @dbus.service.method("org.ovra.PortalTest", in_signature="", out_signature="as")
    def Calls(self):
        return dbus.Array(self.calls, signature="s")

    @dbus.service.method("org.ovra.PortalTest", in_signature="", out_signature="as")
    def Keysyms(self):
        return dbus.Array(["%x:%d" % k for k in self.keysyms], signature="s")


# dbus-python finds methods by Python name per class: the second CreateSession lives here.
class Backend(ShortcutsBackend):
    @dbus.service.method(RD, in_signature="oosa{sv}", out_signature="ua{sv}")
    def CreateSession(self, handle, session_handle, app_id, options):
        self.record("RemoteDesktop.CreateSession")
        self.sessions[str(session_handle)] = Session(self.bus, session_handle, self)
        return dbus.UInt32(0), EMPTY

    @dbus.service.method(RD, in_signature="oosa{sv}", out_signature="ua{sv}")
    def SelectDevices(self, handle, session_handle, app_id, options):
        self.record("RemoteDesktop.SelectDevices " + " ".join(
            "%s=%s" % (k, v) for k, v in sorted((str(k), str(v)) for k, v in options.items())))
        return dbus.UInt32(0), EMPTY

    @dbus.service.method(RD, in_signature="oossa{sv}", out_signature="ua{sv}")
    def Start(self, handle, session_handle, app_id, parent_window, options):
        self.record("RemoteDesktop.Start")
        if self.answer("Start"):
            return dbus.UInt32(1), EMPTY
        # Handed to the application as a newer frontend does once it kept the grant.
        self.tokens += 1
        return dbus.UInt32(0), dbus.Dictionary({
            "devices": dbus.UInt32(1),
            "restore_token": "0c0ffee0-0000-4000-8000-%012d" % self.tokens}, signature="sv")

    @dbus.service.method(RD, in_signature="oa{sv}iu", out_signature="")
    def NotifyKeyboardKeysym(self, session_handle, options, keysym, state):
        self.keysyms.append((int(keysym), int(state)))

    @dbus.service.method(RD, in_signature="oa{sv}iu", out_signature="")
    def NotifyKeyboardKeycode(self, session_handle, options, keycode, state):
        self.record("RemoteDesktop.NotifyKeyboardKeycode %d %d" % (keycode, state))


def watch_clients(bus, backend):
    # 1.16's frontend keeps the restore options of SelectDevices to itself: read what the
    # application sent from the bus (the test's bus lets anyone eavesdrop).
    bus.add_match_string("eavesdrop=true,type='method_call',interface='org.freedesktop.portal.RemoteDesktop',"
                         "member='SelectDevices'")

    def on_message(_bus, message):
        if message.get_interface() == "org.freedesktop.portal.RemoteDesktop" and \
                message.get_member() == "SelectDevices" and message.get_destination() != bus.get_unique_name():
            options = message.get_args_list()[-1]
            backend.record("client RemoteDesktop.SelectDevices " + " ".join(
                "%s=%s" % (k, v) for k, v in sorted((str(k), str(v)) for k, v in options.items()
                                                   if str(k) != "handle_token")))
            # Someone else's call: our objects must not answer it.
            return dbus.lowlevel.HANDLER_RESULT_HANDLED
        return dbus.lowlevel.HANDLER_RESULT_NOT_YET_HANDLED
    bus.add_message_filter(on_message)


DBusGMainLoop(set_as_default=True)
bus = dbus.SessionBus()
backend = Backend(bus)
watch_clients(bus, backend)
name = dbus.service.BusName(BUS_NAME, bus, do_not_queue=True)
log("owns", BUS_NAME)
GLib.MainLoop().run()
