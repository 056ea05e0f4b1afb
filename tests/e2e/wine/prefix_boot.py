#!/usr/bin/env python3
"""Setup of the Wine tests: a fresh Wine prefix in the build tree, booted once
per test run, with Wine's crash dialog turned off so that a crash fails a
test instead of waiting for a click."""

import os
import shutil

from harness import session, wine


def read(path):
    if not os.path.isfile(path):
        return ""
    with open(path, errors="replace") as f:
        return f.read().lower()


def test():
    args = wine.arguments()
    checks = session.Checks()
    shutil.rmtree(args.prefix, ignore_errors=True)
    with wine.WineSession(args) as s, checks.case("boot a fresh Wine prefix", s.on_failed_case):
        s.wine_started = True
        s.tool(["wineboot", "-i"], 240, log="wineboot.log")
        s.wineserver_wait(120)
        s.wine("reg", "add", r"HKCU\Software\Wine\WineDbg", "/v", "ShowCrashDialog", "/t",
               "REG_DWORD", "/d", "0", "/f", log="reg.log")
        s.wineserver_wait(120)
        checks.true("prefix created", os.path.isfile(os.path.join(args.prefix, "system.reg")))
        user = read(os.path.join(args.prefix, "user.reg"))
        checks.true("crash dialog off", 'showcrashdialog"=dword:00000000' in user)
    return checks.finish()


if __name__ == "__main__":
    session.main(test)
