#!/usr/bin/env python3
"""Writes a settings file for the benchmark export: SOURCE with a header and
the columns 3,5,1,2,4,6,7, default layouts.   write_setup.py SETUP_FILE SOURCE"""
import struct
import sys

path, source = sys.argv[1], sys.argv[2].encode()[:100]
record = bytes([len(source)]) + source.ljust(100, b"\0") + b"\0" * 3
record += struct.pack("<7i", 3, 5, 1, 2, 4, 6, 7) + b"\1" + b"\0" * 3
record += struct.pack("<i", 0) + b"/" + b"\0" * 3 + struct.pack("<i", 0) + b":" + b"\0" * 3
assert len(record) == 152
open(path, "wb").write(record)
