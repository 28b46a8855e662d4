"""A scratch root: a copy-on-write view of this machine's root file system in which packages
can be installed and removed without changing the machine. Writes land in a tmpfs; closing it,
or the end of the mount namespace it was made in, discards them. Needs root, and is best made
in a mount namespace of the caller's own (the package test runs in one)."""

import os
import subprocess
import tempfile


class ScratchRoot:
    def __init__(self):
        self._base = tempfile.mkdtemp(prefix="pelko-scratch-")
        self.path = os.path.join(self._base, "root")
        self._upper = os.path.join(self._base, "upper")
        subprocess.run(["mount", "-t", "tmpfs", "tmpfs", self._base], check=True)
        for name in ("upper", "work", "root"):
            os.mkdir(os.path.join(self._base, name))
        subprocess.run(["mount", "-t", "overlay", "overlay", "-o",
                        "lowerdir=/,upperdir=%s,workdir=%s/work" % (self._upper, self._base), self.path], check=True)
        # What maintainer scripts and systemd-analyze expect to find.
        subprocess.run(["mount", "-t", "proc", "proc", self.file("/proc")], check=True)
        subprocess.run(["mount", "--rbind", "/dev", self.file("/dev")], check=True)

    def file(self, path):
        """The host's path of `path` inside the scratch root."""
        return self.path + path

    def run(self, *command, check=True):
        """Runs `command` chrooted into the scratch root; returns the completed process."""
        result = subprocess.run(["chroot", self.path, *command], capture_output=True, text=True)
        if check and result.returncode != 0:
            raise AssertionError("%s failed (%d):\n%s%s" % (" ".join(command), result.returncode,
                                                           result.stdout, result.stderr))
        return result

    def changed_paths(self):
        """Every path that was created, changed or deleted inside the scratch root."""
        changed = []
        for directory, subdirectories, files in os.walk(self._upper):
            for name in subdirectories + files:
                changed.append(os.path.join(directory, name)[len(self._upper):])
        return sorted(changed)

    def close(self):
        subprocess.run(["umount", "--recursive", "--lazy", self.path], check=True)
        subprocess.run(["umount", self._base], check=True)
        os.rmdir(self._base)
