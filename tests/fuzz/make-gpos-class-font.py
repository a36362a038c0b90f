#!/usr/bin/python3
"""Writes a copy of an OpenType font whose GPOS is one class pair kerning
subtable of 65535 x 65535 classes, with every glyph in class 16000: a
reader that trusts the counts looks gigabytes past the table. A seed of
the font fuzz target (made from the packaged Inter by scripts/fuzz-build).

usage: make-gpos-class-font.py SOURCE_FONT DESTINATION
"""
import struct, sys
src, dst = sys.argv[1], sys.argv[2]
data = bytearray(open(src, 'rb').read())
numTables = struct.unpack('>H', data[4:6])[0]
tables = {}
for i in range(numTables):
    rec = data[12 + 16*i: 28 + 16*i]
    tag = bytes(rec[0:4]).decode('latin1')
    off, length = struct.unpack('>II', rec[8:16])
    tables[tag] = (off, length)
print('tables:', sorted(tables))
off, length = tables['GPOS']
print('GPOS at', off, 'length', length)
g = bytearray()
g += struct.pack('>HHHHH', 1, 0, 0, 0, 10)          # version 1.0, script/feature lists unused, lookupList at 10
g += struct.pack('>HH', 1, 4)                         # lookupList @10: 1 lookup at +4 -> 14
g += struct.pack('>HHHH', 2, 0, 1, 8)                 # lookup @14: type 2 (pair), flag, 1 subtable at +8 -> 22
sub = 22
cov, cd1, cd2 = 16, 16 + 10, 16 + 10 + 10            # offsets inside the subtable
g += struct.pack('>HHHHHHHH', 2, cov, 4, 0, cd1, cd2, 0xFFFF, 0xFFFF)  # PairPos format 2, XAdvance only, 65535 x 65535 classes
g += struct.pack('>HHHHH', 2, 1, 0, 0xFFFF, 0)        # coverage format 2: every glyph
g += struct.pack('>HHHHH', 2, 1, 0, 0xFFFF, 16000)    # classDef1: every glyph in class 16000
g += struct.pack('>HHHHH', 2, 1, 0, 0xFFFF, 0)        # classDef2: every glyph in class 0
assert len(g) <= length
data[off:off+len(g)] = g
open(dst, 'wb').write(data)
