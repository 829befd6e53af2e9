#!/usr/bin/env python3
"""Prints what a terminal would show after receiving the bytes of FILE: a carriage return moves
to the start of the line, a line feed to the next line, and every other byte overwrites the one
under the cursor. Trailing blanks and empty lines at the end are dropped."""
import sys

lines = [bytearray()]
column = 0
with open(sys.argv[1], "rb") as received:
    data = received.read()
for byte in data:
    if byte == 0x0D:
        column = 0
    elif byte == 0x0A:
        lines.append(bytearray())
        column = 0
    else:
        line = lines[-1]
        if column < len(line):
            line[column] = byte
        else:
            line.extend(b" " * (column - len(line)))
            line.append(byte)
        column += 1
shown = [bytes(line).rstrip(b" ") for line in lines]
while shown and not shown[-1]:
    shown.pop()
sys.stdout.buffer.write(b"".join(line + b"\n" for line in shown))
