#!/usr/bin/env python3
"""Draws the shell's own pictures as PNG files (run from anywhere): the program icon (128), the
integrated-mode icon (985), the message images (2040 warning, 2041 information, 2042 error) and
the toolbar pictures, one per command id."""
import math
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from make_images import write_png  # noqa: E402


CLEAR = (0, 0, 0, 0)
WHITE = (255, 255, 255, 255)


def disc(colour, mark, size=32):
    """A filled disc with a white mark; mark(x, y) in unit coordinates -1..1."""
    def pixel(x, y):
        u = (x + 0.5) / size * 2 - 1
        v = (y + 0.5) / size * 2 - 1
        if u * u + v * v > 0.92:
            return CLEAR
        return WHITE if mark(u, v) else colour + (255,)
    return pixel


def triangle(colour, mark, size=32):
    def pixel(x, y):
        u = (x + 0.5) / size * 2 - 1
        v = (y + 0.5) / size * 2 - 1
        if v < -0.85 or v > 0.85 or abs(u) > (v + 0.85) / 1.7:
            return CLEAR
        return (20, 20, 20, 255) if mark(u, v) else colour + (255,)
    return pixel


def bang(u, v):
    return abs(u) < 0.1 and (-0.35 < v < 0.35 or 0.48 < v < 0.65)


def info(u, v):
    return abs(u) < 0.12 and (-0.15 < v < 0.6 or -0.55 < v < -0.33)


def cross(u, v):
    return (abs(u - v) < 0.16 or abs(u + v) < 0.16) and abs(u) < 0.5 and abs(v) < 0.5


def ring(u, v):
    r = math.hypot(u, v)
    return 0.35 < r < 0.55


def bar(u, v):
    return abs(v) < 0.14 and abs(u) < 0.55


def plus(u, v):
    return (abs(v) < 0.14 and abs(u) < 0.55) or (abs(u) < 0.14 and abs(v) < 0.55)


def wave(u, v):
    return abs(v - 0.4 * math.sin(u * 4)) < 0.12 and abs(u) < 0.7


def letter_t(u, v):
    return (abs(v + 0.45) < 0.12 and abs(u) < 0.5) or (abs(u) < 0.12 and -0.5 < v < 0.55)


def question(u, v):
    r = math.hypot(u, v + 0.2)
    return (0.22 < r < 0.4 and (v < -0.2 or u > 0)) or (abs(u) < 0.1 and (0.1 < v < 0.3 or 0.45 < v < 0.62))


def gear(u, v):
    a = math.atan2(v, u)
    r = math.hypot(u, v)
    return r < 0.5 + 0.12 * (math.cos(a * 8) > 0) and r > 0.2


BLUE = (30, 90, 180)
GREEN = (40, 150, 60)
RED = (190, 40, 40)
AMBER = (240, 180, 20)
GREY = (90, 90, 100)
TEAL = (20, 130, 140)

IMAGES = {
    "128-tunova.png": disc(TEAL, wave, 48),
    "985-integrated.png": disc(GREY, wave, 48),
    "2040-warning.png": triangle(AMBER, bang),
    "2041-information.png": disc(BLUE, info),
    "2042-error.png": disc(RED, cross),
    "32787-new-connection.png": disc(BLUE, plus, 16),
    "32790-drive-setup.png": disc(GREY, gear, 16),
    "32806-oscilloscope.png": disc(TEAL, wave, 16),
    "32807-tuning.png": disc(TEAL, letter_t, 16),
    "32804-drive-enable.png": disc(GREEN, ring, 16),
    "32844-drive-disable.png": disc(RED, bar, 16),
    "32786-show-errors.png": disc(AMBER, bang, 16),
    "32833-help.png": disc(BLUE, question, 16),
    "32870-xul-setup.png": disc(GREY, gear, 16),
    "32871-xul-enable.png": disc(GREEN, ring, 16),
    "32872-xul-disable.png": disc(RED, bar, 16),
    "32849-supply-setup.png": disc(GREY, gear, 16),
    "32788-compile.png": disc(GREEN, plus, 16),
    "32801-run-stop-plc.png": disc(GREEN, wave, 16),
}

for name, pixel in IMAGES.items():
    size = 48 if name.startswith(("128-", "985-")) else 16 if name[0] == "3" else 32
    write_png(name, size, size, pixel)
