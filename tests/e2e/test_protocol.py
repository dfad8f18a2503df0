"""The helper protocol as the mail server sees it: request lines in, answers out.

Every request is sent on its own and its answer read before the next one, as
the server does; each table row is (request line, log lines, answer line).
"""
import glob
import os
import socket
import unittest

import messages
from cases import EndToEndCase
from install import sample

QUIT_ANSWER = '"Filter is shut down and waiting for standard output to be closed"'
AFTER_QUIT = 'REJECTED "QUIT command received, filter is shut down. Please restart the filter."'
NOT_A_NUMBER = 'REJECTED "Error: seqID should be a number"'

SERVING = [
    ("1 INTF 3", [], "1 INTF 3"),
    ("1 intf", [], "1 INTF 3"),
    ("1 INTF 9", [], "1 INTF 3"),
    ("1 INTF x", [], "1 INTF 3"),
    ("2 Intf 1", [], "2 INTF 3"),
    ("5 KEY anything", [], "5 OK"),
    ("5 key", [], "5 OK"),
    ("0 FILE Queue/missing.msg", [], '0 OK "Error: File Not Found Queue/missing.msg"'),
    ("00 FILE Queue/missing.msg", [], f"00 {NOT_A_NUMBER}"),
    ("x FILE Queue/missing.msg", [], f"x {NOT_A_NUMBER}"),
    ("007 FILE Queue/missing.msg", [], '7 OK "Error: File Not Found Queue/missing.msg"'),
    ("12abc FILE Queue/missing.msg", [], '12 OK "Error: File Not Found Queue/missing.msg"'),
    ("   15    FILE    Queue/missing.msg", [], '15 OK "Error: File Not Found Queue/missing.msg"'),
    ("14 FILE Queue/nope.msg  ", [], '14 OK "Error: File Not Found Queue/nope.msg  "'),
    ("12 FILE", [], '12 FAILURE "Missing parameter(s)"'),
    ("12 FILE   ", [], '12 FAILURE "Missing parameter(s)"'),
    ("12 FROB x", [], "12 FAILURE"),
    ("12 FROB", [], '12 FAILURE "Missing parameter(s)"'),
    ("x FROB y", [], f"x {NOT_A_NUMBER}"),
    ("12", [], "12 FAILURE"),
    ("  12  ", [], "12 FAILURE"),
    ("", [], "(null) FAILURE"),
    ("   ", [], "(null) FAILURE"),
    ("12 FILE Queue/a b.msg", ["* [12] Accepting message"], "12 OK"),
    ("13 file Queue/plain.msg", ["* [13] Accepting message"], "13 OK"),
    ("0 FILE Queue/plain.msg", ["* Accepting message"], "0 OK"),
    ("16 FILE Queue", [], '16 OK "Error: File Not Found Queue"'),
    ("17 FILE Queue/dangling.msg", [], '17 OK "Error: File Not Found Queue/dangling.msg"'),
    ('18 FILE Queue/q"uote\\d.msg', [], '18 OK "Error: File Not Found Queue/q\\"uote\\\\d.msg"'),
    ("19 FILE Queue/tab\there.msg", [], '19 OK "Error: File Not Found Queue/tab\\there.msg"'),
    ('20 FILE Queue/odd "name" \\ here.msg', ["* [20] Accepting message"], "20 OK"),
    ("21 FILE Queue/socket", [], '21 OK "Error: unable to open file Queue/socket"'),
]

QUITTING = [
    ("3 QUIT", ["* 3: Filter is shutting down..."], f"3 OK {QUIT_ANSWER}"),
    ("4 FILE Queue/plain.msg", [], f"4 {AFTER_QUIT}"),
    ("4 INTF 3", [], f"4 {AFTER_QUIT}"),
    ("5 KEY x", [], f"5 {AFTER_QUIT}"),
    ("5 QUIT", [], f"5 {AFTER_QUIT}"),
    ("6", [], f"6 {AFTER_QUIT}"),
    ("x FILE y", [], f"x {AFTER_QUIT}"),
    ("7 FROB", [], f"7 {AFTER_QUIT}"),
    ("8 crash", [], f"8 {AFTER_QUIT}"),
    ("", [], "(null) FAILURE"),
]


class RequestTableTest(EndToEndCase):
    """Every kind of request line, through one filter process."""

    def setUp(self):
        super().setUp()
        self.program = self.ws.program()
        plain = messages.render(messages.plain_message())
        for name in ("plain.msg", "a b.msg", 'odd "name" \\ here.msg'):
            self.ws.queue(name, messages.envelope() + plain)
        os.symlink("nowhere.msg", os.path.join(self.ws.base, "Queue", "dangling.msg"))
        # A socket exists but cannot be opened, even by root.
        self.socket = socket.socket(socket.AF_UNIX)
        self.addCleanup(self.socket.close)
        self.socket.bind(os.path.join(self.ws.base, "Queue", "socket"))

    def run_table(self, session, rows):
        for request, log, answer in rows:
            with self.subTest(request=request):
                reply = session.request(request)
                self.assertEqual((reply.log, reply.answer), (log, answer))

    def test_requests_while_serving_and_after_quit(self):
        session = self.start(self.program)
        self.run_table(session, SERVING)
        self.run_table(session, QUITTING)
        run = self.finish(session, self.program)
        self.assertEqual(run.lines, [])
        self.assertEqual(self.ws.submitted(), [])

    def test_end_of_input_while_serving_ends_the_filter(self):
        session = self.start(self.program)
        self.assertEqual(session.request("1 INTF 3").answer, "1 INTF 3")
        self.assertEqual(self.finish(session, self.program).lines, [])

    @unittest.skipIf(os.geteuid() == 0, "root may open any file")
    def test_unreadable_file(self):
        path = self.ws.queue("secret.msg", b"From: a\n\nsecret\n")
        os.chmod(os.path.join(self.ws.base, path), 0)
        session = self.start(self.program)
        self.assertEqual(session.request(f"9 FILE {path}").answer,
                         f'9 OK "Error: unable to open file {path}"')
        self.finish(session, self.program)


class LineEndTest(EndToEndCase):
    """Request lines ended by LF, CR LF, CR or LF CR, and a last line without end."""

    # (name, [(bytes written at once, the answers they get)])
    CASES = [
        ("lf", [("1 INTF 3\n", ["1 INTF 3"]), ("2 KEY x\n", ["2 OK"])]),
        ("cr lf", [("1 INTF 3\r\n", ["1 INTF 3"]), ("2 KEY x\r\n", ["2 OK"])]),
        ("cr", [("1 INTF 3\r", ["1 INTF 3"]), ("2 KEY x\r", ["2 OK"])]),
        ("lf cr", [("1 INTF 3\n\r", ["1 INTF 3"]), ("2 KEY x\n\r", ["2 OK"])]),
        ("cr lf split across writes",
         [("1 INTF 3\r", ["1 INTF 3"]), ("\n2 KEY x\r", ["2 OK"]), ("\n3 KEY y\n", ["3 OK"])]),
        ("lf cr split across writes", [("1 INTF 3\n", ["1 INTF 3"]), ("\r2 KEY x\n", ["2 OK"])]),
        ("empty lines", [("\n", ["(null) FAILURE"]),
                         ("\r\n\r\n", ["(null) FAILURE", "(null) FAILURE"])]),
        ("several requests at once",
         [("1 INTF 3\n2 KEY\r\n3 FROB x\r", ["1 INTF 3", "2 OK", "3 FAILURE"])]),
        ("file path with cr lf", [("4 FILE Queue/plain.msg\r\n", ["4 OK"])]),
    ]

    def test_line_ends(self):
        program = self.ws.program()
        self.ws.queue("plain.msg", messages.render(messages.plain_message()))
        for name, exchanges in self.CASES:
            with self.subTest(name):
                session = self.start(program)
                for data, answers in exchanges:
                    session.send(data)
                    self.assertEqual([session.reply().answer for _ in answers], answers)
                self.assertEqual(self.finish(session, program).lines, [])

    def test_last_line_without_line_end_is_served(self):
        program = self.ws.program()
        session = self.start(program)
        session.send("1 INTF 3\n2 KEY x")
        self.assertEqual(session.reply().answer, "1 INTF 3")
        self.assertEqual(self.finish(session, program, answers=["2 OK"]).lines, ["2 OK"])


class CrashRequestTest(EndToEndCase):
    """The request word "crash" stops the filter the orderly way."""

    def test_crash(self):
        for line in ("2 crash", "x CRASH now"):
            with self.subTest(line):
                program = self.ws.program(f"prog{len(line)}")
                session = self.start(program)
                self.assertEqual(session.request("1 INTF 3").answer, "1 INTF 3")
                session.send(line + "\n")
                run = self.finish(session, program)
                self.assertEqual(run.lines, ["* unhandled exception request, the filter stops"])
                cores = glob.glob(os.path.join(self.ws.root, "**", "core*"), recursive=True)
                self.assertEqual(cores, [])


class ClosedOutputTest(EndToEndCase):
    """A server that stops reading the answers ends the filter, which still cleans up."""

    def test_output_closed(self):
        queued = self.ws.queue("1.msg", messages.envelope() + messages.render(
            messages.shaped("mixed", [sample("one-file")])))
        for n, requests in enumerate(["1 INTF 3\n2 KEY x\n", f"1 FILE {queued}\n2 INTF 3\n"]):
            with self.subTest(requests=requests):
                program = self.ws.program(f"prog{n}")
                session = self.start(program)
                session.hang_up()
                session.send(requests)
                self.assertEqual(session.wait(), 0)
                self.assertFalse(os.path.exists(program.work_dir))
                # No answer can tell the server to discard the original, so no
                # converted copy may be released beside it.
                self.assertEqual(self.ws.submitted(), [])


if __name__ == "__main__":
    unittest.main()
