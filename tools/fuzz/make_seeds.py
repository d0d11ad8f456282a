#!/usr/bin/env python3
"""Writes seed inputs for the fuzz targets: well-formed answers of every kind
and a few broken ones, so that the fuzzers start from the layouts the server
sends. Usage: make_seeds.py CORPUS_ROOT (one directory per target)."""

import io
import os
import struct
import sys
import zipfile

TL = b"TL\0"


def area_list(areas):
    records = b"".join(bytes([len(c)]) + c + bytes([len(n)]) + n for c, n in areas)
    return TL + struct.pack("<H", 1 + len(records)) + bytes([len(areas)]) + records


def item(id_, sub, number, flags, name):
    return struct.pack("<HBHHH", id_, sub, number, flags, 0) + bytes([len(name)]) + name


def item_list(items, spare=b""):
    body = bytes([len(items)]) + b"".join(items) + spare
    return TL + struct.pack("<H", len(body) - 1) + body


def package(entries, method=zipfile.ZIP_DEFLATED):
    out = io.BytesIO()
    with zipfile.ZipFile(out, "w", method) as z:
        for name, address, payload in entries:
            z.writestr(name, b"TL" + struct.pack("<I", address) + payload)
    return out.getvalue()


def mixed_package(count, size):
    """Entries stored and deflated in turn, as other packers mix them."""
    out = io.BytesIO()
    with zipfile.ZipFile(out, "w") as z:
        for k in range(count):
            payload = bytes((k * 7 + i * 13) % 251 for i in range(size))
            method = zipfile.ZIP_STORED if k % 2 else zipfile.ZIP_DEFLATED
            z.writestr(zipfile.ZipInfo("entry-%02d.bin" % k), b"TL" +
                       struct.pack("<I", 0x280000 + k * 0x10000) + payload, method)
    return out.getvalue()


# The largest list a server can send: 255 records whose names fill the 16-bit
# length almost to its end.
FULL_LIST = item_list([item(k, k % 8, k * 3, k % 4, bytes([0x41 + k % 26]) * 246)
                       for k in range(255)])
assert len(FULL_LIST) <= 5 + 65536

SEEDS = {
    "fuzz_latest_versions": [
        TL + b"1.0.0.3:1.05:1.06:1.03:",
        TL + b"a:b:c:d:",
        TL + b"1234567890123456789:x:y:z:",
        TL + b"12345678901234567890abc",
        b"<html>404</html>",
    ],
    "fuzz_area_list": [
        area_list([(b"JPN", "日本".encode()), (b"KOR", "한국".encode())]),
        area_list([]),
        area_list([(b"SEA", "Southeast Asia".encode())])[:-3],
    ],
    "fuzz_item_list": [
        item_list([item(1, 0, 0, 0, "北海道".encode()), item(2, 3, 4, 1, b"Tokyo")]),
        item_list([]),
        item_list([item(0x1234, 7, 0xBCD, 2, b"x\0y")], spare=b"\x7f\x7f"),
        item_list([item(5, 0, 0, 0, b"A" * 255)] * 3),
        FULL_LIST,
        FULL_LIST[:-1000],
    ],
    "fuzz_course_info": [
        TL + bytes([10 + 9]) + b"1712011030" + "若葉ゴ".encode(),
        TL + b"\x0a0001010000",
        TL + b"\x05171201",
        b"TL\x01\x0a0001010000",
    ],
    "fuzz_package_header": [
        TL + struct.pack("<I", 1234),
        TL + struct.pack("<I", 0xFFFFFFFF),
        b"TL\x01\0\0\0\0",
    ],
    "fuzz_package_reader": [
        package([("course-data.bin", 0x281000, bytes(range(256)) * 16),
                 ("course-header.bin", 0x280000, b"TL" + b"\0" * 11 + b"171201")]),
        package([("firmware.bin", 0x40000, b"fw" * 300)], zipfile.ZIP_STORED),
        package([("empty/", 0, b"")]),
        mixed_package(8, 4000),
        mixed_package(2, 28000),
        package([("system-%d.bin" % k, 0x40000 + k * 0x1000, bytes([k]) * 3000)
                 for k in range(12)], zipfile.ZIP_STORED),
    ],
}


def check():
    """The seeds reach the largest answers: a full list, mixed archives."""
    lists = SEEDS["fuzz_item_list"]
    assert any(len(seed) > 60000 and seed[5] == 255 for seed in lists), "no full-size list"
    methods = set()
    for seed in SEEDS["fuzz_package_reader"]:
        with zipfile.ZipFile(io.BytesIO(seed)) as z:
            if len(z.infolist()) > 1:
                methods.update(info.compress_type for info in z.infolist())
    assert {zipfile.ZIP_STORED, zipfile.ZIP_DEFLATED} <= methods, "no mixed multi-entry archive"
    print("seeds: a list of 255 records and multi-entry archives, stored and deflated")


def main():
    if sys.argv[1] == "--check":
        check()
        return
    root = sys.argv[1]
    for target, seeds in SEEDS.items():
        directory = os.path.join(root, target)
        os.makedirs(directory, exist_ok=True)
        for number, seed in enumerate(seeds):
            with open(os.path.join(directory, "seed-%02d" % number), "wb") as out:
                out.write(seed)


if __name__ == "__main__":
    main()
