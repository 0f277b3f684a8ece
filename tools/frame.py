#!/usr/bin/env python3
"""Wraps standard input into one native-messaging frame on standard output:
four bytes of length, little-endian, then the bytes as they are."""
import struct
import sys

data = sys.stdin.buffer.read()
sys.stdout.buffer.write(struct.pack("<I", len(data)) + data)
