#!/usr/bin/python3
"""Holds a TUN device open and records every packet routed into it.

    capture.py NAME LOG READY

Makes the TUN device NAME, writes "ready" to the file READY once it is
open, then appends one line per packet to LOG ("IPv4 SRC -> DST proto P"),
until SIGTERM. Inside a network namespace whose routes send everything
but loopback to NAME, LOG lists every packet that tried to leave.
Neighbour discovery and multicast listener reports, which the kernel sends
for the device itself, are recorded as "kernel ..." lines.
"""

import fcntl
import ipaddress
import os
import select
import signal
import struct
import sys

TUNSETIFF = 0x400454CA
IFF_TUN = 0x0001
IFF_NO_PI = 0x1000
KERNEL_ICMPV6 = {130, 131, 132, 133, 134, 135, 136, 137, 143}  # MLD and neighbour discovery

running = True


def stop(*_):
    global running
    running = False


def dns_question(payload):
    """The name a DNS query asks for, or None."""
    try:
        labels, i = [], 12
        while payload[i]:
            labels.append(payload[i + 1:i + 1 + payload[i]].decode("ascii", "replace"))
            i += 1 + payload[i]
        qtype = struct.unpack("!H", payload[i + 1:i + 3])[0]
        return "%s (type %d)" % (".".join(labels), qtype)
    except (IndexError, struct.error):
        return None


def describe(packet):
    version = packet[0] >> 4
    if version == 4 and len(packet) >= 20:
        src, dst = ipaddress.IPv4Address(packet[12:16]), ipaddress.IPv4Address(packet[16:20])
        text = "IPv4 %s -> %s proto %d" % (src, dst, packet[9])
        header = (packet[0] & 0x0F) * 4
        if packet[9] == 17 and len(packet) >= header + 8:
            port = struct.unpack("!H", packet[header + 2:header + 4])[0]
            text += " port %d" % port
            if port == 53:
                question = dns_question(packet[header + 8:])
                if question:
                    text += ": DNS query for " + question
        return text
    if version == 6 and len(packet) >= 40:
        src, dst = ipaddress.IPv6Address(packet[8:24]), ipaddress.IPv6Address(packet[24:40])
        proto = packet[6]
        kernel = proto == 58 and len(packet) > 40 and packet[40] in KERNEL_ICMPV6
        return "%sIPv6 %s -> %s proto %d" % ("kernel " if kernel else "", src, dst, proto)
    return "unknown packet of %d bytes" % len(packet)


def main():
    name, log, ready = sys.argv[1:4]
    signal.signal(signal.SIGTERM, stop)
    tun = os.open("/dev/net/tun", os.O_RDWR)
    fcntl.ioctl(tun, TUNSETIFF, struct.pack("16sH", name.encode(), IFF_TUN | IFF_NO_PI))
    with open(ready, "w") as f:
        f.write("ready\n")
    with open(log, "a", buffering=1) as out:
        while running:
            try:
                readable, _, _ = select.select([tun], [], [], 0.2)
            except InterruptedError:
                continue
            if readable:
                out.write(describe(os.read(tun, 65536)) + "\n")


if __name__ == "__main__":
    main()
