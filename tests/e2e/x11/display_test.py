#!/usr/bin/env python3
"""The program without a usable display, and when the display goes away.

- DISPLAY unset, or naming a display nobody serves: a plain message on stderr
  that says how to try it under Xvfb, and a non-zero status;
- the command line as scripts use it: help and version on stdout; an unknown
  option, no display, or a screen that cannot be read: status 2, one line on
  stderr and nothing on stdout;
- the X server ending under a running program: a message and status 1 (2
  during a command's pick), not a crash or a core dump;
- settings from outside that make no sense (an Xft.dpi that is no number,
  zero, negative, enormous or fractional; a fontconfig configuration that is
  garbage): a window of a sane size all the same, no abort, and what was
  made of a DPI said once on stderr;
- fonts remembered: a second start with the same configuration neither
  reads fontconfig's configuration (fontconfig's own FC_DEBUG report stays
  silent) nor maps fontconfig or FreeType.
"""

import os
import signal
import subprocess
import tempfile
import time

from harness import session


def run_without(args, checks, display):
    env = dict(os.environ)
    env.pop("DISPLAY", None)
    if display is not None:
        env["DISPLAY"] = display
    result = subprocess.run([args.huevex], env=env, capture_output=True, timeout=20)
    what = "DISPLAY unset" if display is None else f"DISPLAY={display}"
    message = result.stderr.decode(errors="replace")
    checks.true(f"{what}: non-zero status", result.returncode not in (0, None))
    checks.true(f"{what}: not a crash", result.returncode > 0)
    checks.true(f"{what}: says which display", "DISPLAY" in message or display in message)
    checks.true(f"{what}: says how to try it under Xvfb", "Xvfb" in message)


# (arguments, environment (None: unset), exit status, what stdout holds,
# what the one line on stderr says; "" for nothing). A pick that waits is
# given a click.
SCRIPTS = [
    (["--help"], {}, 0, "Super+Alt+C", ""),
    (["--version"], {}, 0, "HUEVEX 1.0.0\n", ""),
    (["--pick", "--colour"], {}, 2, "", "unknown option '--colour'"),
    (["--pick"], {"DISPLAY": None}, 2, "", "DISPLAY"),
    (["--pick"], {"DISPLAY": ":4711"}, 2, "", ":4711"),
    (["--pick"], {"HUEVEX_SCREEN": "portal", "DBUS_SESSION_BUS_ADDRESS": "unix:path=/nowhere"},
     2, "", "the screen could not be read"),
]


def part_of(text, part, one_line=False):
    """`part` where the text holds it (and is one line, if asked), else the text."""
    return part if part and part in text and (not one_line or text.count("\n") == 1) else text


def scripts(args, checks):
    with session.XvfbSession(args) as s:
        for arguments, changes, status, out, err in SCRIPTS:
            env = {k: v for k, v in dict(s.env, **changes).items() if v is not None}
            command = s.spawn([args.huevex, *arguments], env=env, stdout=subprocess.PIPE,
                              stderr=subprocess.PIPE)
            try:
                command.wait(1)
            except subprocess.TimeoutExpired:
                s.xdotool("click", 1)
            said = tuple(text.decode(errors="replace") for text in command.communicate(timeout=20))
            what = " ".join(arguments) + "".join(f" {k}={v}" for k, v in changes.items())
            checks.equal(f"{what}: exit status", command.returncode, status)
            checks.equal(f"{what}: stdout", part_of(said[0], out), out)
            checks.equal(f"{what}: stderr, one line", part_of(said[1], err, one_line=True), err)


def display_lost(args, checks):
    for arguments, expected in [([], 1), (["--pick"], 2)]:  # 1 from a pick would be Esc's
        with session.XvfbSession(args) as s:
            huevex = s.spawn([args.huevex, *arguments], stdout=subprocess.PIPE,
                             stderr=subprocess.PIPE)
            s.wait_for(lambda: s.find_window("^HUEVEX$", visible=True), "the main window")
            s.server.kill()
            s.server.wait(10)
            try:
                status = huevex.wait(10)
            except subprocess.TimeoutExpired:
                status = "still running"
            stderr = huevex.stderr.read().decode(errors="replace")
            what = " ".join(["display lost:", *arguments])
            checks.equal(f"{what} exit status", status, expected)
            checks.true(f"{what} says so", "connection to the X display was lost" in stderr)


def client_size_at(dpi):
    """The main window's client size (2535 x 1575 twips) at a DPI, ties to even."""
    return tuple(round(twips * dpi / 1440) for twips in (2535, 1575))


def start_and_stop(s, env):
    """Starts the program, waits for its main window to be mapped, and stops
    it: (client size, mapped libraries, exit status, stderr, stdout)."""
    huevex = s.spawn([s.args.huevex], env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    size, maps = None, ""
    try:
        s.main_window = s.wait_for(lambda: s.find_window("^HUEVEX$"), "the main window")
        s.wait_for(lambda: s.viewable(s.main_window), "the main window to be mapped")
        time.sleep(0.2)
        size = s.client_size()
        with open(f"/proc/{huevex.pid}/maps") as f:
            maps = f.read()
    finally:
        huevex.send_signal(signal.SIGTERM)
        out, err = huevex.communicate(timeout=10)
    return size, maps, huevex.returncode, err.decode(errors="replace"), out.decode(
        errors="replace")


def odd_settings(args, checks):
    # The enormous and the fractional value, no number and none at all, are
    # what a mistaken `xrdb` line gives.
    cases = [("many", 96), ("", 96), ("0", 96), ("-96", 96), ("120.4", 120), ("12.5", 48),
             ("100000", 480), ("1e9", 480), ("96", 96)]
    with tempfile.TemporaryDirectory(prefix="huevex-cache-") as cache, \
            session.XvfbSession(args) as s:
        env = dict(s.env, XDG_CACHE_HOME=cache)
        for value, dpi in cases:
            s.run(["xprop", "-root", "-format", "RESOURCE_MANAGER", "8s", "-set",
                   "RESOURCE_MANAGER", f"Xft.dpi:\t{value}\n"])
            size, _, status, stderr, _ = start_and_stop(s, env)
            what = f"Xft.dpi {value!r}"
            checks.equal(f"{what}: main window size", size, client_size_at(dpi))
            checks.equal(f"{what}: ends on request, no abort", status, -signal.SIGTERM)
            checks.equal(f"{what}: said on stderr", stderr.count("Xft.dpi"),
                         0 if value in ("120.4", "96") else 1)

        s.run(["xprop", "-root", "-remove", "RESOURCE_MANAGER"])
        garbage = os.path.join(cache, "garbage.conf")
        with open(garbage, "wb") as f:
            f.write(b"<fontconfig><include>\x00\xff not xml at all")
        size, _, status, _, _ = start_and_stop(s, dict(env, FONTCONFIG_FILE=garbage))
        checks.equal("a garbage fontconfig configuration: main window size", size,
                     client_size_at(96))
        checks.equal("a garbage fontconfig configuration: no abort", status, -signal.SIGTERM)


def fonts_remembered(args, checks):
    with tempfile.TemporaryDirectory(prefix="huevex-cache-") as cache, \
            session.XvfbSession(args) as s:
        env = dict(s.env, XDG_CACHE_HOME=cache, FC_DEBUG="1024")
        # fontconfig reports on the standard output.
        first = start_and_stop(s, env)[4]
        checks.true("first start: fontconfig reads its configuration",
                    "Loading config file" in first)
        _, maps, _, _, second = start_and_stop(s, env)
        checks.true("second start: fontconfig reads no configuration",
                    "Loading config file" not in second)
        checks.true("second start: neither fontconfig nor FreeType mapped",
                    "libfontconfig" not in maps and "libfreetype" not in maps)


def test():
    args = session.arguments()
    checks = session.Checks()
    run_without(args, checks, None)
    run_without(args, checks, ":4711")
    scripts(args, checks)
    display_lost(args, checks)
    odd_settings(args, checks)
    fonts_remembered(args, checks)
    return checks.finish()


if __name__ == "__main__":
    session.main(test)
