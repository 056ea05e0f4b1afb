"""The capture module's portal sources and its global shortcut against a
stand-in desktop portal.

Runs under dbus-run-session with private_bus.conf (a bus that activates no
service). Each case starts the stand-in in one mode, drives the module with
the probe as the program would (open, root size, wanted on and off, reads)
and checks what it answers, the state and reason the user would be told,
what was asked of the portal, and which snapshot files are left.

With --cast, the screen cast instead: a private PipeWire and WirePlumber,
started here, carry the stand-in's two monitors to the module. Skips (77)
with the reason when PipeWire cannot start.
"""

import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import time

from harness import session

parser = argparse.ArgumentParser()
parser.add_argument("--probe", required=True)
parser.add_argument("--module", required=True)
parser.add_argument("--fake", required=True)
parser.add_argument("--cast", action="store_true")
parser.add_argument("--valgrind")
args = parser.parse_args()

checks = session.Checks()
check = checks.equal


def run(mode, steps, timeout_ms=None, kind="portal", env=None, probe_env=None, memcheck=False):
    """Runs the probe's steps with the stand-in in mode; returns its lines,
    the stand-in's lines and the files left in the snapshot folder. With
    memcheck (and valgrind given) the probe runs under it, which must find no
    error and no block definitely lost."""
    with tempfile.TemporaryDirectory(prefix="huevex-portal-") as folder:
        fake = None
        if mode:
            fake = subprocess.Popen([args.fake, mode, folder], stdout=subprocess.PIPE, text=True,
                                    env=env)
            if fake.stdout.readline().strip() != "ready":
                raise SystemExit(f"the stand-in portal did not start in mode {mode}")
        options = ["--timeout", str(timeout_ms)] if timeout_ms else []
        prefix = [args.valgrind, "--leak-check=full", "--errors-for-leak-kinds=definite",
                  "--error-exitcode=99"] if memcheck and args.valgrind else []
        probe = subprocess.run([*prefix, args.probe, args.module, *options, "open", kind, *steps],
                               capture_output=True, text=True, timeout=60, env=probe_env or env)
        if prefix:
            check(f"{mode}: memcheck's exit status (99: errors or leaks)", probe.returncode, 0)
            if probe.returncode:
                print(probe.stderr, flush=True)
        elif memcheck:
            print(f"{mode}: memcheck left out: no valgrind", flush=True)
        fake_lines = []
        if fake:
            if fake.poll() is None:
                fake.terminate()
            fake_lines = fake.communicate(timeout=10)[0].splitlines()
        return probe.stdout.splitlines(), fake_lines, sorted(os.listdir(folder))


def screenshot_cases():
    # The snapshot is read at the root's scale (a 4 x 2 picture over a 2 x 1
    # root), asked for without interaction, and its file goes once read.
    out, fake, left = run("ok", ["root", "2", "1", "want", "1", "wait", "live", "5000",
                                 "read", "0", "0", "read", "1", "0", "read", "2", "0", "read", "-1", "0"])
    check("ok: state", out[1], "state live ")
    check("ok: pixels", out[2:], ["pixel 0 0 FF0000 current", "pixel 1 0 0000FF current",
                                  "pixel 2 0 000000 current", "pixel -1 0 000000 current"])
    check("ok: request", fake[:1], ["request 1 token=huevex1 interactive=0 modal=0"])
    check("ok: files left", left, [])

    # One snapshot per time capturing is wanted; while the next is awaited the
    # last one is read, marked stale; then the new one, current.
    out, fake, left = run("late:600", ["want", "1", "wait", "live", "5000", "read", "0", "1",
                                       "want", "0", "want", "1", "state", "read", "0", "1",
                                       "wait", "live", "5000", "read", "0", "1"])
    check("late: steps", out[1:], ["state live ", "pixel 0 1 282828 current", "state asking ",
                                   "pixel 0 1 282828 stale", "state live ", "pixel 0 1 505050 current"])
    check("late: requests", [line.split()[0:2] for line in fake], [["request", "1"], ["request", "2"]])

    # A file the portal did not make for this request is read and left alone.
    out, fake, left = run("old-file", ["want", "1", "wait", "live", "5000", "read", "0", "0"])
    check("old file: read", out[2:], ["pixel 0 0 FF0000 current"])
    check("old file: kept", left, ["user.png"])

    # Answers that give no snapshot: each a state and a reason for the user, and
    # reads that fail rather than show anything as live. No answer past our
    # wait is no failure: the question may still be up.
    for mode, timeout, state in [
            ("refuse", None, "state refused the desktop portal refused to share the screen"),
            ("deny", None, "state refused the desktop portal refused to share the screen"),
            ("fail", None, "state failed the desktop portal could not take a screenshot"),
            ("never", 500, "state still-asking "),
            ("vanish", None, "state failed the desktop portal stopped before it answered"),
            ("no-screenshot", None, "state failed the desktop portal offers no screenshots"),
            (None, None, "state failed the desktop portal is not running")]:
        wanted = state.split()[1]
        # Where the stand-in's lines are read, the pump leaves it time to see
        # what is sent after the state.
        pump = ["pump", "300"] if mode == "never" else []
        out, fake, left = run(mode, ["want", "1", "wait", wanted, "5000", "read", "0", "0",
                                     *pump], timeout)
        check(f"{mode}: state", out[1:], [state, "pixel 0 0 noframe" if mode == "never" else
                                          "pixel 0 0 failed"])
        if mode == "never":
            # Closing it would take the desktop's question away.
            check("never: the request is left out", [line.split()[0] for line in fake],
                  ["request"])

    # A wish while a request is out is served by a picture asked for after it.
    out, fake, left = run("late:300", ["want", "1", "want", "0", "want", "1", "wait", "live",
                                       "5000", "read", "0", "1"])
    check("renewed: steps", out[1:], ["state live ", "pixel 0 1 505050 current"])
    check("renewed: requests", [line.split()[0] for line in fake], ["request", "request"])

    # An answer after our deadline is still taken.
    out, fake, left = run("slow:1200", ["want", "1", "wait", "asking", "1000", "wait",
                                        "still-asking", "1000", "wait", "live", "3000", "read",
                                        "0", "0"], 500)
    check("slow: steps", out[1:], ["state asking ", "state still-asking ", "state live ",
                                   "pixel 0 0 FF0000 current"])
    check("slow: one request", [line.split()[0] for line in fake], ["request"])
    # xdg-desktop-portal never answers a question it gave up on, so a wish
    # after our deadline asks anew (the desktop keeps what the user said).
    out, fake, left = run("never", ["want", "1", "wait", "still-asking", "1000", "want", "0",
                                     "want", "1", "state", "sleep", "200"], 500)
    check("gave up: steps", out[1:], ["state still-asking ", "state asking "])
    check("gave up: asked anew", [line.split()[0] for line in fake], ["request", "request"])


def shortcut_cases():
    # The keys and the token of every run; our presses only; the session goes with it.
    out, fake, _ = run("keys", ["shortcut", "LOGO+ALT+c", "keys", "bound", "5000", "pump", "300",
                                "presses", "presses", "unbind", "sleep", "300"])
    check("keys: steps", out[1:], ["shortcut open", "keys bound ", "presses 2", "presses 0"])
    check("keys: asked", fake, [
        "session session_handle_token=huevex", "list", "bind pick description=Pick a color with "
        "HUEVEX preferred_trigger=LOGO+ALT+c", "session-close"])
    # Kept from an earlier run, it is not bound again (KDE would open its settings).
    out, fake, _ = run("keys-kept", ["shortcut", "LOGO+ALT+c", "keys", "bound", "5000", "pump",
                                     "300", "presses"])
    check("kept: steps", out[1:], ["shortcut open", "keys bound ", "presses 2"])
    check("kept: not bound again", [line for line in fake if line.startswith("bind")], [])
    # Binding nothing is told; no way to a shortcut (no GlobalShortcuts, no portal) is not.
    for mode, state, closed in [("keys-refuse", "refused the desktop refused it", 1),
                                ("keys-unbound", "failed the desktop portal bound no shortcut", 1),
                                ("ok", "unavailable ", 0), (None, "unavailable ", 0)]:
        out, fake, _ = run(mode, ["shortcut", "LOGO+ALT+c", "keys", state.split()[0], "5000",
                                  "pump", "300"])
        check(f"{mode}: shortcut", out[2:], [f"keys {state}"])
        check(f"{mode}: sessions closed", fake.count("session-close"), closed)


def start_pipewire(runtime, env):
    """A private PipeWire and WirePlumber, this test's own processes; None
    with the reason printed when PipeWire cannot start."""
    if not shutil.which("pipewire") or not shutil.which("wireplumber"):
        print("SKIP: pipewire or wireplumber is not installed", flush=True)
        return None
    logs = open(os.path.join(runtime, "pipewire.log"), "w")
    daemons = [subprocess.Popen(["pipewire"], stdout=logs, stderr=logs, env=env)]
    deadline = time.monotonic() + 10
    while not os.path.exists(os.path.join(runtime, "pipewire-0")):
        if daemons[0].poll() is not None or time.monotonic() > deadline:
            stop(daemons)
            logs.close()
            print("SKIP: pipewire did not start:", open(logs.name).read()[-500:], flush=True)
            return None
        time.sleep(0.05)
    # Without the session manager nothing links a stream to its node.
    daemons.append(subprocess.Popen(["wireplumber"], stdout=logs, stderr=logs, env=env))
    return daemons


def stop(processes):
    for process in reversed(processes):
        if process.poll() is None:
            process.terminate()
        try:
            process.wait(timeout=10)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()


def screencast_cases(env, state_home):
    token_file = os.path.join(state_home, "huevex", "screencast-token")
    monitors = ["read", "0", "0", "read", "3", "0", "read", "0", "1", "read", "4", "0",
                "read", "5", "0", "read", "6", "0", "read", "4", "1", "block", "2", "0", "4", "1"]
    # Two monitors side by side, the second at scale 2, each in its own
    # stream: root pixels land on the right frame pixels, black off both.
    out, fake, _ = run("cast", ["want", "1", "wait", "live", "10000", *monitors, "kind"],
                       kind="screencast", env=env)
    check("cast: state", out[1], "state live ")
    check("cast: pixels", out[2:], [
        "pixel 0 0 FF0000 current", "pixel 3 0 FFFFFF current", "pixel 0 1 282828 current",
        "pixel 4 0 112233 current", "pixel 5 0 778899 current", "pixel 6 0 000000 current",
        "pixel 4 1 000000 current", "block 2 0 4 1 0000FF FFFFFF 112233 778899",
        "kind screencast"])
    check("cast: asked for", [line for line in fake if line.startswith("select")],
          ["select types=1 multiple=1 persist_mode=2 cursor_mode=1"])
    check("cast: token kept", open(token_file).read(), "saved-1\n")
    check("cast: token file mode", oct(os.stat(token_file).st_mode & 0o777), "0o600")
    check("cast: token folder mode", oct(os.stat(os.path.dirname(token_file)).st_mode & 0o777),
          "0o700")

    # The next session gives the token back; a wish that ends closes the
    # session once the warm time is over, and frees the frames.
    out, fake, _ = run("cast", ["want", "1", "wait", "live", "10000", "want", "0",
                                "wait", "idle", "1000", "pump", "4000", "read", "0", "0",
                                "pump", "1500", "read", "0", "0"],
                       kind="screencast", env=env)
    check("token: given back", [line for line in fake if line.startswith("select")],
          ["select types=1 multiple=1 persist_mode=2 cursor_mode=1 restore_token=saved-1"])
    check("token: still read 4 s after the wish", out[-2], "pixel 0 0 FF0000 current")
    check("token: session closed after the warm time",
          [line for line in fake if line == "session-close"], ["session-close"])
    check("token: no frame at rest", out[-1], "pixel 0 0 noframe")

    # A token file that is not a token is a miss: the portal asks again.
    with open(token_file, "w") as f:
        f.write("not a token\n")
    out, fake, _ = run("cast", ["want", "1", "wait", "live", "10000"], kind="screencast", env=env)
    check("bad token: a miss", [line for line in fake if line.startswith("select")],
          ["select types=1 multiple=1 persist_mode=2 cursor_mode=1"])

    # A Start the user takes long to answer: asking from the start (no token
    # was sent), still asking past our wait, the answer still taken, and a
    # new wish waits for it with no second session.
    os.remove(token_file)
    out, fake, _ = run("cast-slow:1500", ["want", "1", "wait", "asking", "700", "wait",
                                          "still-asking", "3000",
                                          "want", "0", "want", "1", "state",
                                          "wait", "live", "5000", "read", "0", "0"],
                       timeout_ms=800, kind="screencast", env=env)
    check("slow start", out[1:], ["state asking ", "state still-asking ", "state still-asking ",
                                  "state live ", "pixel 0 0 FF0000 current"])
    check("slow start: one session", [line for line in fake if line == "start"], ["start"])

    # Forced, a session that brings no picture is told, and reads fail: a
    # refusal, no frame within the deadline, a session the desktop closes
    # while wanted, and streams PipeWire does not take (a client that cannot
    # export a node: every connect fails), which go with the connection.
    no_export = os.path.join(env["XDG_RUNTIME_DIR"], "no-export")
    os.makedirs(no_export, exist_ok=True)
    with open(os.path.join(no_export, "client.conf"), "w") as f:
        f.write("context.spa-libs = { support.* = support/libspa-support }\n"
                "context.modules = [ { name = libpipewire-module-protocol-native } ]\n")
    for mode, state, streams_refused in [
            ("cast-refuse", "refused the desktop portal refused to share the screen", False),
            ("cast-silent", "failed the desktop's screen cast sends no pictures", False),
            ("cast-closed", "failed the desktop stopped sharing the screen", False),
            ("cast", "failed the screen cast's connection to PipeWire could not be made", True)]:
        probe_env = dict(env, PIPEWIRE_CONFIG_DIR=no_export) if streams_refused else env
        out, fake, _ = run(mode, ["want", "1", "wait", state.split()[0], "8000", "read", "0", "0"],
                           kind="screencast", env=env, probe_env=probe_env,
                           memcheck=streams_refused)
        check(f"{mode}, forced", out[1:], [f"state {state}", "pixel 0 0 failed"])
    # Under auto the screenshot takes over (its 4 x 2 picture, with a gray of
    # 40 below) from a refusal, from a stream with no frame, and from buffers
    # no frame has filled, which are none.
    for mode in ["cast-refuse", "cast-silent", "cast-unfilled", "ok"]:
        out, fake, _ = run(mode, ["kind", "want", "1", "wait", "live", "8000", "kind",
                                  "read", "0", "1"], kind="auto", env=env)
        check(f"{mode} under auto: the screenshot takes over", out[1:],
              ["kind screencast", "state live ", "kind portal", "pixel 0 1 282828 current"])


if not args.cast:
    screenshot_cases()
    shortcut_cases()
else:
    with tempfile.TemporaryDirectory(prefix="huevex-cast-") as runtime:
        env = dict(os.environ, XDG_RUNTIME_DIR=runtime, PIPEWIRE_RUNTIME_DIR=runtime,
                   XDG_STATE_HOME=os.path.join(runtime, "state"))
        env.pop("WAYLAND_DISPLAY", None)
        daemons = start_pipewire(runtime, env)
        if daemons is None:
            sys.exit(77)
        try:
            screencast_cases(env, env["XDG_STATE_HOME"])
        finally:
            stop(daemons)
sys.exit(checks.finish())
