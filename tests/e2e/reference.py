"""What the filter should make of a message, worked out independently.

The tests run tnef themselves, with the filter's arguments, on every
winmail.dat part of a message in document order, all in one directory (as the
filter does in its work directory, so that tnef's numbered backups such as
AUTHORS.1 come out the same), and apply the conversion rules: RTF files go
through rtf2html unless an HTML part came before in the same
multipart/alternative (then -r leaves them out); a part whose listing names no
file is replaced only with --always-remove-winmail; a part is kept after its
new parts with -k or when tnef complained on standard error.
"""
import email
import email.policy
import os
import re
import subprocess
from dataclasses import dataclass, field

from install import SYSTEM_TNEF

SUFFIX = " Winmail.dat file is probably corrupted, stopping conversion."
NO_RTF2HTML = "* Unable to start the rtf2html binary. RTF attachments will not be decoded."


@dataclass
class Options:
    """The conversion options given on the command line."""
    keep: bool = False
    no_rtf_alternative: bool = False
    ignore_rtf_body: bool = False
    always_remove: bool = False

    @classmethod
    def from_args(cls, args):
        return cls(keep="-k" in args or "--keep-winmail" in args,
                   no_rtf_alternative="-r" in args or "--no-rtf-alternative" in args,
                   ignore_rtf_body="--ignore-rtf-body" in args,
                   always_remove="--always-remove-winmail" in args)


@dataclass
class NewPart:
    """A part the filter writes for one extracted file.

    data is the file's exact content, except for an HTML body made by
    rtf2html, whose exact bytes are rtf2html's business: words then lists
    words of the RTF text that the HTML must show.
    """
    name: str
    data: bytes = None
    words: list = None
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
    """What becomes of a whole message: outcomes by the part's place in the tree."""
    rewritten: bool
    records: int
    outcomes: dict
    log: list

    def inserted(self):
        """Names of the new parts in the order they are written."""
        return [p.name for o in self.outcomes.values() if o.replaced for p in o.new_parts]


def is_winmail(part):
    """Whether the filter takes PART (an email message object) for a winmail.dat part."""
    return (part.get_content_type() == "application/ms-tnef"
            or part.get_filename() == "winmail.dat")


def printable(text):
    """Text as the filter shows untrusted text in log lines."""
    return "".join(f"\\x{ord(c):02X}" if ord(c) < 0x20 or c in "\x7f\\" else c for c in text)


def stderr_lines(stderr):
    """The log lines for tnef's standard error."""
    text = stderr.decode("utf-8", "surrogateescape").rstrip("\r\n")
    lines = ["* " + printable(line.replace("\r", "")) for line in text.split("\n")]
    lines[-1] += SUFFIX
    return lines


def rtf_words(rtf_path):
    """Words of four letters or more in the text of an RTF file, as unrtf reads it."""
    text = subprocess.run(["unrtf", "--text", rtf_path], capture_output=True).stdout
    text = text.decode("latin-1")
    body = [l for l in text.split("\n") if not l.startswith("###") and not l.startswith("-----")]
    return re.findall(r"[A-Za-z]{4,}", " ".join(body))[:6]


def html_path_for(rtf):
    """Where the filter puts the HTML made from the RTF file RTF: no existing file is replaced."""
    stem, n = rtf[:-4], 0
    html = stem + ".html"
    while os.path.lexists(html):
        n += 1
        html = f"{stem}.{n}.html"
    return html


class Reference:
    """Unpacks winmail.dat parts in WORKDIR the way the filter should, with OPTIONS.

    rtf2html is the converter the filter finds beside itself, or None.
    """

    def __init__(self, workdir, options, rtf2html):
        self.dir = workdir
        self.options = options
        self.rtf2html = rtf2html
        os.makedirs(workdir, exist_ok=True)

    def tnef_args(self, workfile):
        args = [SYSTEM_TNEF, "-f", workfile]
        if not self.options.ignore_rtf_body:
            args.append("--save-body=saved_body")
        return args + ["--number-backups", f"--directory={self.dir}", "--verbose"]

    def unpack(self, data, alternative, html_seen):
        """The Outcome of one winmail.dat part holding DATA."""
        opts = self.options
        out = Outcome(keep=opts.keep, log=["* Found a winmail.dat attachment, unpacking"])
        before = set(os.listdir(self.dir))
        workfile = os.path.join(self.dir, "winmail.dat")
        with open(workfile, "wb") as f:
            f.write(data)
        done = subprocess.run(self.tnef_args(workfile), capture_output=True, timeout=60)
        if done.stderr:
            out.log += stderr_lines(done.stderr)
            out.keep = out.keep or not opts.always_remove
        listing = done.stdout.decode("utf-8", "surrogateescape").replace("\r", "")
        paths = [line.split("\t|\t")[1] if "\t|\t" in line else os.path.join(self.dir, line)
                 for line in listing.split("\n") if line]
        named = {os.path.basename(p) for p in paths}
        if set(os.listdir(self.dir)) - before - named - {"winmail.dat"}:
            out.log.append("* tnef wrote files that its listing does not name,"
                           " the winmail.dat attachment is kept")
            out.keep = out.keep or not opts.always_remove
        skipped = 0
        for path in paths:
            if not path.lower().endswith(".rtf"):
                with open(path, "rb") as f:
                    out.new_parts.append(NewPart(os.path.basename(path), data=f.read()))
            elif html_seen and opts.no_rtf_alternative:
                skipped += 1
            elif html_seen or self.rtf2html is None:
                if not html_seen:
                    out.log.append(NO_RTF2HTML)
                with open(path, "rb") as f:
                    out.new_parts.append(NewPart(os.path.basename(path), data=f.read()))
            else:
                out.new_parts.append(self._convert(path, alternative))
        os.remove(workfile)
        if paths:
            out.replaced = True
            line = f"* Extracted {len(paths)} file(s) from winmail.dat"
            out.log.append(line + (f" ({skipped} ignored by the -r option)" if skipped else ""))
        else:
            out.replaced = opts.always_remove
            out.log.append("* This winmail.dat doesn't contain extractable attachments")
        return out

    def _convert(self, rtf, alternative):
        html = html_path_for(rtf)
        words = rtf_words(rtf)
        subprocess.run([self.rtf2html, rtf, html], capture_output=True, timeout=60)
        if not os.path.isfile(html):
            raise AssertionError(f"{self.rtf2html} made no HTML of {rtf}")
        os.remove(rtf)
        return NewPart(os.path.basename(html), words=words, inline=alternative)


def parse(data):
    """DATA (bytes) parsed by Python's email package."""
    return email.message_from_bytes(data, policy=email.policy.compat32)


def expect(message_bytes, options, rtf2html, workdir):
    """The Expectation for the message MESSAGE_BYTES (without envelope block)."""
    reference = Reference(workdir, options, rtf2html)
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
            if is_winmail(child):
                outcome = reference.unpack(child.get_payload(decode=True) or b"",
                                           alternative, html_seen)
                outcomes[place + (i,)] = outcome
                log.extend(outcome.log)
            elif child.is_multipart():
                walk(child, place + (i,))
            elif child.get_content_type() == "text/html":
                html_seen = alternative

    walk(parse(message_bytes), ())
    records = sum(o.replaced for o in outcomes.values())
    rewritten = records > 0 or (bool(outcomes) and options.always_remove)
    return Expectation(rewritten, records, outcomes, log)
