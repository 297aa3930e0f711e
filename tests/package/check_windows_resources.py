#!/usr/bin/env python3
"""Fails unless every Windows file given carries a version record that names
the product, describes the file, gives the project's version in both its
numeric and its text fields, and states the copyright and the licence; and
unless each file given with --icon holds an icon with every size from 16 to
256 pixels that Windows picks from. Reads the resources with wrestool.
Usage: check_windows_resources.py VERSION [--icon] FILE [[--icon] FILE...]"""
import struct
import subprocess
import sys

REQUIRED_ICON_SIZES = {16, 24, 32, 48, 256}


def resource(path, kind):
    return subprocess.run(["wrestool", "-x", "--raw", "-t", str(kind), path],
                          capture_output=True).stdout


def align(offset):
    return (offset + 3) & ~3


def node(data, offset):
    """One node of a version record: its key, its value and its children."""
    length, value_length, text = struct.unpack_from("<3H", data, offset)
    key_end = offset + 6
    while data[key_end:key_end + 2] != b"\0\0":
        key_end += 2
    key = data[offset + 6:key_end].decode("utf-16-le")
    value_start = align(key_end + 2)
    value_end = value_start + (value_length * 2 if text else value_length)
    value = data[value_start:value_end]
    children, child = [], align(value_end)
    while child < offset + length:
        children.append(node(data, child))
        child = align(child + struct.unpack_from("<H", data, child)[0])
    return key, value, children


def version_record(data):
    """The fixed part's (file, product) versions and the strings of every
    string table."""
    if not data:
        raise ValueError("no version record")
    key, fixed, children = node(data, 0)
    fields = struct.unpack_from("<13I", fixed)
    if key != "VS_VERSION_INFO" or fields[0] != 0xFEEF04BD:
        raise ValueError("not a version record")
    unpack = lambda high, low: (high >> 16, high & 0xFFFF, low >> 16, low & 0xFFFF)
    numbers = (unpack(fields[2], fields[3]), unpack(fields[4], fields[5]))
    strings = {name: value.decode("utf-16-le").rstrip("\0")
               for block, _, tables in children if block == "StringFileInfo"
               for _, _, entries in tables
               for name, value, _ in entries}
    return numbers, strings


def icon_sizes(data):
    """The pixel sizes named by a group icon's directory."""
    if len(data) < 6:
        return set()
    count = struct.unpack_from("<H", data, 4)[0]
    return {(data[6 + 14 * i] or 256) for i in range(count)}


def check(path, version, wants_icon):
    name = path.replace("\\", "/").rsplit("/", 1)[-1]
    try:
        numbers, strings = version_record(resource(path, 16))
    except (ValueError, struct.error) as error:
        print(f"{name}: {error}", file=sys.stderr)
        return False
    number = tuple(int(part) for part in version.split(".")) + (0,)
    expected = {
        "ProductName": "zorv console",
        "FileVersion": version,
        "ProductVersion": version,
        "OriginalFilename": name,
        "LegalCopyright": "Copyright (c) 2026 The zorv console authors",
        "Comments": "Licence: MIT",
    }
    faults = [f"{key} is {strings.get(key)!r}, not {value!r}"
              for key, value in expected.items() if strings.get(key) != value]
    if not strings.get("FileDescription"):
        faults.append("no FileDescription")
    if numbers != (number, number):
        faults.append(f"numeric versions {numbers}, not {number}")
    if wants_icon:
        missing = REQUIRED_ICON_SIZES - icon_sizes(resource(path, 14))
        if missing:
            faults.append(f"the icon lacks the sizes {sorted(missing)}")
    for fault in faults:
        print(f"{name}: {fault}", file=sys.stderr)
    if not faults:
        print(f"{name}: {strings['FileDescription']}, {version}")
    return not faults


def main(argv):
    version, rest = argv[1], argv[2:]
    results = []
    while rest:
        wants_icon = rest[0] == "--icon"
        if wants_icon:
            rest = rest[1:]
        results.append(check(rest[0], version, wants_icon))
        rest = rest[1:]
    return 0 if results and all(results) else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv))
