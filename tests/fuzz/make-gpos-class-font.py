#!/usr/bin/python3
"""Writes a copy of an OpenType font whose GPOS is one class pair kerning
subtable of 65535 x 65535 classes, with every glyph in class 16000: a
reader that trusts the counts looks gigabytes past the table. A seed of
the font fuzz target (made from the packaged Inter by scripts/fuzz-build).

usage: make-gpos-class-font.py SOURCE_FONT DESTINATION
"""
import struct
import sys

data = bytearray(open(sys.argv[1], "rb").read())
tables = struct.unpack(">H", data[4:6])[0]
gpos = next(struct.unpack(">I", data[20 + 16 * i:24 + 16 * i])[0] for i in range(tables)
            if data[12 + 16 * i:16 + 16 * i] == b"GPOS")
# tests/unit/test_text.cpp writes the same records: a lookup list of one
# pair lookup, its format 2 subtable, a coverage of every glyph and the two
# class tables.
records = [1, 0, 0, 0, 10, 1, 4, 2, 0, 1, 8, 2, 16, 4, 0, 26, 36, 0xFFFF, 0xFFFF,
           2, 1, 0, 0xFFFF, 0, 2, 1, 0, 0xFFFF, 16000, 2, 1, 0, 0xFFFF, 0]
data[gpos:gpos + 2 * len(records)] = struct.pack(">%dH" % len(records), *records)
open(sys.argv[2], "wb").write(data)
