#!/usr/bin/env python3
"""Tests of the stand-in's pictures: real PNG, JPEG and GIF files that decode to their labelled
colour, and QR pictures that look like QR codes."""

import os
import struct
import subprocess
import sys
import tempfile
import unittest
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)

import standin_pictures  # noqa: E402
from standin_case import png_chunks  # noqa: E402


def jpeg_segments(data):
    """Marker segments up to the scan, and the entropy-coded scan bytes."""
    assert data[:2] == b"\xff\xd8" and data[-2:] == b"\xff\xd9"
    pos = 2
    segments = []
    while True:
        assert data[pos] == 0xFF
        marker = data[pos + 1]
        (length,) = struct.unpack(">H", data[pos + 2:pos + 4])
        segments.append((marker, data[pos + 4:pos + 2 + length]))
        pos += 2 + length
        if marker == 0xDA:
            return segments, data[pos:-2]


def huffman_table(bits, values):
    """code (as bit string) -> symbol, built the canonical way."""
    table = {}
    code = 0
    k = 0
    for length in range(1, 17):
        for _ in range(bits[length - 1]):
            table[format(code, "0%db" % length)] = values[k]
            code += 1
            k += 1
        code <<= 1
    return table


def decode_dc_only_scan(scan, dc_table, ac_table, blocks, components):
    """DC values per component of every block, checking each block ends right after its DC."""
    data = bytearray()
    i = 0
    while i < len(scan):
        data.append(scan[i])
        if scan[i] == 0xFF:
            assert scan[i + 1] == 0x00, "unstuffed 0xFF in scan"
            i += 1
        i += 1
    bitstring = "".join(format(b, "08b") for b in data)
    pos = 0

    def symbol(table):
        nonlocal pos
        for length in range(1, 17):
            code = bitstring[pos:pos + length]
            if code in table:
                pos += length
                return table[code]
        raise AssertionError("no Huffman code at bit %d" % pos)

    dc = [0] * components
    values = []
    for _ in range(blocks):
        row = []
        for c in range(components):
            size = symbol(dc_table)
            bits = bitstring[pos:pos + size]
            pos += size
            diff = 0
            if size:
                diff = int(bits, 2)
                if bits[0] == "0":
                    diff -= (1 << size) - 1
            dc[c] += diff
            row.append(dc[c])
            assert symbol(ac_table) == 0x00, "a block has AC coefficients"
        values.append(row)
    assert set(bitstring[pos:]) <= {"1"} and len(bitstring) - pos < 8, "junk after the scan"
    return values


def gif_frames(data):
    """(width, height, palette, frames as (delay, pixel indices), comments, loops)."""
    assert data[:6] == b"GIF89a"
    width, height, flags, _, _ = struct.unpack("<HHBBB", data[6:13])
    pos = 13
    palette = []
    if flags & 0x80:
        n = 2 << (flags & 7)
        palette = [tuple(data[pos + 3 * i:pos + 3 * i + 3]) for i in range(n)]
        pos += 3 * n
    frames, comments, delay, loops = [], [], None, False

    def sub_blocks():
        nonlocal pos
        out = bytearray()
        while data[pos]:
            out += data[pos + 1:pos + 1 + data[pos]]
            pos += 1 + data[pos]
        pos += 1
        return bytes(out)

    while True:
        kind = data[pos]
        pos += 1
        if kind == 0x3B:
            return width, height, palette, frames, comments, loops
        if kind == 0x21:
            label = data[pos]
            pos += 1
            block = sub_blocks()
            if label == 0xF9:
                delay = struct.unpack("<H", block[1:3])[0]
            elif label == 0xFE:
                comments.append(block.decode("latin-1"))
            elif label == 0xFF:
                loops = block.startswith(b"NETSCAPE2.0")
        elif kind == 0x2C:
            _, _, w, h, fflags = struct.unpack("<HHHHB", data[pos:pos + 9])
            pos += 9
            assert not fflags & 0x80
            min_size = data[pos]
            pos += 1
            pixels = lzw_decode(sub_blocks(), min_size)
            assert len(pixels) == w * h, "frame holds %d pixels, not %d" % (len(pixels), w * h)
            frames.append((delay, pixels))
            delay = None
        else:
            raise AssertionError("unknown GIF block %#x" % kind)


def lzw_decode(data, min_size):
    clear, end = 1 << min_size, (1 << min_size) + 1
    width = min_size + 1
    table = [bytes([i]) for i in range(clear)] + [b"", b""]
    out = bytearray()
    prev = None
    acc = nbits = pos = 0
    while True:
        while nbits < width:
            assert pos < len(data), "LZW data ended without an end code"
            acc |= data[pos] << nbits
            nbits += 8
            pos += 1
        code = acc & ((1 << width) - 1)
        acc >>= width
        nbits -= width
        if code == clear:
            width = min_size + 1
            table = table[:end + 1]
            prev = None
            continue
        if code == end:
            return bytes(out)
        if code < len(table):
            entry = table[code]
            if prev is not None:
                table.append(prev + entry[:1])
        else:
            assert code == len(table) and prev is not None, "LZW code out of range"
            entry = prev + prev[:1]
            table.append(entry)
        out += entry
        prev = entry
        if len(table) == (1 << width) and width < 12:
            width += 1


class PicturesTest(unittest.TestCase):
    def test_png_is_well_formed_solid_and_labelled(self):
        data = standin_pictures.picture("mw690", "abc.png")
        chunks = png_chunks(data)
        kinds = [k for k, _ in chunks]
        self.assertEqual(kinds[0], b"IHDR")
        self.assertEqual(kinds[-1], b"IEND")
        width, height, depth, colour = struct.unpack(">IIBB", chunks[0][1][:10])
        self.assertEqual((width, height, depth, colour), (64, 48, 8, 2))
        self.assertIn((b"tEXt", b"Comment\x00mw690/abc.png"), chunks)
        pixels = zlib.decompress(b"".join(p for k, p in chunks if k == b"IDAT"))
        self.assertEqual(len(pixels), height * (1 + 3 * width))
        expected = bytes(standin_pictures.colour_for("mw690/abc.png"))
        self.assertEqual(pixels[1:4], expected)
        self.assertEqual(pixels[-3:], expected)

    def test_qr_pictures_are_qr_codes_a_phone_reads(self):
        # Decoded by a real reader (Debian's zbar-tools): each code holds the scan address of its
        # own id, so a phone pointed at the demo's window opens that address.
        with tempfile.TemporaryDirectory() as folder:
            for qrid in ("QR0001ab12cd34", "QR0002ef56ab78"):
                data = standin_pictures.picture("qrcode", qrid + ".png")
                chunks = png_chunks(data)
                self.assertEqual(struct.unpack(">II", chunks[0][1][:8]), (180, 180))
                path = os.path.join(folder, qrid + ".png")
                with open(path, "wb") as f:
                    f.write(data)
                read = subprocess.run(["zbarimg", "--quiet", "--raw", path], capture_output=True,
                                      text=True, timeout=60)
                self.assertEqual(read.stdout.strip(), standin_pictures.QR_SCAN_ADDRESS + qrid,
                                 read.stderr)

    def test_jpeg_markers_and_scan_decode_to_the_labelled_colour(self):
        for segment, (width, height) in (("large", (120, 90)), ("small", (32, 24)),
                                         ("qrcode", (180, 180)), ("crop.1.2", (40, 40))):
            with self.subTest(segment=segment):
                name = "p%s.jpg" % segment
                segments, scan = jpeg_segments(standin_pictures.picture(segment, name))
                by_marker = {m: p for m, p in segments}
                self.assertEqual(by_marker[0xFE], (segment + "/" + name).encode())
                precision, h, w, ncomp = struct.unpack(">BHHB", by_marker[0xC0][:6])
                self.assertEqual((precision, w, h, ncomp), (8, width, height, 3))
                dht = by_marker[0xC4]
                self.assertEqual(dht[0], 0x00)
                dc_bits, n_dc = dht[1:17], sum(dht[1:17])
                dc_table = huffman_table(dc_bits, dht[17:17 + n_dc])
                rest = dht[17 + n_dc:]
                self.assertEqual(rest[0], 0x10)
                ac_table = huffman_table(rest[1:17], rest[17:17 + sum(rest[1:17])])
                blocks = ((w + 7) // 8) * ((h + 7) // 8)
                values = decode_dc_only_scan(scan, dc_table, ac_table, blocks, 3)
                self.assertEqual(len(set(map(tuple, values))), 1, "the picture is not one colour")
                # With a quantiser of 1 the DC term is 8 * (level - 128): exact to 1/16 of a level.
                r, g, b = standin_pictures.colour_for(segment + "/" + name)
                want = (0.299 * r + 0.587 * g + 0.114 * b,
                        128 - 0.168736 * r - 0.331264 * g + 0.5 * b,
                        128 + 0.5 * r - 0.418688 * g - 0.081312 * b)
                for got, level in zip(values[0], want):
                    self.assertAlmostEqual(got / 8 + 128, level, delta=0.07)

    def test_gif_still_and_animated_decode(self):
        width, height, palette, frames, comments, loops = gif_frames(
            standin_pictures.picture("large", "still.gif"))
        self.assertEqual((width, height, len(frames), loops), (120, 90, 1, False))
        self.assertEqual(comments, ["large/still.gif"])
        self.assertEqual(set(frames[0][1]), {0})
        self.assertEqual(palette[0], standin_pictures.colour_for("large/still.gif"))

        width, height, palette, frames, comments, loops = gif_frames(
            standin_pictures.picture("qrcode", "anim_x.gif"))
        self.assertEqual((width, height, loops), (180, 180, True))
        self.assertEqual([d for d, _ in frames], [0, 10])
        self.assertEqual([set(p) for _, p in frames], [{0}, {1}])
        self.assertNotEqual(palette[0], palette[1])

    def test_lzw_stays_decodable_past_the_widest_code(self):
        # A long varied run fills the 4096-entry table, which forces a clear code mid-stream.
        indices = [(i * 7 + i // 13) % 4 for i in range(60000)]
        self.assertEqual(lzw_decode(standin_pictures._lzw(indices, 2), 2), bytes(indices))

    def test_pictures_are_deterministic_and_differ_by_name_and_size(self):
        a = standin_pictures.picture("large", "a.jpg")
        self.assertEqual(a, standin_pictures.picture("large", "a.jpg"))
        self.assertNotEqual(a, standin_pictures.picture("large", "b.jpg"))
        self.assertNotEqual(a, standin_pictures.picture("small", "a.jpg"))
        colours = {standin_pictures.colour_for("thumb300/cover_%d.jpg" % i) for i in range(20)}
        self.assertGreater(len(colours), 15)


# -- login -------------------------------------------------------------------------------------------


if __name__ == "__main__":
    unittest.main()
