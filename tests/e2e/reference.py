"""What the filter should make of a message, worked out independently: tnef runs on
each winmail.dat part in order in one directory, with the filter's arguments, and the
conversion rules apply to what it lists."""
import email
import email.policy
import os
import subprocess
from dataclasses import dataclass, field

from install import SYSTEM_TNEF, sample

SUFFIX = " Winmail.dat file is probably corrupted, stopping conversion."
FOUND = "* Found a winmail.dat attachment, unpacking"


@dataclass
class NewPart:
    """A part written for one extracted file (an HTML body: inline in a multipart/alternative)."""
    name: str
    data: bytes
    inline: bool = False


@dataclass
class Outcome:
    """What becomes of one winmail.dat part."""
    replaced: bool = False
    new_parts: list = field(default_factory=list)
    keep: bool = False
    log: list = field(default_factory=list)


@dataclass
class Expectation:
    """What becomes of a whole message: the Outcomes by the part's place in the tree."""
    outcomes: dict
    log: list
    rewritten: bool = None

    def __post_init__(self):
        self.records = sum(o.replaced for o in self.outcomes.values())
        if self.rewritten is None:
            self.rewritten = self.records > 0

    def inserted(self):
        return [p.name for o in self.outcomes.values() if o.replaced for p in o.new_parts]


# Samples whose winmail.dat stays, and why, when no ytnef lies beside the filter.
KEPT = {
    "MAPI_OBJECT": "it holds an OLE object",
    "garbage-at-end": 'its message class "Report.IPM.Note.IPNRN" is not converted',
    "multi-name-property": "ytnef could not be started for the appointment",
    "triples": "ytnef could not be started for the appointment",
}
_kept_by_data = {}


def kept_because(data):
    """Why the winmail.dat DATA is kept beside its files; None when it is not."""
    if not _kept_by_data:
        _kept_by_data.update({sample(name): why for name, why in KEPT.items()})
    return _kept_by_data.get(data)


def printable(text):
    """Text as the filter shows untrusted text in log lines."""
    return "".join(f"\\x{ord(c):02X}" if ord(c) < 0x20 or c in "\x7f\\" else c for c in text)


class Reference:
    """Unpacks winmail.dat parts in WORKDIR the way the filter run with ARGS should."""

    def __init__(self, workdir, args, rtf2html):
        self.dir, self.rtf2html = workdir, rtf2html
        self.keep, self.always_remove = "-k" in args, "--always-remove-winmail" in args
        self.no_rtf_alternative, self.ignore_rtf_body = "-r" in args, "--ignore-rtf-body" in args
        os.makedirs(workdir)

    def unpack(self, data, alternative, html_seen):
        """The Outcome of one winmail.dat part holding DATA."""
        out = Outcome(keep=self.keep, log=[FOUND])
        before = set(os.listdir(self.dir))
        workfile = os.path.join(self.dir, "winmail.dat")
        with open(workfile, "wb") as f:
            f.write(data)
        body = [] if self.ignore_rtf_body else ["--save-body=saved_body"]
        done = subprocess.run([SYSTEM_TNEF, "-f", workfile, *body, "--number-backups",
                               f"--directory={self.dir}", "--verbose"],
                              capture_output=True, timeout=60)
        if done.stderr:
            text = done.stderr.decode("utf-8", "surrogateescape").rstrip("\r\n")
            out.log += ["* " + printable(line.replace("\r", "")) for line in text.split("\n")]
            out.log[-1] += SUFFIX
            out.keep = out.keep or not self.always_remove
        listing = done.stdout.decode("utf-8", "surrogateescape").replace("\r", "")
        paths = [line.split("\t|\t")[1] if "\t|\t" in line else os.path.join(self.dir, line)
                 for line in listing.split("\n") if line]
        paths = [p for p in paths if os.path.isfile(p)]  # not "Seems not to be a TNEF file"
        named = {os.path.basename(p) for p in paths}
        if set(os.listdir(self.dir)) - before - named - {"winmail.dat"}:
            out.log.append("* tnef wrote files that its listing does not name,"
                           " the winmail.dat attachment is kept")
            out.keep = out.keep or not self.always_remove
        if kept_because(data) and not self.always_remove:
            out.log.append("* Kept winmail.dat: " + kept_because(data))
            out.keep = True
        skipped = 0
        for path in paths:
            if path.lower().endswith(".rtf") and html_seen and self.no_rtf_alternative:
                skipped += 1
            elif path.lower().endswith(".rtf") and not html_seen and self.rtf2html:
                out.new_parts.append(self._convert(path, alternative))
            else:
                if path.lower().endswith(".rtf") and not html_seen:
                    out.log.append("* Unable to start the rtf2html binary."
                                   " RTF attachments will not be decoded: No such file or"
                                   " directory")
                with open(path, "rb") as f:
                    out.new_parts.append(NewPart(os.path.basename(path), f.read()))
        os.remove(workfile)
        out.replaced = bool(paths) or self.always_remove
        if paths:
            out.log.append(f"* Extracted {len(paths)} file(s) from winmail.dat"
                           + (f" ({skipped} ignored by the -r option)" if skipped else ""))
        else:
            out.log.append("* This winmail.dat doesn't contain extractable attachments")
        return out

    def _convert(self, rtf, alternative):
        # The HTML file never replaces an existing one: stem.html, stem.1.html, ...
        stem, n = rtf[:-4], 0
        html = stem + ".html"
        while os.path.lexists(html):
            n += 1
            html = f"{stem}.{n}.html"
        subprocess.run([self.rtf2html, rtf, html], capture_output=True, timeout=60)
        with open(html, "rb") as f:
            data = f.read()
        os.remove(rtf)
        return NewPart(os.path.basename(html), data, alternative)


def parse(data):
    return email.message_from_bytes(data, policy=email.policy.compat32)


def expect(message_bytes, args, rtf2html, workdir):
    """The Expectation for the message MESSAGE_BYTES (without envelope block)."""
    reference = Reference(workdir, args, rtf2html)
    outcomes, log = {}, []

    def walk(node, place):
        if "X-WinmailDat" in node:
            log.append("* This file has already been processed, skipping")
            return
        if not node.is_multipart():
            return
        alternative = node.get_content_type() == "multipart/alternative"
        html_seen = False
        for i, child in enumerate(node.get_payload()):
            if (child.get_content_type() == "application/ms-tnef"
                    or child.get_filename() == "winmail.dat"):
                outcome = reference.unpack(child.get_payload(decode=True) or b"",
                                           alternative, html_seen)
                outcomes[place + (i,)] = outcome
                log.extend(outcome.log)
            elif child.is_multipart():
                walk(child, place + (i,))
            elif child.get_content_type() == "text/html":
                html_seen = alternative

    walk(parse(message_bytes), ())
    return Expectation(outcomes, log)
