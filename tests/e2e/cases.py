"""The base class of the end-to-end tests: a workspace, runs of the filter, and the judging of
converted messages with Python's email package against what reference.py expects."""
import base64
import email
import email.header
import email.policy
import os
import re
import shutil
import tempfile
import unittest
import urllib.parse

import driver
from install import ProgramDir
from messages import envelope
from reference import Expected, digest, parse

LONGEST_QUOTED_PRINTABLE_LINE = 76
QUEUE_FILE_HEAD = re.compile(r"Return-Path: (.*)\n((?:Envelope-To: .*\n)*)X-WinmailDat: (\d+) "
                             r"attachments extracted\.\nX-ExtScanner: Quillmere's Verrowick\n")
CID = re.compile(r"""cid:([^"'<> \t\r\n)]*)""", re.IGNORECASE)


def split_queue_file(data):
    """A Submitted file as (return path, recipients, X-WinmailDat count, message bytes)."""
    text = data.decode("utf-8", "surrogateescape")
    head = QUEUE_FILE_HEAD.match(text)
    if not head:
        raise AssertionError(f"no envelope and added lines atop the queue file: {text[:300]!r}")
    recipients = [line[len("Envelope-To: "):] for line in head[2].splitlines()]
    return head[1], recipients, int(head[3]), text[head.end():].encode("utf-8", "surrogateescape")


def _lf(text):
    return text.replace("\r\n", "\n") if isinstance(text, str) else text.replace(b"\r\n", b"\n")


def _fields(part):
    return [(name, _lf(value)) for name, value in part.items()]


def printable(text):
    """Text as the filter shows untrusted text in log lines."""
    return re.sub(r"[\x00-\x1f\x7f\\]", lambda m: f"\\x{ord(m[0]):02X}", text)


def cid_references(html):
    """The content ids that HTML (bytes) references by cid: URLs."""
    return {urllib.parse.unquote(c) for c in CID.findall(html.decode("latin-1"))}


def winmail_places(node, place=()):
    """The places of the parts that messages.tnef_part made in NODE (parsed), in order."""
    found = []
    for i, child in enumerate(node.get_payload() if node.is_multipart() else ()):
        named = "winmail.dat" in (child.get_filename(), child.get_param("name"))
        found += [place + (i,)] if named else winmail_places(child, place + (i,))
    return found


def expect(message, outcomes, *args, **kwargs):
    """The Expected of MESSAGE (bytes) whose winmail.dat parts have OUTCOMES, in order (None:
    the part is not unpacked and stays as it is)."""
    places = winmail_places(parse(message))
    return Expected({p: o for p, o in zip(places, outcomes) if o}, *args, **kwargs)


def name_parameter(part):
    """The name parameter of PART's Content-Type, its encoded words decoded."""
    value = part.get_param("name")
    return value and str(email.header.make_header(email.header.decode_header(value)))


def check_content_ids(case, message):
    """No Content-ID is given twice, and every cid: reference of an HTML part finds its part: in
    its multipart/related when it is in one, unless a part before that took the id."""
    parts = list(message.walk())
    ids = [p["Content-ID"] for p in parts if p["Content-ID"]]
    case.assertEqual(len(ids), len(set(ids)), "Content-IDs given twice")

    def walk(node, scope, before):
        if node.get_content_type() == "multipart/related":
            scope, before = node, {p["Content-ID"] for p in parts[:parts.index(node)]}
        for child in node.iter_parts():
            walk(child, scope, before)
        if node.get_content_type() == "text/html":
            present = before | {p["Content-ID"] for p in scope.walk()}
            for cid in cid_references(node.get_payload(decode=True)):
                case.assertIn(f"<{cid}>", present, "a cid: reference")
    walk(message, message, set())


def _content(part):
    data = part.get_payload(decode=True) or b""
    encoding = (part.get("Content-Transfer-Encoding") or "").strip().lower()
    return data if encoding == "base64" else _lf(data)


class EndToEndCase(unittest.TestCase):
    maxDiff = None

    def setUp(self):
        """A temporary root directory with base, the server's, holding an empty Queue."""
        self.root = tempfile.mkdtemp(prefix="verrowick-e2e-")
        os.chmod(self.root, 0o711)  # the converters' user passes through to its programs
        self.addCleanup(shutil.rmtree, self.root, ignore_errors=True)
        self.base = os.path.join(self.root, "base")
        os.makedirs(os.path.join(self.base, "Queue"))

    def without_landlock(self):
        """Filters started next run their converters without Landlock, until the test ends."""
        os.environ["VERROWICK_NO_LANDLOCK"] = "1"
        self.addCleanup(os.environ.pop, "VERROWICK_NO_LANDLOCK")

    def new_program(self, name="my prog", **converters):
        """A new ProgramDir NAME in the root (a blank in the path reaches tnef unquoted)."""
        return ProgramDir(os.path.join(self.root, name), **converters)

    def queue(self, name, data):
        """Writes DATA as Queue/NAME; returns the path the filter is given."""
        with open(os.path.join(self.base, "Queue", name), "wb") as f:
            f.write(data)
        return "Queue/" + name

    def submitted(self):
        return sorted(os.listdir(os.path.join(self.base, "Submitted")))

    def start(self, program, args=(), cwd=None, argv0=None):
        """A FilterSession of PROGRAM (in the base directory by default), killed after the test."""
        session = driver.FilterSession(program, cwd or self.base, args, argv0)
        self.addCleanup(session.kill)
        return session

    def finish(self, session, program=None, answers=(), status=0):
        """Ends SESSION and checks a clean end: STATUS, nothing on standard error, only log
        lines and ANSWERS after the answers read and, given PROGRAM, no wmd_temp left."""
        run = session.finish()
        self.assertEqual((run.status, run.stderr), (status, ""))
        self.assertEqual([l for l in run.lines if not driver.is_log(l)], list(answers))
        if program is not None:
            self.assertFalse(os.path.exists(program.work_dir), "wmd_temp is left behind")
        return run

    def take_submitted(self):
        """The files in Submitted as (name, bytes), removed."""
        taken = []
        for name in self.submitted():
            path = os.path.join(self.base, "Submitted", name)
            with open(path, "rb") as f:
                taken.append((name, f.read()))
            os.remove(path)
        return taken

    def only_queue_file(self, taken=None):
        """The bytes of the one file in TAKEN (by default, taken from Submitted now)."""
        taken = self.take_submitted() if taken is None else taken
        self.assertEqual(len(taken), 1, f"files in Submitted: {[name for name, _ in taken]}")
        self.assertRegex(taken[0][0], r"^quillmeremailer_\d+_-?\d+\.tmp\.sub$")
        return taken[0][1]

    def check_filtered(self, session, seq, message, expected):
        """Queues MESSAGE as SEQ.msg (its envelope with the message's line ends), sends FILE for
        it and checks the log, the answer and, when the message is rewritten, the file in
        Submitted, whose message it returns."""
        eol = "\r\n" if b"\r\n" in message else "\n"
        reply = session.request(f"{seq} FILE {self.queue(f'{seq}.msg', envelope(eol) + message)}")
        taken = self.take_submitted()
        if expected.count is None:
            self.assertEqual((reply.log, reply.answer, taken),
                             (expected.log + [f"* [{seq}] Accepting message"], f"{seq} OK", []))
            return None
        inserted = [f'* Inserting file "{printable(new.name)}"'
                    for outcome in expected.outcomes.values() for new in outcome.parts]
        self.assertEqual((reply.log, reply.answer), (
            expected.log + ["* Creating a new message with the extracted attachments", *inserted,
                            "* Submitting new message and discarding original",
                            f"* [{seq}] Discarding message"], f"{seq} DISCARD"))
        *fields, converted = split_queue_file(self.only_queue_file(taken))
        self.assertEqual(fields, ["sender@example.com", ["rcpt@example.com"], expected.count])
        self.judge(message, converted, expected)
        return converted

    def judge(self, received, converted, expected):
        """Parts not replaced stay as they were (line ends may become LF); a replaced part gives
        way to its new parts, followed by itself only when it is kept."""
        original, result = parse(received), parse(converted)
        defects = [[type(d).__name__ for p in m.walk() for d in p.defects]
                   for m in (result, original)]
        self.assertEqual(*defects, "MIME defects")
        self.assertEqual(_fields(result), _fields(original), "the message's header fields")
        modern = email.message_from_bytes(converted, policy=email.policy.default)
        if any(o.shown for o in expected.outcomes.values()):  # --inline-body
            self._inline_body(original, modern, expected.outcomes.values())
        else:
            self._same_structure(original, result, (), expected.outcomes)
        self.assertEqual([p.get_filename() for p in modern.walk()],
                         [p.get_filename() for p in result.walk()], "names by policy default")
        check_content_ids(self, modern)
        for part in result.walk():
            encoding = (part.get("Content-Transfer-Encoding") or "").strip().lower()
            if encoding == "quoted-printable" and not part.is_multipart():
                longest = max(map(len, re.split(r"\r\n|\r|\n", part.get_payload())))
                self.assertLessEqual(longest, LONGEST_QUOTED_PRINTABLE_LINE,
                                     "a line of a quoted-printable part")

    def _holds(self, part, new):
        data = part.get_payload(decode=True)
        self.assertEqual(data if isinstance(new.content, bytes) else digest(data), new.content,
                         f"the content of {new.name}")

    def _inline_body(self, original, message, outcomes):
        """With --inline-body: the first HTML body shown is the message's body, each new part is
        in the message, and the attachments are the new parts not shown."""
        new = [p for o in outcomes for p in o.parts]
        shown = {name for o in outcomes for name in o.shown}
        bodies = [p for o in outcomes for p in o.parts if o.shown and p.name == o.shown[0]]
        if bodies:
            found = message.get_body(preferencelist=("html", "plain"))
            self.assertEqual(found.get_content_type(), "text/html")
            self._holds(found, bodies[0])
        received = {p.get_filename() for p in original.walk() if p.get_filename()}
        attached = [p.get_filename() for p in message.walk()
                    if p.is_attachment() and p.get_filename() not in received]
        self.assertEqual(sorted(attached), sorted(p.name for p in new if p.name not in shown))
        leaves = [p.get_payload(decode=True) or b"" for p in message.walk() if not p.is_multipart()]
        for part in new:
            self.assertIn(part.content, leaves + [digest(leaf) for leaf in leaves], part.name)

    def _same_structure(self, original, result, place, outcomes):
        self.assertEqual(result.is_multipart(), original.is_multipart(), f"kind of part {place}")
        if not original.is_multipart():
            self.assertEqual(_content(result), _content(original), f"content of part {place}")
            return
        self.assertEqual(_lf(result.preamble or ""), _lf(original.preamble or ""), "preamble")
        self.assertEqual(_lf(result.epilogue or "").rstrip("\n"),
                         _lf(original.epilogue or "").rstrip("\n"), f"epilogue {place}")
        expected = []  # (New or None, the original part, its place)
        for i, child in enumerate(original.get_payload()):
            outcome = outcomes.get(place + (i,))
            expected += [(new, child, place + (i,)) for new in (outcome.parts if outcome else ())]
            if outcome is None or outcome.keep:
                expected.append((None, child, place + (i,)))
        children = result.get_payload()
        self.assertEqual(len(children), len(expected),
                         f"parts of {place}: {[c.get_content_type() for c in children]}")
        alternative = original.get_content_type() == "multipart/alternative"
        for child, (new, want, where) in zip(children, expected):
            if new is None:
                self.assertEqual(_fields(child), _fields(want), f"header fields of part {where}")
                self._same_structure(want, child, where, outcomes)
                continue
            if new.html and alternative:  # rtf2html's HTML of the RTF body, inline
                self.assertEqual(child.items(), [("Content-Type", "text/html"),
                                                 ("Content-Transfer-Encoding", "quoted-printable")])
            else:
                self.assertEqual((name_parameter(child), child.get_filename(),
                                  child.get("Content-Transfer-Encoding"),
                                  child.get_content_disposition(), child.get("Content-ID"),
                                  new.type and child.get_content_type()),
                                 (new.name, new.name, "base64", "attachment",
                                  new.content_id and f"<{new.content_id}>", new.type))
                # Nothing but the content's Base64 (a lenient decoder ignores what follows).
                self.assertEqual("".join(child.get_payload().split()),
                                 base64.b64encode(child.get_payload(decode=True)).decode())
            self._holds(child, new)
