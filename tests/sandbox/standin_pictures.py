"""Deterministic, decodable pictures (PNG, baseline JPEG, GIF) made with the standard library.

Each picture is a solid colour derived from a hash of its label and carries that label as a
comment, so a test can tell which size segment and name a downloaded file came from.
"""

import functools
import hashlib
import struct
import subprocess
import zlib

# Width and height per size segment; small so that many pictures stay cheap.
SEGMENT_SIZES = {
    "large": (120, 90),
    "mw1024": (96, 72),
    "mw690": (64, 48),
    "small": (32, 24),
    "thumb150": (48, 48),
    "thumb300": (48, 48),
    "square": (48, 48),
    "qrcode": (180, 180),
}
DEFAULT_SIZE = (40, 40)


def size_for_segment(segment):
    return SEGMENT_SIZES.get(segment, DEFAULT_SIZE)


def colour_for(label):
    digest = hashlib.sha256(label.encode("utf-8")).digest()
    return digest[0], digest[1], digest[2]


def kind_for_name(name):
    lower = name.lower()
    if lower.endswith(".png"):
        return "png"
    if lower.endswith(".gif"):
        return "gif"
    return "jpeg"


def picture(segment, name):
    """The bytes an image host answers for /<segment>/<name>."""
    label = segment + "/" + name
    width, height = size_for_segment(segment)
    kind = kind_for_name(name)
    if kind == "png" and segment == "qrcode":
        return make_png_rows(qr_rows(name[:-len(".png")], width), label)
    if kind == "png":
        return make_png(width, height, colour_for(label), label)
    if kind == "gif":
        if name.lower().startswith("anim"):
            second = colour_for(label + "#2")
            return make_gif(width, height, [colour_for(label), second], [0, 10], label)
        return make_gif(width, height, [colour_for(label)], None, label)
    return make_jpeg(width, height, colour_for(label), label)


# ---------------------------------------------------------------------------------------------
# PNG


def _png_chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)


def make_png(width, height, rgb, comment):
    return make_png_rows([bytes(rgb) * width] * height, comment)


# What a phone reads from the stand-in's QR codes: the service's scan page for that code.
QR_SCAN_ADDRESS = "https://passport.weibo.cn/signin/qrcode/scan?qr="


def qr_rows(qrid, size):
    """Rows of RGB pixels of a real QR code (Debian's qrencode) of the scan address of qrid."""
    try:
        text = subprocess.run(["qrencode", "-t", "ASCII", "-m", "0", "-l", "M",
                               QR_SCAN_ADDRESS + qrid], check=True, capture_output=True,
                              text=True).stdout
    except (OSError, subprocess.CalledProcessError) as e:
        raise RuntimeError("qrencode failed (scripts/bootstrap installs it): %s" % e) from None
    lines = text.rstrip("\n").split("\n")
    modules = len(lines)
    dark = [[line[2 * x:2 * x + 1] == "#" for x in range(modules)] for line in lines]
    scale = size // (modules + 8)  # a quiet zone of four modules on every side, at least
    margin = (size - modules * scale) // 2
    white, black = b"\xff\xff\xff", b"\x00\x00\x00"
    rows = []
    for py in range(size):
        y = (py - margin) // scale if py >= margin else -1
        row = bytearray()
        for px in range(size):
            x = (px - margin) // scale if px >= margin else -1
            inside = 0 <= x < modules and 0 <= y < modules
            row += black if inside and dark[y][x] else white
        rows.append(bytes(row))
    return rows


def make_png_rows(rows, comment):
    width, height = len(rows[0]) // 3, len(rows)
    raw = b"".join(b"\x00" + r for r in rows)
    header = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)
    text = b"Comment\x00" + comment.encode("latin-1", "replace")
    return (
        b"\x89PNG\r\n\x1a\n"
        + _png_chunk(b"IHDR", header)
        + _png_chunk(b"tEXt", text)
        + _png_chunk(b"IDAT", zlib.compress(raw, 9))
        + _png_chunk(b"IEND", b"")
    )


# ---------------------------------------------------------------------------------------------
# Baseline JPEG of one solid colour: 3 components, no subsampling, a quantisation table of ones,
# so every 8x8 block is its DC value alone. The DC table gives categories 0..11 four-bit codes;
# the AC table holds only end-of-block.

_DC_BITS = bytes([0, 0, 0, 12] + [0] * 12)
_DC_VALS = bytes(range(12))
_AC_BITS = bytes([1] + [0] * 15)
_AC_VALS = bytes([0x00])


def _segment(marker, payload):
    return bytes([0xFF, marker]) + struct.pack(">H", len(payload) + 2) + payload


def _dc_bits(diff):
    """Bits of one block: the DC difference (category code, then its value bits) and end-of-block."""
    category = abs(diff).bit_length()
    bits = format(category, "04b")  # code of category c is c itself, four bits long
    if category:
        value = diff if diff > 0 else diff + (1 << category) - 1
        bits += format(value, "0%db" % category)
    return bits + "0"


def _pack_scan(bits):
    """Pads the bit string with ones to whole bytes and stuffs a zero after every 0xFF."""
    bits += "1" * (-len(bits) % 8)
    raw = int(bits, 2).to_bytes(len(bits) // 8, "big") if bits else b""
    return raw.replace(b"\xff", b"\xff\x00")


def make_jpeg(width, height, rgb, comment):
    r, g, b = rgb
    y = 0.299 * r + 0.587 * g + 0.114 * b
    cb = 128 - 0.168736 * r - 0.331264 * g + 0.5 * b
    cr = 128 + 0.5 * r - 0.418688 * g - 0.081312 * b
    dcs = [int(round(8 * (min(255.0, max(0.0, v)) - 128))) for v in (y, cb, cr)]
    blocks = ((width + 7) // 8) * ((height + 7) // 8)
    # A solid picture: only the first block differs from its predecessor; the rest repeat.
    first = "".join(_dc_bits(dc) for dc in dcs)
    scan = _pack_scan(first + _dc_bits(0) * 3 * (blocks - 1))

    jfif = b"JFIF\x00\x01\x01\x00\x00\x01\x00\x01\x00\x00"
    dqt = b"\x00" + bytes([1] * 64)
    sof = struct.pack(">BHHB", 8, height, width, 3) + b"\x01\x11\x00\x02\x11\x00\x03\x11\x00"
    dht = b"\x00" + _DC_BITS + _DC_VALS + b"\x10" + _AC_BITS + _AC_VALS
    sos = b"\x03\x01\x00\x02\x00\x03\x00\x00\x3f\x00"
    return (
        b"\xff\xd8"
        + _segment(0xE0, jfif)
        + _segment(0xFE, comment.encode("latin-1", "replace"))
        + _segment(0xDB, dqt)
        + _segment(0xC0, sof)
        + _segment(0xC4, dht)
        + _segment(0xDA, sos)
        + scan
        + b"\xff\xd9"
    )


# ---------------------------------------------------------------------------------------------
# GIF89a with a four-colour global table; one frame per colour.


def _lzw(indices, min_code_size):
    clear = 1 << min_code_size
    end = clear + 1
    table = {bytes([i]): i for i in range(clear)}
    next_code = end + 1
    width = min_code_size + 1
    acc = 0
    nbits = 0
    out = bytearray()

    def emit(code):
        nonlocal acc, nbits
        acc |= code << nbits
        nbits += width
        while nbits >= 8:
            out.append(acc & 0xFF)
            acc >>= 8
            nbits -= 8

    emit(clear)
    current = b""
    for index in indices:
        candidate = current + bytes([index])
        if candidate in table:
            current = candidate
            continue
        emit(table[current])
        if next_code < 4096:
            table[candidate] = next_code
            next_code += 1
            if next_code > (1 << width) and width < 12:
                width += 1
        else:
            emit(clear)
            table = {bytes([i]): i for i in range(clear)}
            next_code = end + 1
            width = min_code_size + 1
        current = bytes([index])
    if current:
        emit(table[current])
    emit(end)
    if nbits:
        out.append(acc & 0xFF)
    return bytes(out)


def _sub_blocks(data):
    out = bytearray()
    for i in range(0, len(data), 255):
        part = data[i : i + 255]
        out.append(len(part))
        out += part
    out.append(0)
    return bytes(out)


@functools.lru_cache(maxsize=256)
def _solid_frame(pixels, index):
    return _sub_blocks(_lzw([index] * pixels, 2))


def make_gif(width, height, colours, delays, comment):
    palette = list(colours)[:4]
    while len(palette) < 4:
        palette.append((0, 0, 0))
    out = bytearray(b"GIF89a")
    out += struct.pack("<HHBBB", width, height, 0x80 | 0x01, 0, 0)  # 4-entry global table
    for c in palette:
        out += bytes(c)
    if delays is not None:
        out += b"\x21\xff\x0bNETSCAPE2.0\x03\x01\x00\x00\x00"
    out += b"\x21\xfe" + _sub_blocks(comment.encode("latin-1", "replace"))
    for frame, _ in enumerate(colours[:4]):
        if delays is not None:
            out += b"\x21\xf9\x04\x00" + struct.pack("<H", delays[frame]) + b"\x00\x00"
        out += b"\x2c" + struct.pack("<HHHHB", 0, 0, width, height, 0)
        out += b"\x02" + _solid_frame(width * height, frame)
    out += b"\x3b"
    return bytes(out)
