"""Starts the command of a systemd service the way systemd would start it from its unit file,
as far as that can be done without a running systemd. The package tests run the installed
server through it, in a scratch root.

    python3 unit_sandbox.py ROOT UNIT_FILE

ROOT is the file system that the service sees, UNIT_FILE the unit's path inside it. Must run as
root; the mounts are made in a mount namespace of the service's own, as systemd makes them. Every
directive of the unit's [Service] section is either applied below or listed in NOT_APPLIED with
the reason; any other directive stops the start, so that a directive added to the unit cannot go
untried by accident. Where systemd builds a restriction from several mechanisms (mounts, a
seccomp filter, a capability), each is built here the same way, from systemd's own lists of
system calls (systemd-analyze syscall-filter).
"""

import ctypes
import errno
import os
import secrets
import socket
import subprocess
import sys

NOT_APPLIED = {
    "Type": "the caller waits for the server's own start message",
    "Restart": "supervision belongs to systemd; the caller stops the server itself",
    "KillSignal": "supervision belongs to systemd; the caller stops the server itself",
    "KillMode": "supervision belongs to systemd; the caller stops the server itself",
    "TimeoutStopSec": "supervision belongs to systemd; the caller stops the server itself",
    "RemoveIPC": "a clean-up after the service has stopped",
}

MS_RDONLY, MS_NOSUID, MS_NODEV, MS_NOEXEC = 1, 2, 4, 8
MS_REMOUNT, MS_BIND, MS_REC, MS_PRIVATE = 32, 4096, 16384, 1 << 18
CLONE_NEWNS, CLONE_NEWUTS = 0x00020000, 0x04000000
NAMESPACE_FLAGS = (0x00020000, 0x02000000, 0x04000000, 0x08000000, 0x10000000, 0x20000000,
                   0x40000000, 0x00000080)  # mnt, cgroup, uts, ipc, user, pid, net, time
PR_CAPBSET_DROP, PR_SET_NO_NEW_PRIVS = 24, 38

SCMP_ACT_ALLOW = 0x7FFF0000
SCMP_CMP_NE, SCMP_CMP_EQ, SCMP_CMP_GE, SCMP_CMP_MASKED_EQ = 1, 4, 5, 7
PROT_WRITE, PROT_EXEC, SHM_EXEC = 2, 4, 0o100000
O_CREAT, S_ISUID, S_ISGID = 0o100, 0o4000, 0o2000
AF_MAX = 46

libc = ctypes.CDLL(None, use_errno=True)
libseccomp = ctypes.CDLL("libseccomp.so.2", use_errno=True)
libseccomp.seccomp_init.restype = ctypes.c_void_p
libseccomp.seccomp_init.argtypes = [ctypes.c_uint32]
libseccomp.seccomp_syscall_resolve_name.argtypes = [ctypes.c_char_p]
libseccomp.seccomp_load.argtypes = [ctypes.c_void_p]


class ArgumentComparison(ctypes.Structure):
    _fields_ = [("arg", ctypes.c_uint), ("op", ctypes.c_int), ("datum_a", ctypes.c_uint64),
                ("datum_b", ctypes.c_uint64)]


libseccomp.seccomp_rule_add_array.argtypes = [ctypes.c_void_p, ctypes.c_uint32, ctypes.c_int, ctypes.c_uint,
                                              ctypes.POINTER(ArgumentComparison)]


def errno_action(number):
    return 0x00050000 | (number & 0xFFFF)


def check(result, what):
    if result < 0:
        raise OSError(-result, "%s: %s" % (what, os.strerror(-result)))


def check_libc(result, what):
    if result != 0:
        number = ctypes.get_errno()
        raise OSError(number, "%s: %s" % (what, os.strerror(number)))


# --- the unit ---

def read_service_section(path):
    """The [Service] directives of the unit file, as (key, value) pairs in file order."""
    directives, section = [], None
    with open(path) as unit:
        for raw in unit:
            line = raw.strip()
            if not line or line[0] in "#;":
                continue
            if line.startswith("["):
                section = line
            elif section == "[Service]":
                key, _, value = line.partition("=")
                directives.append((key.strip(), value.strip()))
    return directives


class Service:
    """The unit's directives by name; one given more than once keeps all its values, in order."""

    def __init__(self, directives):
        self.values = {}
        for key, value in directives:
            self.values.setdefault(key, []).append(value)

    def last(self, key, default=""):
        return self.values.get(key, [default])[-1]

    def is_set(self, key):
        return self.last(key).lower() in ("yes", "true", "on", "1")

    def words(self, key):
        return [word for value in self.values.get(key, []) for word in value.split()]


# --- system call sets ---

_groups = {}


def expand(names):
    """System call names, with every "@group" replaced by its members, as systemd lists them."""
    result = set()
    for name in names:
        if not name.startswith("@"):
            result.add(name)
            continue
        if name not in _groups:
            listing = subprocess.run(["systemd-analyze", "syscall-filter", name], check=True,
                                     capture_output=True, text=True).stdout.splitlines()
            _groups[name] = [line.strip() for line in listing[1:] if line.strip() and not line.strip().startswith("#")]
        result |= expand(_groups[name])
    return result


def allowed_system_calls(service):
    """The allow list of SystemCallFilter= (None without one), as systemd combines the
    assignments: the first decides the kind of list, and an allow list always holds @default."""
    allowed = None
    for value in service.values.get("SystemCallFilter", []):
        inverted = value.startswith("~")
        names = expand(value.lstrip("~").split())
        if allowed is None:
            if inverted:
                raise SystemExit("unit_sandbox: a SystemCallFilter= deny list is not handled")
            allowed = expand(["@default"]) | names
        elif inverted:
            allowed -= names
        else:
            allowed |= names
    return allowed


def syscall_number(name):
    """The native number of the system call, or None when this architecture has none."""
    number = libseccomp.seccomp_syscall_resolve_name(name.encode())
    return number if number >= 0 else None


class SeccompFilter:
    """One seccomp filter; the kernel runs all loaded filters and the strictest answer wins,
    which is how systemd stacks one filter per setting. Holds the native architecture only,
    as SystemCallArchitectures=native asks."""

    def __init__(self, default_action):
        self.context = libseccomp.seccomp_init(default_action)
        if not self.context:
            raise OSError("seccomp_init failed")

    def add(self, action, name, *comparisons):
        number = syscall_number(name)
        if number is None:
            return
        array = (ArgumentComparison * max(1, len(comparisons)))(*[ArgumentComparison(*c) for c in comparisons])
        result = libseccomp.seccomp_rule_add_array(self.context, action, number, len(comparisons), array)
        if result != -errno.EEXIST:
            check(result, "seccomp rule for " + name)

    def load(self):
        check(libseccomp.seccomp_load(self.context), "seccomp_load")


def seccomp_filters(service):
    """The filters that systemd would load for the unit, in its order."""
    filters = []
    denied = set()
    if service.is_set("ProtectClock"):
        denied |= expand(["@clock"])
    if service.is_set("ProtectKernelModules"):
        denied |= expand(["@module"])
    if service.is_set("ProtectKernelLogs"):
        denied.add("syslog")
    if service.is_set("PrivateDevices"):
        denied |= expand(["@raw-io"])
    if service.is_set("ProtectHostname"):
        denied |= {"sethostname", "setdomainname"}
    if denied:
        protect = SeccompFilter(SCMP_ACT_ALLOW)
        for name in sorted(denied):
            protect.add(errno_action(errno.EPERM), name)
        filters.append(protect)

    families = service.words("RestrictAddressFamilies")
    if families:
        allowed_families = {int(getattr(socket, name)) for name in families}
        sockets = SeccompFilter(SCMP_ACT_ALLOW)
        for family in range(AF_MAX):
            if family not in allowed_families:
                sockets.add(errno_action(errno.EAFNOSUPPORT), "socket", (0, SCMP_CMP_EQ, family, 0))
        sockets.add(errno_action(errno.EAFNOSUPPORT), "socket", (0, SCMP_CMP_GE, AF_MAX, 0))
        filters.append(sockets)

    if service.is_set("RestrictNamespaces"):
        namespaces = SeccompFilter(SCMP_ACT_ALLOW)
        namespaces.add(errno_action(errno.EPERM), "setns")
        # clone3 passes its flags in memory that a filter cannot read: glibc falls back to clone.
        namespaces.add(errno_action(errno.ENOSYS), "clone3")
        for flag in NAMESPACE_FLAGS:
            for name in ("unshare", "clone"):
                namespaces.add(errno_action(errno.EPERM), name, (0, SCMP_CMP_MASKED_EQ, flag, flag))
        filters.append(namespaces)

    if service.is_set("MemoryDenyWriteExecute"):
        memory = SeccompFilter(SCMP_ACT_ALLOW)
        write_exec = PROT_WRITE | PROT_EXEC
        memory.add(errno_action(errno.EPERM), "mmap", (2, SCMP_CMP_MASKED_EQ, write_exec, write_exec))
        memory.add(errno_action(errno.EPERM), "mprotect", (2, SCMP_CMP_MASKED_EQ, PROT_EXEC, PROT_EXEC))
        memory.add(errno_action(errno.EPERM), "pkey_mprotect", (2, SCMP_CMP_MASKED_EQ, PROT_EXEC, PROT_EXEC))
        memory.add(errno_action(errno.EPERM), "shmat", (2, SCMP_CMP_MASKED_EQ, SHM_EXEC, SHM_EXEC))
        filters.append(memory)

    if service.is_set("RestrictRealtime"):
        realtime = SeccompFilter(SCMP_ACT_ALLOW)
        # Only SCHED_OTHER, SCHED_BATCH and SCHED_IDLE stay allowed.
        for policy in (1, 2, 4, 6):
            realtime.add(errno_action(errno.EPERM), "sched_setscheduler", (1, SCMP_CMP_EQ, policy, 0))
        realtime.add(errno_action(errno.EPERM), "sched_setscheduler", (1, SCMP_CMP_GE, 7, 0))
        filters.append(realtime)

    if service.is_set("RestrictSUIDSGID"):
        suid = SeccompFilter(SCMP_ACT_ALLOW)
        for bit in (S_ISUID, S_ISGID):
            for name, mode_argument in (("chmod", 1), ("fchmod", 1), ("fchmodat", 2), ("mkdir", 1),
                                        ("mkdirat", 2), ("mknod", 1), ("mknodat", 2), ("creat", 1)):
                suid.add(errno_action(errno.EPERM), name, (mode_argument, SCMP_CMP_MASKED_EQ, bit, bit))
            for name, flags_argument in (("open", 1), ("openat", 2)):
                suid.add(errno_action(errno.EPERM), name, (flags_argument, SCMP_CMP_MASKED_EQ, O_CREAT, O_CREAT),
                         (flags_argument + 1, SCMP_CMP_MASKED_EQ, bit, bit))
        suid.add(errno_action(errno.ENOSYS), "openat2")
        filters.append(suid)

    if service.is_set("LockPersonality"):
        personality = SeccompFilter(SCMP_ACT_ALLOW)
        personality.add(errno_action(errno.EPERM), "personality", (0, SCMP_CMP_NE, 0, 0))  # PER_LINUX
        filters.append(personality)

    # Last, as systemd does: loading a filter is itself a system call that the list may not hold.
    allowed = allowed_system_calls(service)
    if allowed is not None:
        only = SeccompFilter(errno_action(getattr(errno, service.last("SystemCallErrorNumber", "EPERM"))))
        for name in sorted(allowed):
            only.add(SCMP_ACT_ALLOW, name)
        filters.append(only)
    return filters


# --- the file system ---

def mount(source, target, fstype=None, flags=0, data=None):
    encode = lambda text: text.encode() if text is not None else None
    check_libc(libc.mount(encode(source), encode(target), encode(fstype), ctypes.c_ulong(flags), encode(data)),
               "mount %s on %s" % (source or fstype, target))


def mount_points_under(path):
    """Every mount point at or below `path`, parents first."""
    with open("/proc/self/mountinfo") as table:
        points = [line.split()[4] for line in table]
    return [point for point in points if point == path or point.startswith(path.rstrip("/") + "/")]


def make_read_only(path):
    """Read-only from here on, with every mount below it."""
    mount(path, path, flags=MS_BIND | MS_REC)
    for point in mount_points_under(path):
        mount(None, point, flags=MS_REMOUNT | MS_BIND | MS_RDONLY | MS_NOSUID | MS_NODEV)


def make_inaccessible(directory):
    """Neither readable nor writable for the service; systemd covers such paths with mode 0000.
    A missing directory, or a link to another one, is left as it is."""
    if os.path.isdir(directory) and not os.path.islink(directory):
        mount("tmpfs", directory, "tmpfs", MS_RDONLY | MS_NOSUID | MS_NODEV | MS_NOEXEC, "mode=000")


def build_private_devices(root):
    """The short /dev of PrivateDevices=, as systemd lays it out: the pseudo devices and the
    terminal subsystem, no disks."""
    dev = root + "/dev"
    mount("tmpfs", dev, "tmpfs", MS_NOSUID | MS_NOEXEC, "mode=755")
    os.mkdir(dev + "/char")
    for name in ("null", "zero", "full", "random", "urandom", "tty"):
        open(dev + "/" + name, "w").close()
        mount("/dev/" + name, dev + "/" + name, flags=MS_BIND)
        device = os.stat("/dev/" + name).st_rdev
        os.symlink("../" + name, "%s/char/%d:%d" % (dev, os.major(device), os.minor(device)))
    for name in ("pts", "shm", "mqueue", "hugepages"):
        os.mkdir(dev + "/" + name)
    mount("/dev/pts", dev + "/pts", flags=MS_BIND)
    mount("tmpfs", dev + "/shm", "tmpfs", MS_NOSUID | MS_NODEV, "mode=1777")
    for name, target in (("ptmx", "pts/ptmx"), ("log", "/run/systemd/journal/dev-log"), ("fd", "/proc/self/fd"),
                         ("stdin", "/proc/self/fd/0"), ("stdout", "/proc/self/fd/1"), ("stderr", "/proc/self/fd/2")):
        os.symlink(target, dev + "/" + name)


def build_file_system(root, service):
    for path in service.words("ReadWritePaths"):
        mount(root + path, root + path, flags=MS_BIND | MS_REC)

    proc_options = "hidepid=" + service.last("ProtectProc") if service.last("ProtectProc") else None
    mount("proc", root + "/proc", "proc", MS_NOSUID | MS_NODEV | MS_NOEXEC, proc_options)
    mount("/sys", root + "/sys", flags=MS_BIND | MS_REC)
    if service.is_set("ProtectKernelTunables"):
        for name in ("sys", "sysrq-trigger", "latency_stats", "acpi", "timer_stats", "asound", "bus", "fs", "irq"):
            if os.path.exists(root + "/proc/" + name):
                make_read_only(root + "/proc/" + name)
        make_read_only(root + "/sys")
    if service.is_set("ProtectControlGroups"):
        make_read_only(root + "/sys/fs/cgroup")
    if service.is_set("ProtectKernelModules"):
        for path in ("/usr/lib/modules", "/lib/modules"):
            make_inaccessible(root + path)
    # ProtectKernelLogs= also hides /proc/kmsg, which is root's alone (mode 0400) and the service
    # has no capabilities; the system call that reads the log is denied by a filter below.

    if service.is_set("PrivateDevices"):
        build_private_devices(root)
    else:
        mount("/dev", root + "/dev", flags=MS_BIND | MS_REC)

    if service.is_set("PrivateTmp"):
        for path in ("/tmp", "/var/tmp"):
            mount("tmpfs", root + path, "tmpfs", MS_NOSUID | MS_NODEV, "mode=1777")
    if service.last("ProtectHome") not in ("", "no", "false"):
        if service.last("ProtectHome") != "yes":
            raise SystemExit("unit_sandbox: only ProtectHome=yes is handled")
        for path in ("/home", "/root", "/run/user"):
            make_inaccessible(root + path)

    if service.last("ProtectSystem") not in ("", "no", "false"):
        if service.last("ProtectSystem") != "strict":
            raise SystemExit("unit_sandbox: only ProtectSystem=strict is handled")
        # Everything but the API file systems and the paths set apart above; the root is the
        # one mount that they are not, so only it is turned read-only.
        mount(None, root, flags=MS_REMOUNT | MS_BIND | MS_RDONLY)


# --- the process ---

def account(root, user_name, group_name):
    """uid, gid, supplementary gids, home and shell from the root's own user database."""
    with open(root + "/etc/passwd") as passwd:
        entry = next(line.rstrip("\n").split(":") for line in passwd if line.split(":")[0] == user_name)
    with open(root + "/etc/group") as group_file:
        groups = [line.rstrip("\n").split(":") for line in group_file]
    gid = int(next(g[2] for g in groups if g[0] == group_name)) if group_name else int(entry[3])
    supplementary = sorted({gid} | {int(g[2]) for g in groups if user_name in g[3].split(",")})
    return int(entry[2]), gid, supplementary, entry[5], entry[6]


def service_environment(root, user, home, shell):
    """What systemd hands a system service that sets no Environment= of its own and whose
    output is not the journal (which would add JOURNAL_STREAM)."""
    search_path = subprocess.run(["systemd-path", "search-binaries-default"], check=True,
                                 capture_output=True, text=True).stdout.strip()
    # Without a configured locale systemd gives its services C.UTF-8.
    environment = {"PATH": search_path, "LANG": "C.UTF-8", "INVOCATION_ID": secrets.token_hex(16),
                   "SYSTEMD_EXEC_PID": str(os.getpid())}
    if os.path.exists(root + "/etc/locale.conf"):
        with open(root + "/etc/locale.conf") as locale:
            for line in locale:
                key, _, value = line.strip().partition("=")
                if key == "LANG":
                    environment["LANG"] = value.strip('"')
    if user:
        environment.update(USER=user, LOGNAME=user, HOME=home)
        # A login shell that refuses logins is not handed on.
        if not shell.endswith(("/nologin", "/false")):
            environment["SHELL"] = shell
    return environment


def start(root, unit_path):
    root = os.path.abspath(root)
    directives = read_service_section(root + unit_path)
    applied = {"User", "Group", "WorkingDirectory", "ExecStart", "UMask", "ProtectSystem", "ReadWritePaths",
               "ProtectHome", "PrivateTmp", "ProtectProc", "PrivateDevices", "ProtectKernelTunables",
               "ProtectKernelModules", "ProtectKernelLogs", "ProtectControlGroups", "ProtectClock",
               "ProtectHostname", "NoNewPrivileges", "CapabilityBoundingSet", "RestrictAddressFamilies",
               "RestrictNamespaces", "RestrictRealtime", "RestrictSUIDSGID", "LockPersonality",
               "MemoryDenyWriteExecute", "SystemCallArchitectures", "SystemCallFilter", "SystemCallErrorNumber"}
    unknown = sorted({key for key, _ in directives} - applied - set(NOT_APPLIED))
    if unknown:
        raise SystemExit("unit_sandbox: the unit has directives this sandbox does not apply: " + ", ".join(unknown))
    service = Service(directives)
    if service.last("SystemCallArchitectures", "native") != "native":
        raise SystemExit("unit_sandbox: only SystemCallArchitectures=native is handled")
    if service.words("CapabilityBoundingSet"):
        raise SystemExit("unit_sandbox: only an empty CapabilityBoundingSet= is handled")

    user, group = service.last("User") or None, service.last("Group") or None
    uid, gid, groups, home, shell = account(root, user, group) if user else (0, 0, [0], "/root", "/bin/sh")
    environment = service_environment(root, user, home, shell)
    filters = seccomp_filters(service)
    command = service.last("ExecStart").split()

    check_libc(libc.unshare(CLONE_NEWNS | (CLONE_NEWUTS if service.is_set("ProtectHostname") else 0)), "unshare")
    mount(None, "/", flags=MS_REC | MS_PRIVATE)
    build_file_system(root, service)
    os.chroot(root)
    os.chdir(service.last("WorkingDirectory", "/"))
    os.umask(int(service.last("UMask", "0022"), 8))

    if "CapabilityBoundingSet" in service.values:
        with open("/proc/sys/kernel/cap_last_cap") as last:
            for capability in range(int(last.read()) + 1):
                check_libc(libc.prctl(PR_CAPBSET_DROP, capability, 0, 0, 0), "dropping capability %d" % capability)
    os.setgroups(groups)
    os.setresgid(gid, gid, gid)
    os.setresuid(uid, uid, uid)
    if service.is_set("NoNewPrivileges") or filters:
        check_libc(libc.prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0), "no_new_privs")
    for seccomp_filter in filters:
        seccomp_filter.load()
    os.execve(command[0], command, environment)


if __name__ == "__main__":
    if len(sys.argv) != 3:
        raise SystemExit("usage: unit_sandbox.py ROOT UNIT_FILE")
    start(sys.argv[1], sys.argv[2])
