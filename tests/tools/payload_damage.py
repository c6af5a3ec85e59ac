#!/usr/bin/env python3
"""Damages an installer's sealed ZIP member the way a bad download or a bad edit would, below
the seal: unseals it with the independent reader's cipher, flips the member's stored CRC-32
in the local header and the central directory, and seals it again.

    payload_damage.py INSTALLER OUT"""
import os
import struct
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import payload_reader as reader  # noqa: E402


def encrypt_block(block, keys):
    state = [a ^ b for a, b in zip(block, keys[0])]
    for r in range(1, 11):
        state = [reader.SBOX[b] for b in state]
        # shift rows: byte (row, col) comes from (row, col + row)
        state = [state[((col + row) % 4) * 4 + row] for col in range(4) for row in range(4)]
        if r < 10:
            mixed = []
            for col in range(4):
                a = state[col * 4:col * 4 + 4]
                for row in range(4):
                    mixed.append(reader._mul(a[row], 2) ^ reader._mul(a[(row + 1) % 4], 3) ^ a[(row + 2) % 4]
                                 ^ a[(row + 3) % 4])
            state = mixed
        state = [a ^ b for a, b in zip(state, keys[r])]
    return bytes(state)


def main():
    data = bytearray(open(sys.argv[1], "rb").read())
    at = data.find(reader.MAGIC, 1)
    length, = struct.unpack_from("<I", data, at + 12)
    keys = reader.round_keys(reader.KEY_TEXT.ljust(16, b"\0"))
    whole = length - length % 16
    start = at + 16
    image = bytearray(b"".join(reader.decrypt_block(data[start + i:start + i + 16], keys) for i in range(0, whole, 16)))
    image += bytes(b ^ 0xFF for b in data[start + whole:start + length])
    directory = image.rfind(b"PK\x01\x02")
    for offset in (14, directory + 16):
        image[offset] ^= 0x01
    sealed = b"".join(encrypt_block(image[i:i + 16], keys) for i in range(0, whole, 16))
    sealed += bytes(b ^ 0xFF for b in image[whole:])
    data[start:start + length] = sealed
    open(sys.argv[2], "wb").write(bytes(data))


if __name__ == "__main__":
    main()
