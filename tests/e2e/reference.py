"""What the filter should make of a message, worked out independently: tnef runs on
each winmail.dat part in order in one directory, with the filter's arguments, and the
conversion rules apply to what it lists."""
import email
import email.policy
import os
import re
import struct
import subprocess
import urllib.parse
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
    content_id: str = ""  # the content id of tnef's listing line
    body: bool = False  # the message body tnef saved, or its HTML


ATT_OEM_CODEPAGE = 0x00069007
CODE_PAGES = {437, 850, 874, 10000, 28591, *range(1250, 1259)}
# The bytes tnef writes as %XX in the names of the files it writes.
ESCAPED = set(range(0x20)) | {0x7F} | set(b'"%*/:<>?\\|')


def code_page_of(data):
    """The attOemCodepage of a TNEF stream, 0 when it gives none."""
    pos = 6
    while pos + 9 <= len(data):
        level, attribute, length = struct.unpack_from("<BII", data, pos)
        if level == 1 and attribute == ATT_OEM_CODEPAGE and length >= 4:
            return struct.unpack_from("<I", data, pos + 9)[0]
        pos += 9 + length + 2
    return 0


def utf8_name(raw, code_page):
    """RAW (bytes) as the filter shows it: UTF-8 as it is, else in its code page."""
    try:
        return raw.decode("utf-8")
    except UnicodeDecodeError:
        codec = {28591: "latin-1", 10000: "mac-roman"}.get(
            code_page, f"cp{code_page}" if code_page in CODE_PAGES else "cp1252")
        return raw.decode(codec, "replace")


def display_name(column, path, code_page):
    """The name of a listed file: tnef's name column when the name on disk (escapes undone)
    begins with it, else the name on disk."""
    on_disk = re.sub(rb"%([0-9A-F]{2})", lambda m: bytes([int(m.group(1), 16)])
                     if int(m.group(1), 16) in ESCAPED else m.group(0),
                     os.fsencode(os.path.basename(path)))
    whole = column and on_disk.startswith(column)
    return utf8_name(column if whole else on_disk, code_page)


CID = re.compile(r"""cid:([^"'<> \t\r\n)]*)""", re.IGNORECASE)
CONTENT_ID = re.compile(r'[!#-;=?-~]{1,250}')  # printable ASCII but for space < > "


def cid_references(html):
    """The content ids that HTML (bytes) references by cid: URLs."""
    return {urllib.parse.unquote(c) for c in CID.findall(html.decode("latin-1"))}


@dataclass
class Outcome:
    """What becomes of one winmail.dat part."""
    replaced: bool = False
    new_parts: list = field(default_factory=list)
    keep: bool = False
    log: list = field(default_factory=list)
    alternative: bool = False  # the part is in a multipart/alternative

    def shown(self):
        """With --inline-body: the HTML body and the parts it references, or nothing."""
        body = next((p for p in self.new_parts if p.body and p.name.lower().endswith(".html")),
                    None)
        if body is None:
            return []
        refs, shown = cid_references(body.data), [body]
        for part in self.new_parts:
            if (not part.inline and part.content_id in refs and CONTENT_ID.fullmatch(part.content_id)
                    and part.content_id not in {s.content_id for s in shown[1:]}):
                shown.append(part)
        return shown

    def ordered(self, inline_body):
        """The new parts in the order they are written: with --inline-body the body and its
        images first, or, in a multipart/alternative, in the body's place."""
        shown = self.shown() if inline_body else []
        rest = [p for p in self.new_parts if all(p is not s for s in shown)]
        if not shown or not self.alternative:
            return shown + rest
        at = [p is shown[0] for p in self.new_parts if all(p is not s for s in shown[1:])]
        return rest[:at.index(True)] + shown + rest[at.index(True) + 1:]


@dataclass
class Expectation:
    """What becomes of a whole message: the Outcomes by the part's place in the tree."""
    outcomes: dict
    log: list
    rewritten: bool = None
    inline_body: bool = False

    def __post_init__(self):
        self.records = sum(o.replaced for o in self.outcomes.values())
        if self.rewritten is None:
            self.rewritten = self.records > 0

    def inserted(self):
        return [p.name for o in self.outcomes.values() if o.replaced
                for p in o.ordered(self.inline_body)]


# Samples whose winmail.dat stays, and why, when no ytnef lies beside the filter.
KEPT = {sample(name): why for name, why in {
    "MAPI_OBJECT": "it holds an OLE object",
    "garbage-at-end": 'its message class "Report.IPM.Note.IPNRN" is not converted',
    "multi-name-property": "ytnef could not be started for the appointment",
    "triples": "ytnef could not be started for the appointment",
}.items()}


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
        out = Outcome(keep=self.keep, log=[FOUND], alternative=alternative)
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
        code_page = code_page_of(data)
        listed = []  # (path, name, content id)
        for line in listing.split("\n"):
            columns = line.split("\t|\t") + ["", ""]
            if "\t|\t" not in line:
                columns = ["", os.path.join(self.dir, line), "", ""]
            if line and os.path.isfile(columns[1]):  # not "Seems not to be a TNEF file"
                name = display_name(os.fsencode(columns[0]), columns[1], code_page)
                listed.append((columns[1], name, columns[3]))
        paths = [p for p, *_ in listed]
        named = {os.path.basename(p) for p in paths}
        if set(os.listdir(self.dir)) - before - named - {"winmail.dat"}:
            out.log.append("* tnef wrote files that its listing does not name,"
                           " the winmail.dat attachment is kept")
            out.keep = out.keep or not self.always_remove
        if data in KEPT and not self.always_remove:
            out.log.append("* Kept winmail.dat: " + KEPT[data])
            out.keep = True
        skipped = 0
        for path, name, content_id in listed:
            body = not self.ignore_rtf_body and os.path.basename(path).startswith("saved_body.")
            if path.lower().endswith(".rtf") and html_seen and self.no_rtf_alternative:
                skipped += 1
            elif path.lower().endswith(".rtf") and not html_seen and self.rtf2html:
                out.new_parts.append(self._convert(path, alternative))
                out.new_parts[-1].body = body
            else:
                if path.lower().endswith(".rtf") and not html_seen:
                    out.log.append("* Unable to start the rtf2html binary."
                                   " RTF attachments will not be decoded: No such file or"
                                   " directory")
                with open(path, "rb") as f:
                    out.new_parts.append(NewPart(name, f.read(), False, content_id, body))
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
    return Expectation(outcomes, log, inline_body="--inline-body" in args)
