#!/usr/bin/env python3
"""A counting X protocol proxy: clients connect to display :TO, the proxy
forwards everything to display :FROM unchanged (TO, or the next free
number; "ready :NUMBER" says which) and writes one line per
request and per reply to LOG:

    <monotonic seconds> q <major opcode> <minor>   a request
    <monotonic seconds> r                          a reply (one round trip)
    <monotonic seconds> e <extension> <major>      an extension's opcode
    <monotonic seconds> s <root window>            the screen's root, once

Screen reads show as GetImage (73) or MIT-SHM's ShmGetImage (the extension's
major opcode, minor 4); these and CopyArea (62) carry the drawable they read
from as a third field, so that reads of the root can be told from copies
between a program's own pixmaps. Xlib waits for every reply, so replies are
the client's round trips.

    xproxy.py FROM TO LOG
"""

import select
import signal
import socket
import struct
import sys
import time


class Direction:
    def __init__(self):
        self.buffer = b""
        self.setup = True


class Connection:
    def __init__(self, client, server, log):
        self.client, self.server, self.log = client, server, log
        self.up, self.down = Direction(), Direction()
        self.order = "<"
        self.sequence = 0
        self.extension_queries = {}

    def from_client(self, data):
        d = self.up
        d.buffer += data
        now = time.monotonic()
        while True:
            b = d.buffer
            if d.setup:
                if len(b) < 12:
                    return
                self.order = "<" if b[0:1] == b"l" else ">"
                name, auth = struct.unpack(self.order + "HH", b[6:10])
                size = 12 + (name + 3) // 4 * 4 + (auth + 3) // 4 * 4
                if len(b) < size:
                    return
                d.setup = False
            else:
                if len(b) < 4:
                    return
                opcode, minor = b[0], b[1]
                (length,) = struct.unpack(self.order + "H", b[2:4])
                if length == 0:  # BIG-REQUESTS
                    if len(b) < 8:
                        return
                    (length,) = struct.unpack(self.order + "I", b[4:8])
                size = length * 4
                if size == 0 or len(b) < size:
                    return
                self.sequence = (self.sequence + 1) & 0xFFFF
                if opcode == 98:  # QueryExtension
                    (n,) = struct.unpack(self.order + "H", b[4:6])
                    self.extension_queries[self.sequence] = b[8:8 + n].decode(errors="replace")
                if opcode in (62, 73) or (opcode >= 128 and minor == 4 and size >= 8):
                    (drawable,) = struct.unpack(self.order + "I", b[4:8])
                    self.log.write(f"{now:.6f} q {opcode} {minor} {drawable:#x}\n")
                else:
                    self.log.write(f"{now:.6f} q {opcode} {minor}\n")
            d.buffer = d.buffer[size:]

    def from_server(self, data):
        d = self.down
        d.buffer += data
        now = time.monotonic()
        while True:
            b = d.buffer
            if d.setup:
                if len(b) < 8:
                    return
                (length,) = struct.unpack(self.order + "H", b[6:8])
                size = 8 + 4 * length
                if len(b) < size:
                    return
                if b[0] == 1:  # accepted: the first screen's root follows the formats
                    vendor, _, _, formats = struct.unpack(self.order + "HHBB", b[24:30])
                    at = 40 + (vendor + 3) // 4 * 4 + 8 * formats
                    (root,) = struct.unpack(self.order + "I", b[at:at + 4])
                    self.log.write(f"{now:.6f} s {root:#x}\n")
                d.setup = False
            else:
                if len(b) < 32:
                    return
                kind = b[0] & 0x7F
                size = 32
                if kind in (1, 35):  # a reply, or a generic event with a tail
                    (extra,) = struct.unpack(self.order + "I", b[4:8])
                    size += 4 * extra
                if len(b) < size:
                    return
                if kind == 1:
                    (sequence,) = struct.unpack(self.order + "H", b[2:4])
                    name = self.extension_queries.pop(sequence, None)
                    if name and b[8]:
                        self.log.write(f"{now:.6f} e {name} {b[9]}\n")
                    self.log.write(f"{now:.6f} r\n")
            d.buffer = d.buffer[size:]


def main():
    source, target, log_path = int(sys.argv[1]), int(sys.argv[2]), sys.argv[3]
    # Abstract sockets, which Xlib tries first: nothing on disk to clash with
    # another server's socket file.
    listener = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
    while True:
        try:
            listener.bind(f"\0/tmp/.X11-unix/X{target}")
            break
        except OSError:
            target += 1  # taken: the next free number
    listener.listen(16)
    log = open(log_path, "w", buffering=1 << 16)
    running = True

    def stop(*_):
        nonlocal running
        running = False

    signal.signal(signal.SIGTERM, stop)
    print(f"ready :{target}", flush=True)
    connections = {}
    try:
        while running:
            sockets = [listener, *connections]  # each end once: a second recv would block
            try:
                readable, _, _ = select.select(sockets, [], [], 0.5)
            except InterruptedError:
                continue
            for s in readable:
                if s is listener:
                    client, _ = listener.accept()
                    server = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
                    server.connect(f"\0/tmp/.X11-unix/X{source}")
                    connection = Connection(client, server, log)
                    connections[client] = connections[server] = connection
                    continue
                connection = connections.get(s)
                if connection is None:
                    continue
                data = s.recv(1 << 16)
                if not data:
                    for end in (connection.client, connection.server):
                        connections.pop(end, None)
                        end.close()
                    continue
                if s is connection.client:
                    connection.server.sendall(data)
                    connection.from_client(data)
                else:
                    connection.client.sendall(data)
                    connection.from_server(data)
    finally:
        log.close()
        listener.close()


if __name__ == "__main__":
    main()
