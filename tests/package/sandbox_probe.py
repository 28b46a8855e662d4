#!/usr/bin/python3
"""Run by the package tests in the place of the server, under the unit's hardening: prints, as
one JSON object, who it runs as and what it may and may not do."""

import ctypes
import errno
import json
import mmap
import os
import socket


def attempt(action):
    """"allowed", or the name of the error that refused the action."""
    try:
        action()
        return "allowed"
    except OSError as error:
        return errno.errorcode[error.errno]


def create_and_remove(directory):
    path = os.path.join(directory, "pelko-probe")
    with open(path, "w"):
        pass
    os.remove(path)


def new_socket(family, kind):
    socket.socket(family, kind).close()


def unshare_mounts():
    libc = ctypes.CDLL(None, use_errno=True)
    if libc.unshare(0x00020000) != 0:
        raise OSError(ctypes.get_errno(), "unshare")


# As the process was started: Python adds LC_CTYPE to os.environ itself in the C locale.
with open("/proc/self/environ", "rb") as environ:
    environment = sorted(entry.split(b"=", 1)[0].decode() for entry in environ.read().split(b"\0") if entry)
with open("/proc/self/status") as status:
    fields = dict(line.rstrip("\n").split(":\t", 1) for line in status if ":\t" in line)

print(json.dumps({
    "uid": os.getuid(), "gid": os.getgid(), "groups": os.getgroups(), "cwd": os.getcwd(),
    "umask": os.umask(0), "environment": environment,
    "status": {key: fields[key] for key in ("NoNewPrivs", "Seccomp", "CapEff", "CapBnd", "CapAmb")},
    "write": {directory: attempt(lambda: create_and_remove(directory))
              for directory in ("/var/lib/pelko", "/var/lib/pelko/bin", "/var/cache/pelko-probe", "/tmp")},
    "list": {directory: attempt(lambda: os.listdir(directory)) for directory in ("/home", "/root")},
    "tmp": os.listdir("/tmp"),
    "dev": sorted(os.listdir("/dev")),
    "other processes": sorted(int(name) for name in os.listdir("/proc") if name.isdigit() and int(name) != os.getpid()),
    "socket": {"AF_INET": attempt(lambda: new_socket(socket.AF_INET, socket.SOCK_STREAM)),
               "AF_INET6": attempt(lambda: new_socket(socket.AF_INET6, socket.SOCK_STREAM)),
               "AF_UNIX": attempt(lambda: new_socket(socket.AF_UNIX, socket.SOCK_STREAM)),
               "AF_NETLINK": attempt(lambda: new_socket(socket.AF_NETLINK, socket.SOCK_RAW)),
               "AF_PACKET": attempt(lambda: new_socket(socket.AF_PACKET, socket.SOCK_RAW))},
    "writable and executable memory": attempt(
        lambda: mmap.mmap(-1, 4096, prot=mmap.PROT_READ | mmap.PROT_WRITE | mmap.PROT_EXEC)),
    "mount namespace": attempt(unshare_mounts),
    "sethostname": attempt(lambda: socket.sethostname("probe")),
}))
