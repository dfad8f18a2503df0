"""Where the filter and the test data live, and program directories to run it from.

The filter looks for tnef and rtf2html beside its own file and makes its work
directory wmd_temp there, so every test runs its own copy of the binary from a
program directory of its own, holding the converters that the test wants.
"""
import os
import shutil
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
REPOSITORY = os.path.dirname(os.path.dirname(HERE))
SYSTEM_TNEF = "/usr/bin/tnef"
FAKE_TNEF_DIR = os.path.join(HERE, "fake_tnef")
RTF2HTML_STANDIN = os.path.join(HERE, "rtf2html_standin.sh")
SAMPLE_DIR = os.environ.get("TNEF_SAMPLES") or os.path.join(REPOSITORY, "tests", "data", "tnef")


def filter_binary():
    """The built filter: $VERROWICK, else build/verrowick of this checkout."""
    path = os.environ.get("VERROWICK") or os.path.join(REPOSITORY, "build", "verrowick")
    if not os.path.isfile(path):
        raise RuntimeError(f"the filter binary {path} is missing: build it or set VERROWICK")
    return path


def real_rtf2html():
    """The project's rtf2html if it has been built ($RTF2HTML, else beside the filter), or None."""
    path = os.environ.get("RTF2HTML") or os.path.join(os.path.dirname(filter_binary()), "rtf2html")
    return path if os.path.isfile(path) and os.access(path, os.X_OK) else None


def sample(name):
    """The bytes of the sample winmail.dat file NAME.tnef."""
    with open(os.path.join(SAMPLE_DIR, name + ".tnef"), "rb") as f:
        return f.read()


def sample_names():
    """Names of all sample winmail.dat files, sorted."""
    return sorted(n[:-5] for n in os.listdir(SAMPLE_DIR) if n.endswith(".tnef"))


def _link_or_copy(source, target):
    try:
        os.link(source, target)
    except OSError:
        shutil.copy2(source, target)


class ProgramDir:
    """A directory holding a copy of the filter and the converters it finds beside itself.

    tnef: "real" (the system's tnef), None (missing) or the name of a script in
    fake_tnef/ without ".sh". rtf2html: "auto" (the project's when built, else
    the unrtf stand-in), "standin", "real" (skips the test when not built) or None.
    """

    def __init__(self, path, tnef="real", rtf2html="auto"):
        self.path = path
        os.makedirs(path, exist_ok=True)
        self.binary = os.path.join(path, "verrowick")
        _link_or_copy(filter_binary(), self.binary)
        self.tnef = self._install_tnef(tnef)
        self.rtf2html = self._install_rtf2html(rtf2html)
        self.work_dir = os.path.join(path, "wmd_temp")

    def _install_tnef(self, tnef):
        target = os.path.join(self.path, "tnef")
        if tnef is None:
            return None
        if tnef == "real":
            os.symlink(SYSTEM_TNEF, target)
        else:
            shutil.copy(os.path.join(FAKE_TNEF_DIR, tnef + ".sh"), target)
            os.chmod(target, 0o755)
        return target

    def _install_rtf2html(self, choice):
        target = os.path.join(self.path, "rtf2html")
        if choice is None:
            return None
        real = real_rtf2html()
        if choice == "real" and real is None:
            raise unittest.SkipTest("the project's rtf2html has not been built")
        if choice in ("real", "auto") and real is not None:
            os.symlink(os.path.abspath(real), target)
        else:
            shutil.copy(RTF2HTML_STANDIN, target)
            os.chmod(target, 0o755)
        return target


class Workspace:
    """A temporary directory for one test, removed after it.

    base is a mail server base directory with an empty Queue; program
    directories are made inside it on request.
    """

    def __init__(self, testcase):
        self.root = tempfile.mkdtemp(prefix="verrowick-e2e-")
        testcase.addCleanup(shutil.rmtree, self.root, ignore_errors=True)
        self.base = os.path.join(self.root, "base")
        os.makedirs(os.path.join(self.base, "Queue"))

    def program(self, name="prog", **converters):
        """A new program directory NAME inside the workspace; see ProgramDir."""
        return ProgramDir(os.path.join(self.root, name), **converters)

    def queue(self, name, data):
        """Writes DATA as the queued file Queue/NAME; returns the path the filter is given."""
        with open(os.path.join(self.base, "Queue", name), "wb") as f:
            f.write(data)
        return "Queue/" + name

    def submitted(self):
        """Names in base/Submitted, sorted."""
        return sorted(os.listdir(os.path.join(self.base, "Submitted")))
