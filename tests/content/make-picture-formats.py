#!/usr/bin/python3
"""Draws the picture-format table of the image-processor tests into a folder.

Usage: /usr/bin/python3 make-picture-formats.py OUTPUT_DIR

Each picture is written in one format variant (16-bit, grey-scale, palette,
interlaced, CMYK, progressive, WebP, TIFF, transparency, GIF disposal ...)
next to NAME.ref.png (NAME.ref.N.png for each frame of an animation): the same
pixels as a plain 8-bit RGB PNG, composited over black where the variant is
transparent, upright where it carries an orientation. Needs Debian's
python3-pil; PNGs and GIFs whose layout matters (16-bit, Adam7 interlacing,
frame disposal) are written here byte by byte, as no library writes them so.
"""
import os
import struct
import sys
import zlib

from PIL import Image, ImageDraw, ImageFont


def scene(width, height):
    """Something like a photograph: a gradient, shapes, lines and text, no symmetry."""
    image = Image.new("RGB", (width, height))
    draw = ImageDraw.Draw(image)
    for y in range(height):
        t = y / max(1, height - 1)
        draw.line([(0, y), (width, y)], fill=(int(250 - 200 * t), int(150 - 120 * t), int(60 + 40 * t)))
    for i in range(9):
        x = width * (i + 1) / 10
        y = height * (0.25 + 0.06 * (i % 5))
        r = min(width, height) / 12
        draw.ellipse([x - r, y - r, x + r, y + r], fill=((i * 70) % 256, 160, (255 - i * 25) % 256),
                     outline=(255, 255, 255), width=2)
    for x in range(0, width, 9):
        draw.line([(x, height * 2 // 3), (x + height // 3, height)], fill=(20, 90, 40), width=2)
    draw.rectangle([width // 10, height // 12, width // 3, height // 6], fill=(255, 255, 255))
    draw.text((width // 2, height // 2), "TAMO formats", fill=(255, 255, 255), font=ImageFont.load_default())
    return image


def over_black(image):
    rgba = image.convert("RGBA")
    return Image.alpha_composite(Image.new("RGBA", rgba.size, (0, 0, 0, 255)), rgba).convert("RGB")


def png_chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)


ADAM7 = [(0, 0, 8, 8), (4, 0, 8, 8), (0, 4, 4, 8), (2, 0, 4, 4), (0, 2, 2, 4), (1, 0, 2, 2), (0, 1, 1, 2)]


def write_png(path, size, pixel, colour_type, depth, interlaced=False):
    """pixel(x, y) -> the samples of one pixel (ints of the given bit depth)."""
    width, height = size
    fmt = ">%dH" if depth == 16 else "%dB"

    def rows(xs, ys):
        data = bytearray()
        for y in ys:
            samples = [s for x in xs for s in pixel(x, y)]
            data += b"\0" + struct.pack(fmt % len(samples), *samples)
        return data

    if interlaced:
        raw = bytearray()
        for x0, y0, dx, dy in ADAM7:
            xs, ys = range(x0, width, dx), range(y0, height, dy)
            if len(xs) and len(ys):
                raw += rows(xs, ys)
    else:
        raw = rows(range(width), range(height))
    header = struct.pack(">IIBBBBB", width, height, depth, colour_type, 0, 0, 1 if interlaced else 0)
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + png_chunk(b"IHDR", header) + png_chunk(b"IDAT", zlib.compress(bytes(raw)))
                + png_chunk(b"IEND", b""))


# The GIF palette: index 0 (black) is the screen's background.
PALETTE = [(0, 0, 0), (255, 255, 255), (220, 30, 40), (30, 180, 60), (40, 80, 230), (250, 220, 40),
           (200, 60, 200), (40, 200, 210)]
BLACK, WHITE, RED, GREEN, BLUE, YELLOW, MAGENTA, CYAN = range(8)


def lzw_uncompressed(indices):
    """LZW data a decoder reads back as the indices: 9-bit literals, a clear code
    often enough that the code width never grows."""
    clear, end = 256, 257
    codes = []
    for start in range(0, len(indices), 200):
        codes.append(clear)
        codes.extend(indices[start:start + 200])
    codes.append(end)
    bits = 0
    count = 0
    out = bytearray()
    for code in codes:
        bits |= code << count
        count += 9
        while count >= 8:
            out.append(bits & 0xFF)
            bits >>= 8
            count -= 8
    if count:
        out.append(bits & 0xFF)
    blocks = bytearray([8])  # minimum code size
    for start in range(0, len(out), 255):
        chunk = out[start:start + 255]
        blocks += bytes([len(chunk)]) + chunk
    return bytes(blocks + b"\0")


def write_gif(path, screen, frames):
    """frames: dicts of rect (x, y, w, h), index(x, y) relative to the rect,
    delay (hundredths), disposal, transparent (index or None), interlaced."""
    palette = PALETTE + [(0, 0, 0)] * (256 - len(PALETTE))
    data = bytearray(b"GIF89a" + struct.pack("<HHBBB", screen[0], screen[1], 0xF7, BLACK, 0))
    for colour in palette:
        data += bytes(colour)
    for frame in frames:
        x, y, w, h = frame["rect"]
        transparent = frame.get("transparent")
        flags = (frame.get("disposal", 0) << 2) | (1 if transparent is not None else 0)
        data += struct.pack("<BBBBHBB", 0x21, 0xF9, 4, flags, frame["delay"], transparent or 0, 0)
        interlaced = frame.get("interlaced", False)
        data += struct.pack("<BHHHHB", 0x2C, x, y, w, h, 0x40 if interlaced else 0)
        order = list(range(h))
        if interlaced:
            order = list(range(0, h, 8)) + list(range(4, h, 8)) + list(range(2, h, 4)) + list(range(1, h, 2))
        data += lzw_uncompressed([frame["index"](col, row) for row in order for col in range(w)])
    data += b";"
    with open(path, "wb") as f:
        f.write(bytes(data))


def gif_picture(size, layers, base=None):
    """The expected screen: optionally a base picture, then filled rectangles (rect, index)."""
    image = base.copy() if base else Image.new("RGB", size, PALETTE[BLACK])
    draw = ImageDraw.Draw(image)
    for (x, y, w, h), index in layers:
        draw.rectangle([x, y, x + w - 1, y + h - 1], fill=PALETTE[index])
    return image


def main(out):
    os.makedirs(out, exist_ok=True)
    at = lambda name: os.path.join(out, name)
    photo = scene(480, 360)
    large = scene(1600, 1200)
    pixels = photo.load()

    # PNG variants.
    write_png(at("png-16-bit.png"), photo.size,
              lambda x, y: [min(65535, v * 257 + (x + y) % 97) for v in pixels[x, y]], 2, 16)
    photo.save(at("png-16-bit.ref.png"))
    grey = photo.convert("L")
    grey_pixels = grey.load()
    write_png(at("png-16-bit-grey.png"), grey.size, lambda x, y: [grey_pixels[x, y] * 257], 0, 16)
    grey.convert("RGB").save(at("png-16-bit-grey.ref.png"))
    grey.save(at("png-grey.png"))
    grey.convert("RGB").save(at("png-grey.ref.png"))
    palette = photo.quantize(64)
    palette.save(at("png-palette.png"))
    palette.convert("RGB").save(at("png-palette.ref.png"))
    write_png(at("png-interlaced.png"), photo.size, lambda x, y: list(pixels[x, y]), 2, 8, interlaced=True)
    photo.save(at("png-interlaced.ref.png"))

    # Transparency, stored over colours that must not show. The short side is
    # the display's: no scaling step mixes the colours with their alpha.
    rgba = scene(600, 400).convert("RGBA")
    draw = ImageDraw.Draw(rgba)
    draw.rectangle([0, 0, 599, 89], fill=(255, 255, 255, 0))        # transparent white
    draw.rectangle([0, 90, 599, 149], fill=(200, 200, 200, 0))      # transparent grey
    draw.rectangle([0, 150, 299, 209], fill=(255, 255, 255, 128))   # half-transparent white
    draw.ellipse([350, 160, 510, 320], fill=(0, 255, 0, 64))        # faint green
    rgba.save(at("png-alpha.png"))
    over_black(rgba).save(at("png-alpha.ref.png"))
    grey_alpha = rgba.convert("LA")
    grey_alpha.save(at("png-grey-alpha.png"))
    over_black(grey_alpha).save(at("png-grey-alpha.ref.png"))
    keyed = rgba.convert("RGB").quantize(63)
    keyed.putpalette(keyed.getpalette()[:189] + [255, 255, 255])    # index 63: white
    ImageDraw.Draw(keyed).rectangle([40, 40, 440, 120], fill=63)
    keyed.info["transparency"] = 63
    keyed.save(at("png-palette-transparent.png"))
    over_black(keyed.convert("RGBA")).save(at("png-palette-transparent.ref.png"))

    # JPEG variants; the reference is what was compressed.
    photo.convert("CMYK").save(at("jpeg-cmyk.jpg"), quality=95)
    photo.save(at("jpeg-cmyk.ref.png"))
    photo.save(at("jpeg-progressive.jpg"), quality=90, progressive=True)
    photo.save(at("jpeg-progressive.ref.png"))
    large.save(at("jpeg-progressive-large.jpg"), quality=90, progressive=True)
    large.save(at("jpeg-progressive-large.ref.png"))
    large.convert("CMYK").save(at("jpeg-cmyk-large.jpg"), quality=95)
    large.save(at("jpeg-cmyk-large.ref.png"))
    grey.save(at("jpeg-grey.jpg"), quality=90)
    grey.convert("RGB").save(at("jpeg-grey.ref.png"))

    # Through the image-format plugins.
    photo.save(at("webp-lossy.webp"), quality=90)
    photo.save(at("webp-lossy.ref.png"))
    photo.save(at("webp-lossless.webp"), lossless=True)
    photo.save(at("webp-lossless.ref.png"))
    rgba.save(at("webp-alpha.webp"), lossless=True)
    over_black(rgba).save(at("webp-alpha.ref.png"))
    photo.save(at("tiff.tiff"), compression="tiff_deflate")
    photo.save(at("tiff.ref.png"))
    # Orientation 8: shown turned a quarter counter-clockwise, so stored a quarter clockwise.
    photo.transpose(Image.Transpose.ROTATE_270).save(at("tiff-orientation-8.tiff"), tiffinfo={274: 8})
    photo.save(at("tiff-orientation-8.ref.png"))

    # GIFs, one frame each 200 ms so that every frame is kept.
    bands = lambda col, row: [RED, GREEN, BLUE, YELLOW, MAGENTA, CYAN, WHITE][(row // 3 + col // 40) % 7]
    write_gif(at("gif-interlaced.gif"), (160, 120),
              [{"rect": (0, 0, 160, 120), "index": bands, "delay": 20, "interlaced": True}])
    band_picture = Image.new("RGB", (160, 120))
    band_picture.putdata([PALETTE[bands(x, y)] for y in range(120) for x in range(160)])
    band_picture.save(at("gif-interlaced.ref.0.png"))

    # White is the transparent index: it must show black, not white.
    keyed_gif = lambda col, row: WHITE if 100 <= row < 200 else (GREEN if col < 240 else BLUE)
    write_gif(at("gif-transparent.gif"), (480, 400),
              [{"rect": (0, 0, 480, 400), "index": keyed_gif, "delay": 20, "transparent": WHITE}])
    gif_picture((480, 400), [((0, 0, 240, 400), GREEN), ((240, 0, 240, 400), BLUE),
                             ((0, 100, 480, 100), BLACK)]).save(at("gif-transparent.ref.0.png"))

    # Frame disposal: restore to background, restore to previous, keep; the
    # last frame has a transparent hole over what the earlier ones left.
    screen = (120, 120)
    square = lambda colour: (lambda col, row: colour)
    first = lambda col, row: WHITE if 20 <= col < 60 and 20 <= row < 60 else RED
    hole = lambda col, row: WHITE if 10 <= col < 20 and 10 <= row < 20 else YELLOW
    write_gif(at("gif-disposal.gif"), screen, [
        {"rect": (0, 0, 120, 120), "index": first, "delay": 20, "disposal": 2},
        {"rect": (60, 60, 40, 40), "index": square(BLUE), "delay": 20, "disposal": 3},
        {"rect": (10, 70, 30, 30), "index": square(GREEN), "delay": 20, "disposal": 1},
        {"rect": (70, 10, 30, 30), "index": hole, "delay": 20, "disposal": 1, "transparent": WHITE},
    ])
    gif_picture(screen, [((0, 0, 120, 120), RED), ((20, 20, 40, 40), WHITE)]).save(at("gif-disposal.ref.0.png"))
    gif_picture(screen, [((60, 60, 40, 40), BLUE)]).save(at("gif-disposal.ref.1.png"))
    gif_picture(screen, [((10, 70, 30, 30), GREEN)]).save(at("gif-disposal.ref.2.png"))
    gif_picture(screen, [((10, 70, 30, 30), GREEN), ((70, 10, 30, 30), YELLOW),
                         ((80, 20, 10, 10), BLACK)]).save(at("gif-disposal.ref.3.png"))


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    main(sys.argv[1])
