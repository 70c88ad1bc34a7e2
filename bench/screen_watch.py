"""Prints, as they happen, the windows X maps below WINDOW ("map MS XID X Y W H") and every
part of the screen drawn ("drawn MS X Y W H"), in root coordinates. MS is CLOCK_MONOTONIC_RAW in
milliseconds, the clock of Wine's QueryPerformanceCounter, so a Wine program's times compare.
Usage: python3 screen_watch.py WINDOW   (an X window id, e.g. Wine's desktop)"""
import ctypes
import sys
import time

x11 = ctypes.CDLL("libX11.so.6")
damage = ctypes.CDLL("libXdamage.so.1")
VOID, ULONG, INT = ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int
x11.XOpenDisplay.restype = VOID
x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
x11.XDefaultRootWindow.restype = ULONG
x11.XDefaultRootWindow.argtypes = [VOID]
x11.XSelectInput.argtypes = [VOID, ULONG, ctypes.c_long]
x11.XFlush.argtypes = [VOID]
x11.XNextEvent.argtypes = [VOID, VOID]
x11.XGetGeometry.argtypes = [VOID, ULONG] + [VOID] * 7
x11.XTranslateCoordinates.argtypes = [VOID, ULONG, ULONG, INT, INT, VOID, VOID, VOID]
damage.XDamageQueryExtension.argtypes = [VOID, VOID, VOID]
damage.XDamageCreate.restype = ULONG
damage.XDamageCreate.argtypes = [VOID, ULONG, INT]

MAP_NOTIFY = 19
SUBSTRUCTURE_NOTIFY_MASK = 1 << 19
DAMAGE_REPORT_RAW_RECTANGLES = 0


class Rectangle(ctypes.Structure):
    _fields_ = [("x", ctypes.c_short), ("y", ctypes.c_short),
                ("width", ctypes.c_ushort), ("height", ctypes.c_ushort)]


class MapEvent(ctypes.Structure):
    _fields_ = [("type", INT), ("serial", ULONG), ("send_event", INT), ("display", VOID),
                ("event", ULONG), ("window", ULONG), ("override_redirect", INT)]


class DamageEvent(ctypes.Structure):
    _fields_ = [("type", INT), ("serial", ULONG), ("send_event", INT), ("display", VOID),
                ("drawable", ULONG), ("damage", ULONG), ("level", INT), ("more", INT),
                ("timestamp", ULONG), ("area", Rectangle), ("geometry", Rectangle)]


def main():
    display = x11.XOpenDisplay(None)
    root = x11.XDefaultRootWindow(display)
    event_base, error_base = INT(), INT()
    if not damage.XDamageQueryExtension(display, ctypes.byref(event_base), ctypes.byref(error_base)):
        sys.exit("the X server has no DAMAGE extension")
    # Damage to the root window is any drawing on the screen (no compositor under Xvfb).
    damage.XDamageCreate(display, root, DAMAGE_REPORT_RAW_RECTANGLES)
    x11.XSelectInput(display, int(sys.argv[1], 16), SUBSTRUCTURE_NOTIFY_MASK)
    x11.XFlush(display)
    event = (ctypes.c_long * 24)()
    while True:
        x11.XNextEvent(display, event)
        now = time.clock_gettime(time.CLOCK_MONOTONIC_RAW) * 1000
        kind = ctypes.cast(event, ctypes.POINTER(INT)).contents.value
        if kind == event_base.value:
            area = ctypes.cast(event, ctypes.POINTER(DamageEvent)).contents.area
            print(f"drawn {now:.1f} {area.x} {area.y} {area.width} {area.height}", flush=True)
        elif kind == MAP_NOTIFY:
            window = ctypes.cast(event, ctypes.POINTER(MapEvent)).contents.window
            at = [INT() for _ in range(2)]
            size = [ctypes.c_uint() for _ in range(4)]
            child, parent = ULONG(), ULONG()
            x11.XGetGeometry(display, window, ctypes.byref(parent), ctypes.byref(INT()),
                             ctypes.byref(INT()), *[ctypes.byref(v) for v in size])
            x11.XTranslateCoordinates(display, window, root, 0, 0, ctypes.byref(at[0]),
                                      ctypes.byref(at[1]), ctypes.byref(child))
            print(f"map {now:.1f} {window:#x} {at[0].value} {at[1].value} {size[0].value} "
                  f"{size[1].value}", flush=True)


if __name__ == "__main__":
    main()
