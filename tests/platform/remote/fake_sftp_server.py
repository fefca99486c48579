#!/usr/bin/env python3
"""A server that breaks the SFTP protocol in one way, started in place of
ssh by the client tests (its arguments, meant for ssh, are ignored). The way
is chosen by FAKE_SFTP_MODE: "wrong-id" answers the first request under
another id, "oversize" announces a reply longer than any allowed,
"version2" offers only version 2."""
import os
import struct
import sys

inp = sys.stdin.buffer
out = sys.stdout.buffer
mode = os.environ.get("FAKE_SFTP_MODE", "")


def read_packet():
    header = inp.read(4)
    if len(header) < 4:
        sys.exit(0)
    (length,) = struct.unpack(">I", header)
    return inp.read(length)


def send(body):
    out.write(struct.pack(">I", len(body)) + body)
    out.flush()


read_packet()  # INIT
send(bytes([2]) + struct.pack(">I", 2 if mode == "version2" else 3))
request = read_packet()
(request_id,) = struct.unpack(">I", request[1:5])
if mode == "wrong-id":
    send(bytes([101]) + struct.pack(">II", request_id + 1000, 0) + struct.pack(">I", 0) * 2)
elif mode == "oversize":
    out.write(struct.pack(">I", 0x7FFFFFFF))
    out.flush()
while inp.read(65536):
    pass
