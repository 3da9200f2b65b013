#!/usr/bin/env python3
"""Clicks the left mouse button at X Y on the X display through the XTEST extension."""
import ctypes
import sys
import time

x11, xtst = ctypes.CDLL("libX11.so.6"), ctypes.CDLL("libXtst.so.6")
x11.XOpenDisplay.restype = ctypes.c_void_p
display = ctypes.c_void_p(x11.XOpenDisplay(None))
if not display:
    sys.exit("x-click: cannot open the display")
xtst.XTestFakeMotionEvent(display, -1, int(sys.argv[1]), int(sys.argv[2]), 0)
x11.XFlush(display)
time.sleep(0.2)
for press in (1, 0):
    xtst.XTestFakeButtonEvent(display, 1, press, 0)
    x11.XFlush(display)
    time.sleep(0.1)
x11.XCloseDisplay(display)
