"""The helper protocol: request lines in, answers out, one request at a time."""
import glob
import os
import socket

import messages
from cases import EndToEndCase
from install import sample

NOT_FOUND = 'OK "Error: File Not Found Queue/'
NOT_A_NUMBER = 'REJECTED "Error: seqID should be a number"'
MISSING = 'FAILURE "Missing parameter(s)"'
AFTER_QUIT = 'REJECTED "QUIT command received, filter is shut down. Please restart the filter."'
ODD_NAME = 'a "b" \\ c.msg'

# (request line, log lines, answer line)
REQUESTS = [
    ("1 INTF 3", [], "1 INTF 3"),
    ("2 intf 9", [], "2 INTF 3"),
    ("5 KEY anything", [], "5 OK"),
    ("0 FILE Queue/missing.msg", [], f"0 {NOT_FOUND}missing.msg\""),
    ("12abc FILE Queue/missing.msg", [], f"12 {NOT_FOUND}missing.msg\""),
    ("   15    FILE    Queue/nope.msg  ", [], f"15 {NOT_FOUND}nope.msg  \""),
    ('18 FILE Queue/q"uote\\d\tx.msg', [], f'18 {NOT_FOUND}q\\"uote\\\\d\\tx.msg"'),
    ("16 FILE Queue", [], '16 OK "Error: File Not Found Queue"'),
    ("21 FILE Queue/socket", [], '21 OK "Error: unable to open file Queue/socket"'),
    ("x FILE Queue/missing.msg", [], f"x {NOT_A_NUMBER}"),
    ("00 FILE Queue/missing.msg", [], f"00 {NOT_A_NUMBER}"),

    ("12 FILE   ", [], f"12 {MISSING}"),
    ("12 FROB x", [], "12 FAILURE"),
    ("12 FROB", [], f"12 {MISSING}"),
    ("  12  ", [], "12 FAILURE"),
    ("   ", [], "(null) FAILURE"),
    (f"20 file Queue/{ODD_NAME}", ["* [20] Accepting message"], "20 OK"),
    ("0 FILE Queue/plain.msg", ["* Accepting message"], "0 OK"),
    ("3 QUIT", ["* 3: Filter is shutting down..."],
     '3 OK "Filter is shut down and waiting for standard output to be closed"'),
    ("4 FILE Queue/plain.msg", [], f"4 {AFTER_QUIT}"),
    ("x FILE y", [], f"x {AFTER_QUIT}"),
    ("8 crash", [], f"8 {AFTER_QUIT}"),
    ("", [], "(null) FAILURE"),
]
# (bytes written at once, the answers they get)
LINE_ENDS = [
    ("1 INTF 3\r\n", ["1 INTF 3"]),
    ("2 FILE Queue/plain.msg\r\n", ["2 OK"]),
    ("3 KEY x\r", ["3 OK"]),
    ("\n4 KEY x\r", ["4 OK"]),  # the LF of a CR LF split across writes
    ("\n5 KEY x\n", ["5 OK"]),
    ("\r6 KEY x\n\r", ["6 OK"]),  # the CR of an LF CR split across writes
    ("7 KEY x\r\n\r\n", ["7 OK", "(null) FAILURE"]),
    ("8 KEY\n9 KEY\r10 FROB x\r\n", ["8 OK", "9 OK", "10 FAILURE"]),
]


class ProtocolTest(EndToEndCase):
    def setUp(self):
        super().setUp()
        self.program = self.new_program()
        for name in ("plain.msg", ODD_NAME):
            self.queue(name, messages.envelope() + messages.render(messages.plain_message()))

    def test_requests_and_line_ends(self):
        # A socket exists but cannot be opened, even by root.
        sock = socket.socket(socket.AF_UNIX)
        self.addCleanup(sock.close)
        sock.bind(os.path.join(self.base, "Queue", "socket"))
        session = self.start(self.program)
        for data, answers in LINE_ENDS:
            session.send(data)
            self.assertEqual([session.reply().answer for _ in answers], answers, repr(data))
        for request, log, answer in REQUESTS:
            with self.subTest(request=request):
                self.assertEqual(session.request(request), (answer, log))
        session.send("11 KEY x")  # no line end before the end of input
        self.assertEqual(self.finish(session, self.program, [f"11 {AFTER_QUIT}"]).lines,
                         [f"11 {AFTER_QUIT}"])
        self.assertEqual(self.submitted(), [])

    def test_crash_request(self):
        session = self.start(self.program)
        session.send("x CRASH now\n")
        run = self.finish(session, self.program, status=1)
        self.assertEqual(run.lines, ["* unhandled exception request, the filter stops"])
        self.assertEqual(glob.glob(os.path.join(self.root, "**", "core*"), recursive=True), [])

    def test_output_closed_by_the_server(self):
        queued = self.queue("1.msg", messages.envelope() + messages.render(
            messages.shaped("mixed", sample("one-file"))))
        session = self.start(self.program)
        session.process.stdout.close()
        session.send(f"1 FILE {queued}\n2 INTF 3\n")
        session.process.stdin.close()
        self.assertEqual(session.process.wait(60), 0)
        self.assertFalse(os.path.exists(self.program.work_dir))
        # No answer can tell the server to discard the original, so no copy may be released.
        self.assertEqual(self.submitted(), [])
