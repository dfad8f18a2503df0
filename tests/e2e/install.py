"""The built programs, the sample winmail.dat files and those made to order, and program
directories: the filter looks for tnef and rtf2html and makes wmd_temp beside itself. Run as
root, the filter runs them as another user under a sandbox that lets them read only their own
files: a program directory holds copies, not links into the build tree."""
import ctypes
import errno
import io
import os
import pwd
import shutil
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
REPOSITORY = os.path.dirname(os.path.dirname(HERE))
BUILD = os.path.join(REPOSITORY, "build")
SAMPLE_DIR = os.environ.get("TNEF_SAMPLES") or os.path.join(REPOSITORY, "tests", "data", "tnef")
REAL_SAMPLE_DIR = os.path.join(REPOSITORY, "tests", "data", "tnef-real")
SYSTEM_TNEF = "/usr/bin/tnef"
SYSTEM_YTNEF = "/usr/bin/ytnef"
# The filter's list of media types in every test, so that no test depends on the system's
# (a test that wants the system's removes the setting).
MIME_TYPES = os.path.join(REPOSITORY, "tests", "data", "mime.types")
os.environ.setdefault("VERROWICK_MIME_TYPES", MIME_TYPES)
sys.path.insert(0, os.path.join(REPOSITORY, "tools"))
from tnef_writer import Embedded, Ole, write_tnef  # noqa: E402,F401


def built(name, variable):
    """The built program NAME: $VARIABLE, else build/NAME of this checkout."""
    path = os.environ.get(variable) or os.path.join(BUILD, name)
    if not os.path.isfile(path):
        raise RuntimeError(f"{path} is missing: build it or set {variable}")
    return os.path.abspath(path)


def sample(name, real=False):
    """The winmail.dat NAME of tests/data/tnef, or with REAL of tests/data/tnef-real."""
    with open(os.path.join(REAL_SAMPLE_DIR if real else SAMPLE_DIR, name + ".tnef"), "rb") as f:
        return f.read()


def made(*args, **kwargs):
    """A winmail.dat written by tools/tnef_writer.py's write_tnef with ARGS and KWARGS."""
    out = io.BytesIO()
    write_tnef(out, *args, **kwargs)
    return out.getvalue()


def sample_names():
    return sorted(n[:-5] for n in os.listdir(SAMPLE_DIR) if n.endswith(".tnef"))


def no_landlock():
    """Why the filter's converters run without Landlock here; None when they run under it."""
    if os.environ.get("VERROWICK_NO_LANDLOCK") == "1":
        return "Landlock is turned off by VERROWICK_NO_LANDLOCK"
    libc = ctypes.CDLL(None, use_errno=True)
    if libc.syscall(444, None, 0, 1) > 0:  # landlock_create_ruleset(.., VERSION)
        return None
    error = ctypes.get_errno()
    reasons = {errno.ENOSYS: "the kernel does not offer Landlock (Linux 5.13 or later is needed)",
               errno.EOPNOTSUPP: "Landlock is not enabled in this kernel (see the lsm= boot "
                                 "parameter)"}
    return reasons.get(error, "Landlock cannot be used: " + os.strerror(error))


def converter_user():
    """The user that runs the converters when the filter runs as root."""
    users = {user.pw_name: user for user in pwd.getpwall()}
    return users.get("verrowick") or users.get("nobody")


def sandbox_lines():
    """The start-up lines that say whom the converters run as and how they are confined."""
    lines = []
    if os.geteuid() == 0:
        user = converter_user()
        lines.append(f"* The converters run as user {user.pw_name} (uid {user.pw_uid}, "
                     f"gid {user.pw_gid})")
    if no_landlock():
        lines.append("* The converters run without a file-system sandbox: " + no_landlock())
    return lines


def fake_tnef(how):
    """A tnef script of its own that behaves as fake_tnef.sh HOW."""
    with open(os.path.join(HERE, "fake_tnef.sh")) as f:
        body = f.read().split("\n", 1)[1]
    return f'#!/bin/sh\nset -- {how} "$@"\n{body}'


class ProgramDir:
    """A link to the filter in directory PATH, beside the tnef ("real", None or a behaviour of
    fake_tnef.sh), if wanted a copy of the project's rtf2html, and ytnef: the real one, None,
    or a script's text."""

    def __init__(self, path, tnef="real", rtf2html=True, ytnef=None):
        self.path, self.work_dir = path, os.path.join(path, "wmd_temp")
        os.makedirs(path)
        self.binary = os.path.join(path, "verrowick")
        os.symlink(built("verrowick", "VERROWICK"), self.binary)
        self.rtf2html = os.path.join(path, "rtf2html") if rtf2html else None
        if rtf2html:
            shutil.copy(built("rtf2html", "RTF2HTML"), self.rtf2html)
        for name, how, system in (("tnef", tnef, SYSTEM_TNEF), ("ytnef", ytnef, SYSTEM_YTNEF)):
            if how == "real":
                os.symlink(system, os.path.join(path, name))
            elif how:
                self.put(name, fake_tnef(how) if name == "tnef" else how)

    def put(self, name, text, mode=0o755):
        """Writes TEXT as the program NAME of the directory."""
        with open(os.path.join(self.path, name), "w") as f:
            f.write(text)
        os.chmod(f.name, mode)
