"""What the filter must make of winmail.dat parts, written out: for each sample, the new parts in
the order written (name, content, content id), the log lines and whether the part stays."""
import email
import email.policy
import hashlib
from dataclasses import dataclass

FOUND = "* Found a winmail.dat attachment, unpacking"
SUFFIX = " Winmail.dat file is probably corrupted, stopping conversion."
NOTHING = "* This winmail.dat doesn't contain extractable attachments"
OLE = "* Kept winmail.dat: it holds an OLE object"
NO_YTNEF = "* Kept winmail.dat: ytnef could not be started for the appointment"
GARBAGE = "* ERROR: garbage at end of file." + SUFFIX
NO_RTF2HTML = ("* Unable to start the rtf2html binary. RTF attachments will not be decoded: No such"
               " file or directory")


def extracted(n, ignored=0):
    return f"* Extracted {n} file(s) from winmail.dat" + (
        f" ({ignored} ignored by the -r option)" if ignored else "")


def digest(data):
    return hashlib.sha256(data).hexdigest()[:12]


@dataclass
class New:
    """A new part: its name, its content (bytes, or the first 12 hex digits of their SHA-256)
    and its Content-ID. html: rtf2html's HTML of the RTF body, inline in a multipart/alternative.
    type: its content type, when the test checks it."""
    name: str
    content: object
    html: bool = False
    content_id: str = None
    type: str = None


@dataclass
class Outcome:
    """What becomes of one winmail.dat part: the new parts in the order written, the log lines
    after FOUND, whether the part stays after them; with --inline-body, the names shown with the
    message body, the HTML first."""
    parts: list
    log: list
    keep: bool = False
    shown: tuple = ()


@dataclass
class Expected:
    """What becomes of a message: the Outcome of each winmail.dat part by its place (the indexes
    down the tree, in message order) and the X-WinmailDat count (by default the parts replaced;
    None: the message passes unchanged)."""
    outcomes: dict
    count: int = -1

    def __post_init__(self):
        if self.count == -1:
            self.count = sum(bool(o.parts) or not o.keep for o in self.outcomes.values()) or None
        self.log = [line for o in self.outcomes.values() for line in (FOUND, *o.log)]


AUTHORS = New("AUTHORS", "36c47da7d118")
# Each sample alone in a multipart/mixed, no options, rtf2html beside the filter.
SAMPLES = {
    "MAPI_ATTACH_DATA_OBJ": Outcome([New("VIA_Nytt_1402.doc", "9955935516d1"),
                                     New("VIA_Nytt_1402.pdf", "968c9c4a8a6a"),
                                     New("VIA_Nytt_14021.htm", "c2ee04f99e59"),
                                     New("saved_body.html", "70953ceed256", True)], [extracted(4)]),
    "MAPI_OBJECT": Outcome([New("Untitled_Attachment", "38b6a2874dad"),
                            New("saved_body.html", "31123ef89070", True)], [OLE, extracted(2)],
                           True),
    "body": Outcome([New("saved_body.html", "0f4e697985fb")], [extracted(1)]),
    "data-before-name": Outcome([New("AUTOEXEC.BAT", b""), New("CONFIG.SYS", b""),
                                 New("boot.ini", "a815374e3148"),
                                 New("saved_body.html", "0aaf9f524f2b", True)], [extracted(4)]),
    "garbage-at-end": Outcome([], [GARBAGE, '* Kept winmail.dat: its message class'
                                   ' "Report.IPM.Note.IPNRN" is not converted', NOTHING], True),
    "long-filename": Outcome([New("allproductsmar2000.dat", "de2ad5d4e20a"),
                              New("saved_body.html", "0e042c24ed7e", True)], [extracted(2)]),
    "missing-filenames": Outcome([New("generpts.src", "69ebd0e9c298"),
                                  New("TechlibDEC99.doc", "d1a592c2e372"),
                                  New("TechlibDEC99-JAN00.doc", "360db5c11b1f"),
                                  New("TechlibNOV99.doc", "b1e6b103cc5a"),
                                  New("saved_body.html", "b87f3ca8d958", True)], [extracted(5)]),
    "multi-name-property": Outcome([], [NO_YTNEF, NOTHING], True),
    "multi-value-attribute": Outcome([New("208225__5_seconds__Voice_Mail.mp3", "cf2e3cd4175a"),
                                      New("saved_body.html", "105d9dcaca51", True)],
                                     [extracted(2)]),
    "one-file": Outcome([AUTHORS], [extracted(1)]),
    "rtf": Outcome([New("saved_body.html", "b5b0cfa2d892", True)], [extracted(1)]),
    "triples": Outcome([New("saved_body.html", "1e6321d97ea2", True)], [NO_YTNEF, extracted(1)],
                       True),
    "two-files": Outcome([AUTHORS, New("README", "d0f163180d6a")], [extracted(2)]),
    "unicode-mapi-attr": Outcome([New("example.dat", "b188960490ad"),
                                  New("saved_body.html", "2b1faef9cdcf")], [extracted(2)]),
    "unicode-mapi-attr-name": Outcome([
        New("spaconsole2.cfg", "4d9639506fa4"),
        New("image001.png", "037f9d1fa06b", False, "image001.png@01CF8C82.F4A2A290"),
        New("image002.png", "ea179fb97a7e", False, "image002.png@01CF8C82.F4A2A290"),
        New("image003.png", "20c51557b9c7", False, "image003.png@01CF8C82.F4A2A290"),
        New("saved_body.html", "3d598c5cfca2")], [extracted(5)]),
    # tests/data/tnef-real
    "tnefparse-umlaut": Outcome([New("TBZ PARIV GmbH.jpg", "67597116a0db"),
                                 New("image003.jpg", "49b597682736", False,
                                     "image003.jpg@01D2EE6A.85652C70"),
                                 New("UmlautAnhang-\u00e4\u00fc\u00f6.txt", "9b34b140af86"),
                                 New("saved_body.html", "8a319b4433e2", True)], [extracted(4)]),
}


def parse(data):
    return email.message_from_bytes(data, policy=email.policy.compat32)
