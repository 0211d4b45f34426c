#!/usr/bin/python3
"""Draws the window's pictures into src/ui/resources/img.

Run with Debian's Python (python3-pil): /usr/bin/python3 scripts/draw-pictures.py
Every picture is drawn here from shapes and the DejaVu fonts; the output is
committed so that a build needs no Python. Shapes are drawn at four times the
size and scaled down, which gives smooth edges; every picture that is not
stretched also gets a NAME@2x.png at twice the size, for high-density screens.
"""
import math
import os
import sys

from PIL import Image, ImageDraw, ImageFilter, ImageFont

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "..", "src", "ui", "resources", "img")
FONT_BOLD = "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf"

ACCENT = (0, 187, 188)
ACCENT_DARK = (0, 120, 128)
SS = 4  # supersampling factor


def canvas(w, h, fill=(0, 0, 0, 0)):
    return Image.new("RGBA", (w * SS, h * SS), fill)


def finish(img, name):
    w, h = img.size[0] // SS, img.size[1] // SS
    img.resize((w, h), Image.LANCZOS).save(os.path.join(OUT, name), optimize=True)
    root, ext = os.path.splitext(name)
    img.resize((2 * w, 2 * h), Image.LANCZOS).save(os.path.join(OUT, root + "@2x" + ext), optimize=True)


def s(v):
    return int(round(v * SS))


def ring_mark(draw, cx, cy, r, colour, screen):
    """The product's mark: a round display in its bezel, a spark on the screen."""
    draw.ellipse([s(cx - r), s(cy - r), s(cx + r), s(cy + r)], fill=colour)
    inner = r * 0.72
    draw.ellipse([s(cx - inner), s(cy - inner), s(cx + inner), s(cy + inner)], fill=screen)
    dot = r * 0.22
    draw.ellipse([s(cx + inner * 0.15 - dot), s(cy - inner * 0.35 - dot),
                  s(cx + inner * 0.15 + dot), s(cy - inner * 0.35 + dot)], fill=colour)


def wordmark(name, w, h, text_colour, mark_colour, screen_colour, size):
    img = canvas(w, h)
    d = ImageDraw.Draw(img)
    r = h * 0.36
    ring_mark(d, r + 2, h / 2, r, mark_colour, screen_colour)
    font = ImageFont.truetype(FONT_BOLD, s(size))
    text = "TAMO"
    box = d.textbbox((0, 0), text, font=font)
    tx = s(2 * r + 2 + h * 0.18)
    ty = s(h / 2) - (box[1] + box[3]) // 2
    # Letter spacing: draw the letters one by one.
    for ch in text:
        d.text((tx, ty), ch, font=font, fill=text_colour)
        tx += d.textlength(ch, font=font) + s(size * 0.08)
    finish(img, name)


def app_background():
    w, h = 800, 500
    img = Image.new("RGB", (w, h))
    top, bottom = (8, 38, 48), (0, 92, 98)
    px = img.load()
    for y in range(h):
        for x in range(w):
            t = (y / h) * 0.75 + (x / w) * 0.25
            px[x, y] = tuple(int(top[i] + (bottom[i] - top[i]) * t) for i in range(3))
    glow = Image.new("RGBA", (w, h), (0, 0, 0, 0))
    g = ImageDraw.Draw(glow)
    for cx, cy, r, a in ((640, 90, 260, 40), (120, 430, 220, 34), (420, 260, 120, 18)):
        g.ellipse([cx - r, cy - r, cx + r, cy + r], fill=ACCENT + (a,))
    glow = glow.filter(ImageFilter.GaussianBlur(60))
    img = Image.alpha_composite(img.convert("RGBA"), glow).convert("RGB")
    img.save(os.path.join(OUT, "app_background.png"), optimize=True)


def login_background():
    # A dark, see-through panel with a faint light edge at the top; stretched.
    w, h = 64, 64
    img = Image.new("RGBA", (w, h))
    px = img.load()
    for y in range(h):
        a = int(150 + 40 * (y / (h - 1)))
        for x in range(w):
            px[x, y] = (4, 24, 30, a)
    for x in range(w):
        px[x, 0] = (255, 255, 255, 60)
    img.save(os.path.join(OUT, "login_background.png"), optimize=True)


def eye(name, colour, open_eye):
    w = h = 30
    img = canvas(w, h)
    d = ImageDraw.Draw(img)
    cx, cy = w / 2, h / 2
    # Almond outline from two arcs.
    pts_top, pts_bottom = [], []
    for i in range(41):
        t = -1 + 2 * i / 40
        x = cx + t * 11
        dy = 7 * (1 - t * t)
        pts_top.append((s(x), s(cy - dy)))
        pts_bottom.append((s(x), s(cy + dy)))
    d.line(pts_top, fill=colour, width=s(2), joint="curve")
    d.line(pts_bottom, fill=colour, width=s(2), joint="curve")
    d.ellipse([s(cx - 4), s(cy - 4), s(cx + 4), s(cy + 4)], fill=colour)
    if not open_eye:
        d.line([(s(cx - 10), s(cy + 9)), (s(cx + 10), s(cy - 9))], fill=colour, width=s(2))
    finish(img, name)


def critical():
    w = h = 48
    img = canvas(w, h)
    d = ImageDraw.Draw(img)
    d.ellipse([s(2), s(2), s(46), s(46)], fill=(208, 2, 27))
    d.ellipse([s(5), s(5), s(43), s(43)], outline=(255, 255, 255, 70), width=s(1))
    k = 9
    for a, b in (((24 - k, 24 - k), (24 + k, 24 + k)), ((24 - k, 24 + k), (24 + k, 24 - k))):
        d.line([(s(a[0]), s(a[1])), (s(b[0]), s(b[1]))], fill="white", width=s(4.5))
    finish(img, "critical_msg.png")


def default_device():
    # A round display on a short strap, seen from the front.
    w = h = 64
    base = canvas(w, h)
    d = ImageDraw.Draw(base)
    d.rounded_rectangle([s(22), s(0), s(42), s(64)], radius=s(6), fill=(70, 74, 80))
    for y in (5, 10, 54, 59):
        d.line([(s(25), s(y)), (s(39), s(y))], fill=(95, 100, 108), width=s(1))
    d.ellipse([s(8), s(8), s(56), s(56)], fill=(38, 40, 44))
    d.ellipse([s(10), s(10), s(54), s(54)], fill=(60, 63, 68))

    # The screen shows a picture: a sun over two hills on a sky gradient.
    cx = cy = s(32)
    r = s(19)
    screen = canvas(w, h)
    sd = ImageDraw.Draw(screen)
    for y in range(cy - r, cy + r + 1):
        t = (y - (cy - r)) / (2 * r)
        sd.line([(cx - r, y), (cx + r, y)], fill=(int(30 * t), int(200 - 90 * t), int(205 - 80 * t), 255))
    sd.ellipse([s(35), s(21), s(41), s(27)], fill=(255, 230, 140))
    sd.polygon([(s(15), s(44)), (s(26), s(31)), (s(36), s(44))], fill=(240, 250, 250))
    sd.polygon([(s(27), s(46)), (s(38), s(34)), (s(49), s(46))], fill=(190, 232, 232))
    sd.pieslice([cx - r, cy - r, cx + r, cy + r], 200, 290, fill=(255, 255, 255, 40))
    mask = Image.new("L", base.size, 0)
    ImageDraw.Draw(mask).ellipse([cx - r, cy - r, cx + r, cy + r], fill=255)
    base.paste(screen, (0, 0), mask)
    finish(base, "default_device_logo.png")


def main():
    os.makedirs(OUT, exist_ok=True)
    wordmark("TAMO-logo.png", 260, 80, (255, 255, 255), ACCENT, (8, 38, 48), 46)
    wordmark("TAMO-logo-small.png", 120, 36, (58, 58, 58), ACCENT, (255, 255, 255), 20)
    app_background()
    login_background()
    eye("Eye-Icon.png", (200, 210, 214), False)
    eye("Eye-Icon-active.png", ACCENT, True)
    critical()
    default_device()
    print("pictures written to", os.path.normpath(OUT), file=sys.stderr)


if __name__ == "__main__":
    main()
