"""The built programs, the sample winmail.dat files, and program directories: the filter
looks for tnef and rtf2html and makes wmd_temp beside itself."""
import os
import shlex

HERE = os.path.dirname(os.path.abspath(__file__))
REPOSITORY = os.path.dirname(os.path.dirname(HERE))
BUILD = os.path.join(REPOSITORY, "build")
SAMPLE_DIR = os.environ.get("TNEF_SAMPLES") or os.path.join(REPOSITORY, "tests", "data", "tnef")
SYSTEM_TNEF = "/usr/bin/tnef"
SYSTEM_YTNEF = "/usr/bin/ytnef"
# The filter's list of media types in every test, so that no test depends on the system's
# (a test that wants the system's removes the setting).
MIME_TYPES = os.path.join(REPOSITORY, "tests", "data", "mime.types")
os.environ.setdefault("VERROWICK_MIME_TYPES", MIME_TYPES)


def built(name, variable):
    """The built program NAME: $VARIABLE, else build/NAME of this checkout."""
    path = os.environ.get(variable) or os.path.join(BUILD, name)
    if not os.path.isfile(path):
        raise RuntimeError(f"{path} is missing: build it or set {variable}")
    return os.path.abspath(path)


def sample(name):
    with open(os.path.join(SAMPLE_DIR, name + ".tnef"), "rb") as f:
        return f.read()


def sample_names():
    return sorted(n[:-5] for n in os.listdir(SAMPLE_DIR) if n.endswith(".tnef"))


class ProgramDir:
    """A link to the filter in directory PATH, beside the tnef ("real", None or a behaviour of
    fake_tnef.sh), if wanted the project's rtf2html, and ytnef: the real one, None, or a
    script's text."""

    def __init__(self, path, tnef="real", rtf2html=True, ytnef=None):
        self.path, self.work_dir = path, os.path.join(path, "wmd_temp")
        os.makedirs(path)
        self.binary = os.path.join(path, "verrowick")
        os.symlink(built("verrowick", "VERROWICK"), self.binary)
        self.rtf2html = os.path.join(path, "rtf2html") if rtf2html else None
        if rtf2html:
            os.symlink(built("rtf2html", "RTF2HTML"), self.rtf2html)
        tnef_path = os.path.join(path, "tnef")
        if tnef == "real":
            os.symlink(SYSTEM_TNEF, tnef_path)
        elif tnef:
            with open(tnef_path, "w") as f:
                fake = shlex.quote(os.path.join(HERE, "fake_tnef.sh"))
                f.write(f'#!/bin/sh\nexec sh {fake} {tnef} "$@"\n')
            os.chmod(tnef_path, 0o755)
        ytnef_path = os.path.join(path, "ytnef")
        if ytnef == "real":
            os.symlink(SYSTEM_YTNEF, ytnef_path)
        elif ytnef:
            with open(ytnef_path, "w") as f:
                f.write(ytnef)
            os.chmod(ytnef_path, 0o755)
