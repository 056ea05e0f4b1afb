#!/usr/bin/env python3
"""The program file as shipped: small, self-contained, stripped, a GUI
program, and carrying its manifest, icon group and version block. Needs no
Wine."""

import os
import re
import shutil
import struct
import subprocess
import xml.etree.ElementTree as tree

import version_block
from harness import session, wine

MAX_BYTES = 300 * 1024
# Only DLLs every Windows has: no libstdc++, libgcc or winpthread beside it.
SYSTEM_DLL = re.compile(r"(kernel32|user32|gdi32|msvcrt|advapi32|shell32|ole32|shcore|dwmapi|"
                        r"comctl32|imm32|winmm|ucrtbase|api-ms-win-.*)\.dll")


def output(command, **kwargs):
    return subprocess.run(command, capture_output=True, timeout=60, **kwargs).stdout


def text(command):
    return output(command).decode(errors="replace")


def resource(exe, kind, name, raw=True):
    return output(["wrestool", "-x", *(["--raw"] if raw else []), f"--type={kind}",
                   f"--name={name}", exe])


def icon_group(data):
    """The icon group's directory: reserved, type, count, then per image width,
    height, colors, reserved, planes, bits per pixel, bytes, resource id."""
    if len(data) < 6:
        return f"{len(data)} bytes"
    reserved, kind, count = struct.unpack_from("<HHH", data)
    lines = [f"{reserved} {kind} {count}"]
    for i in range(count):
        if len(data) < 6 + 14 * (i + 1):
            break
        lines.append(" ".join(str(v) for v in struct.unpack_from("<BBBBHHIH", data, 6 + 14 * i)))
    return "\n".join(lines)


def dpi_awareness(data):
    """The manifest's DPI settings, one "name value" a line."""
    try:
        root = tree.fromstring(data)
    except tree.ParseError as error:
        return f"not well-formed: {error}"
    return "\n".join(f"{e.tag.split('}')[-1]} {e.text.strip()}" for e in root.iter()
                     if e.tag.split("}")[-1] in ("dpiAware", "dpiAwareness"))


def version_tree(data):
    try:
        return version_block.describe(data)
    except (ValueError, struct.error) as error:
        return f"unreadable: {error}"


def test():
    args = wine.arguments()
    checks = session.Checks()
    exe = args.huevex
    objdump = shutil.which("x86_64-w64-mingw32-objdump") or shutil.which("objdump")

    with checks.case("size"):
        size = os.stat(exe).st_size
        checks.true(f"at most {MAX_BYTES} bytes ({size})", size <= MAX_BYTES)

    with checks.case("a self-contained GUI program without symbols"):
        headers = text([objdump, "-p", exe]).splitlines()
        subsystem = [" ".join(line.split()[2:4]) for line in headers
                     if line.startswith("Subsystem")]
        checks.equal("subsystem", subsystem, ["(Windows GUI)"])
        dlls = [line.split()[2].lower() for line in headers if "DLL Name:" in line]
        checks.equal("DLLs beyond the system's", [d for d in dlls if not SYSTEM_DLL.fullmatch(d)],
                     [])
        symbols = subprocess.run(["x86_64-w64-mingw32-nm", exe], capture_output=True, text=True)
        checks.equal("symbols", [line.split(": ")[-1] for line in
                                 (symbols.stdout + symbols.stderr).splitlines()
                                 if line.endswith(": no symbols")], ["no symbols"])

    with checks.case("resources"):
        # type, name, language of each resource, in the file's order
        listing = re.findall(r"^--type=(\d+) --name=(\d+) --language=(\d+)",
                             text(["wrestool", "-l", exe]), re.M)
        checks.equal("resource list", "\n".join(" ".join(r) for r in listing),
                     "3 30001 0\n3 30002 0\n3 30003 0\n14 1 0\n16 1 1033\n24 1 0")
        checks.equal("icon group directory", icon_group(resource(exe, 14, 1)),
                     "0 1 3\n32 32 2 0 1 1 304 30001\n32 32 16 0 1 4 744 30002\n"
                     "16 16 16 0 1 4 296 30003")
        # The group read back as an icon file is the one made from the pixel maps.
        icon = os.path.join(args.artifacts, "icon.ico")
        with open(icon, "wb") as f:
            f.write(resource(exe, 14, 1, raw=False))
        checks.equal("icon images listed by icotool", text(["icotool", "-l", icon]).rstrip("\n"),
                     "--icon --index=1 --width=32 --height=32 --bit-depth=1 --palette-size=2\n"
                     "--icon --index=2 --width=32 --height=32 --bit-depth=4 --palette-size=16\n"
                     "--icon --index=3 --width=16 --height=16 --bit-depth=4 --palette-size=16")
        # Each image, read back raw, is the one made from the pixel maps.
        for image in (30001, 30002, 30003):
            with open(os.path.join(os.path.dirname(exe), "icons", f"icon_{image}.bin"), "rb") as f:
                checks.true(f"icon image {image} as generated", resource(exe, 3, image) == f.read())
        for image, size in ((30001, 304), (30002, 744), (30003, 296)):
            checks.equal(f"icon image {image} bytes", len(resource(exe, 3, image)), size)

        checks.equal("version block", version_tree(resource(exe, 16, 1)), "\n".join([
            "VS_VERSION_INFO",
            "  fixed file=1.0.0.0 product=1.0.0.0 mask=0 flags=0 os=4 type=1 subtype=0 date=0.0",
            "  VarFileInfo",
            "    Translation = 0x0409 0x04B0",
            "  StringFileInfo",
            "    040904B0",
            "      CompanyName = HUEVEX Project",
            "      ProductName = HUEVEX",
            "      FileVersion = 1.00",
            "      ProductVersion = 1.00",
            "      InternalName = HUEVEX",
            "      OriginalFilename = HUEVEX.exe"]))

        # The manifest: well-formed, per-monitor aware (v2, with the older fallback).
        checks.equal("manifest DPI awareness", dpi_awareness(resource(exe, 24, 1)),
                     "dpiAware true/pm\ndpiAwareness PerMonitorV2, PerMonitor")
    return checks.finish()


if __name__ == "__main__":
    session.main(test)
