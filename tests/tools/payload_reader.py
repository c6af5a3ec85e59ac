#!/usr/bin/env python3
"""An installer's payload read with the Python standard library alone, independent of the
project's code: find the header, undo AES-128-ECB, take the ZIP member apart by hand, inflate
it with zlib (a deflated member) or have Debian's zstd program decode it (a Zstandard one,
method 93) and check its CRC-32, then walk the records.

    payload_reader.py INSTALLER OUT_DIR

writes each entry to OUT_DIR/KEY and prints "KEY<TAB>SIZE" per entry; exit code 1 with the
reason on anything that does not hold."""
import os
import struct
import subprocess
import sys
import zlib

MAGIC = b"K.T.W.*+"
KEY_TEXT = b"Qz_R.N.T"


def _xtime(a):
    return ((a << 1) ^ 0x1B) & 0xFF if a & 0x80 else a << 1


def _sbox():
    box = [0] * 256
    p = q = 1
    while True:  # p runs through the multiplicative group, q through its inverses
        p = p ^ _xtime(p)
        q ^= q << 1
        q ^= q << 2
        q ^= q << 4
        q &= 0xFF
        if q & 0x80:
            q ^= 0x09
        x = q ^ (q << 1 | q >> 7) ^ (q << 2 | q >> 6) ^ (q << 3 | q >> 5) ^ (q << 4 | q >> 4)
        box[p] = (x ^ 0x63) & 0xFF
        if p == 1:
            break
    box[0] = 0x63
    return box


SBOX = _sbox()
INV_SBOX = [0] * 256
for _i, _v in enumerate(SBOX):
    INV_SBOX[_v] = _i


def _mul(a, b):
    result = 0
    while b:
        if b & 1:
            result ^= a
        a = _xtime(a)
        b >>= 1
    return result


def round_keys(key):
    words = [list(key[i:i + 4]) for i in range(0, 16, 4)]
    rcon = 1
    for i in range(4, 44):
        word = list(words[i - 1])
        if i % 4 == 0:
            word = [SBOX[b] for b in word[1:] + word[:1]]
            word[0] ^= rcon
            rcon = _xtime(rcon)
        words.append([a ^ b for a, b in zip(words[i - 4], word)])
    return [sum(words[4 * r:4 * r + 4], []) for r in range(11)]


def decrypt_block(block, keys):
    state = [a ^ b for a, b in zip(block, keys[10])]
    for r in range(9, -1, -1):
        # inverse shift rows: byte (row, col) comes from (row, col - row)
        state = [state[((col - row) % 4) * 4 + row] for col in range(4) for row in range(4)]
        state = [INV_SBOX[b] for b in state]
        state = [a ^ b for a, b in zip(state, keys[r])]
        if r:
            mixed = []
            for col in range(4):
                a = state[col * 4:col * 4 + 4]
                for row in range(4):
                    mixed.append(_mul(a[row], 14) ^ _mul(a[(row + 1) % 4], 11) ^ _mul(a[(row + 2) % 4], 13)
                                 ^ _mul(a[(row + 3) % 4], 9))
            state = mixed
    return bytes(state)


def fail(message):
    print("payload_reader: " + message, file=sys.stderr)
    sys.exit(1)


def main():
    installer, out_dir = sys.argv[1], sys.argv[2]
    data = open(installer, "rb").read()
    at = data.find(MAGIC, 1)
    if at < 0:
        fail("no payload header")
    count, length = struct.unpack_from("<II", data, at + 8)
    sealed = data[at + 16:at + 16 + length]
    keys = round_keys(KEY_TEXT.ljust(16, b"\0"))
    whole = length - length % 16
    image = b"".join(decrypt_block(sealed[i:i + 16], keys) for i in range(0, whole, 16))
    image += bytes(b ^ 0xFF for b in sealed[whole:])

    if image[:4] != b"PK\x03\x04":
        fail("no ZIP local header")
    method, = struct.unpack_from("<H", image, 8)
    name_length, extra_length = struct.unpack_from("<HH", image, 26)
    # The sizes and CRC-32 as the central directory gives them.
    directory = image.rfind(b"PK\x01\x02")
    crc, packed, unpacked = struct.unpack_from("<III", image, directory + 16)
    start = 30 + name_length + extra_length
    if method == 8:
        inflater = zlib.decompressobj(-15)
        body = inflater.decompress(image[start:start + packed]) + inflater.flush()
        if not inflater.eof:
            fail("deflate stream not finished")
    elif method == 93:
        decoded = subprocess.run(["zstd", "-d", "-q", "-c", "--long=27"], input=image[start:start + packed],
                                 stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=300)
        if decoded.returncode != 0:
            fail("zstd cannot decode the member: " + decoded.stderr.decode(errors="replace").strip())
        body = decoded.stdout
    else:
        fail("member neither deflated nor compressed with Zstandard (method %d)" % method)
    if len(body) != unpacked or zlib.crc32(body) != crc:
        fail("member size or CRC-32 does not hold")

    offset = 0
    for _ in range(count):
        size, key_length = struct.unpack_from("<II", body, offset)
        key = body[offset + 8:offset + 8 + key_length].decode("latin-1")
        entry = body[offset + 12 + key_length:offset + 12 + key_length + size]
        if len(entry) != size:
            fail("record runs past the body")
        with open(os.path.join(out_dir, key), "wb") as out:
            out.write(entry)
        print("%s\t%d" % (key, size))
        offset += 12 + key_length + size
    if offset != len(body):
        fail("bytes after the last record")


if __name__ == "__main__":
    main()
