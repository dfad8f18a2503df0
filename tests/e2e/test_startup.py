"""Start-up and the end of a run: options, banner, converter checks, program
directory, the work directory wmd_temp and the Submitted directory."""
import os
import shutil
import unittest

import driver
import messages
from cases import EndToEndCase
from install import sample

BANNER = [
    "* Quillmere's Verrowick 2.6",
    "* This filter will extract winmail.dat attachments from messages and ",
    "*    reinserts extracted content of winmail.dat into them.           ",
    "*",
]
FOUND_TNEF = ["* Found tnef binary"]
FOUND_RTF2HTML = ["* Found rtf2html binary"]
REINSTALL = "* Please reinstall the filter and follow the INSTALL instructions"
NO_TNEF_FILTER = ["* ERROR: tnef binary not found, messages will be left unscanned", REINSTALL]
NO_TNEF_BATCH = ["* ERROR: tnef binary not found, unable to contine.", REINSTALL + "."]
NO_RTF2HTML = ["* ERROR: rtf2html binary not found, rtf bodies will not be decoded as html",
               REINSTALL]
KEEP = ["* -k specified, original winmail.dat will be kept with extracted attachments"]
EMPTY_BATCH = ["* Batch done: 0 processed, 0 converted, 0 unchanged, 0 failed, 0 skipped"]

HELP_TEXTS = [
    "-h [ --help ] Help. Shows this screen.",
    "-k [ --keep-winmail ] Keep the winmail.dat attachment along with the extracted attachment."
    " The default behavior is to discard winmail.dat.",
    "-r [ --no-rtf-alternative ] Ignore the rtf body when a text/html part is already present in"
    " the text/alternative section of the message. The default behavior is to add a text/rtf"
    " alternative.",
    "--ignore-rtf-body Ignore the rtf body in ALL cases",
    "--always-remove-winmail Always remove the winmail.dat attachment, whether or not something"
    " was extracted from it. The default behavior is to leave the winmail.dat part alone when"
    " nothing relevant can be extracted.",
    "-p [ --path ] arg Specify the path of the mdir mailbox containing the emails to convert."
    " This enables the (free) batch mode.",
    "-n [ --no-recurse ] In batch mode, do not recurse into subdirectories. The default behavior"
    " is to recurse into subdirectories.",
]


class OptionsTest(EndToEndCase):
    """Usage text and option errors end the run at once, before any directory is made."""

    def setUp(self):
        super().setUp()
        self.program = self.ws.program()

    def run_filter(self, args):
        run = driver.run(self.program, args, cwd=self.ws.base)
        self.assertEqual(run.status, 0)
        self.assertFalse(os.path.exists(self.program.work_dir))
        self.assertFalse(os.path.exists(os.path.join(self.ws.base, "Submitted")))
        return run

    def test_usage_text(self):
        for args in (["--help"], ["-h"], ["-k", "-h", "-p", "mbox"]):
            with self.subTest(args=args):
                run = self.run_filter(args)
                self.assertEqual(run.stderr, "")
                self.assertEqual(run.lines[:5], ["all visible and hidden options:", "",
                                                 "* Quillmere's Verrowick 2.6 for Communigate Pro",
                                                 "", "Usage:"])
                flowing = " ".join(" ".join(run.lines).split())
                for text in HELP_TEXTS:
                    self.assertIn(text, flowing)
                for line in BANNER[:3]:
                    self.assertNotIn(line, run.lines)

    def test_option_errors(self):
        once = "option should only be specified once"
        cases = [
            (["--bogus"], "unrecognised option '--bogus'"),
            (["-p", "a", "-p", "b"], once),
            (["--path=a", "-p", "a"], once),
            (["--keep-winmail=1"], "option '--keep-winmail' does not take any arguments"),
            (["-p"], "the required argument for option '--path' is missing"),
            (["mailbox"], "too many positional options have been specified on the command line"),
        ]
        for args, message in cases:
            with self.subTest(args=args):
                run = self.run_filter(args)
                self.assertEqual(run.lines, [])
                self.assertEqual(run.stderr, f"\n{message}\n\n{self.program.binary}"
                                             " --help for usage information\n")

    def test_error_frame_names_the_program_as_invoked(self):
        run = driver.run(self.program, ["--bogus"], cwd=self.ws.root, argv0="prog/verrowick")
        self.assertEqual(run.stderr, "\nunrecognised option '--bogus'\n\n"
                                     "prog/verrowick --help for usage information\n")


class ConverterLinesTest(EndToEndCase):
    """The banner and the lines that tell whether tnef and rtf2html lie beside the filter."""

    # (tnef, rtf2html, arguments, lines after the banner)
    FILTER_MODE = [
        ("real", "standin", [], FOUND_TNEF + FOUND_RTF2HTML),
        ("real", "standin", ["-k"], KEEP + FOUND_TNEF + FOUND_RTF2HTML),
        ("real", None, [], FOUND_TNEF + NO_RTF2HTML),
        (None, "standin", [], NO_TNEF_FILTER + FOUND_RTF2HTML),
        (None, None, ["--keep-winmail"], KEEP + NO_TNEF_FILTER + NO_RTF2HTML),
        ("real", None, ["--ignore-rtf-body"], FOUND_TNEF),
        ("real", "standin", ["--ignore-rtf-body", "-r", "-n"], FOUND_TNEF),
        ("real", "standin", ["-p", ""], FOUND_TNEF + FOUND_RTF2HTML),
    ]
    BATCH_MODE = [
        ("real", "standin", [], FOUND_TNEF + FOUND_RTF2HTML + EMPTY_BATCH),
        ("real", None, [], FOUND_TNEF + NO_RTF2HTML + EMPTY_BATCH),
        ("real", None, ["--ignore-rtf-body"], FOUND_TNEF + NO_RTF2HTML + EMPTY_BATCH),
        ("real", "standin", ["-k"], FOUND_TNEF + FOUND_RTF2HTML + EMPTY_BATCH),
        (None, "standin", [], NO_TNEF_BATCH),
    ]

    def test_filter_mode(self):
        for n, (tnef, rtf2html, args, lines) in enumerate(self.FILTER_MODE):
            with self.subTest(tnef=tnef, rtf2html=rtf2html, args=args):
                program = self.ws.program(f"prog{n}", tnef=tnef, rtf2html=rtf2html)
                session = self.start(program, args)
                self.assertEqual(session.startup, BANNER + lines + [driver.READY])
                self.assertTrue(os.path.isdir(program.work_dir))
                self.assertEqual(self.finish(session, program).lines, [])

    def test_batch_mode(self):
        mailbox = os.path.join(self.ws.root, "mbox")
        os.mkdir(mailbox)
        for n, (tnef, rtf2html, args, lines) in enumerate(self.BATCH_MODE):
            with self.subTest(tnef=tnef, rtf2html=rtf2html, args=args):
                program = self.ws.program(f"prog{n}", tnef=tnef, rtf2html=rtf2html)
                run = driver.run(program, ["-p", mailbox, *args], cwd=self.ws.base)
                self.assertEqual((run.status, run.stderr), (0, ""))
                self.assertEqual(run.lines, BANNER + lines)
                self.assertFalse(os.path.exists(program.work_dir))
        self.assertFalse(os.path.exists(os.path.join(self.ws.base, "Submitted")))

    def test_batch_mode_without_tnef_reads_no_message(self):
        mailbox = os.path.join(self.ws.root, "mbox")
        os.mkdir(mailbox)
        message = messages.render(messages.shaped("mixed", [sample("one-file")]))
        with open(os.path.join(mailbox, "1"), "wb") as f:
            f.write(message)
        program = self.ws.program(tnef=None)
        run = driver.run(program, ["-p", mailbox], cwd=self.ws.base)
        self.assertEqual(run.lines, BANNER + NO_TNEF_BATCH)
        with open(os.path.join(mailbox, "1"), "rb") as f:
            self.assertEqual(f.read(), message)
        self.assertEqual(os.listdir(mailbox), ["1"])

    def test_filter_mode_without_tnef_passes_messages_unscanned(self):
        program = self.ws.program(tnef=None)
        queued = self.ws.queue("1.msg", messages.envelope() + messages.render(
            messages.shaped("mixed", [sample("one-file")])))
        session = self.start(program)
        reply = session.request(f"1 FILE {queued}")
        self.assertEqual(reply.log, ["* tnef binary not found, message is left unscanned",
                                     "* [1] Accepting message"])
        self.assertEqual(reply.answer, "1 OK")
        self.finish(session, program)
        self.assertEqual(self.ws.submitted(), [])


class ProgramDirectoryTest(EndToEndCase):
    """The converters and wmd_temp are found beside the program as it was invoked."""

    def convert_one(self, session):
        """A message with one winmail.dat part is converted (the converters were found)."""
        message = messages.render(messages.shaped("mixed", [sample("one-file")]))
        queued = os.path.join(self.ws.base, self.ws.queue("1.msg", messages.envelope() + message))
        self.assertEqual(session.request(f"1 FILE {queued}").answer, "1 DISCARD")

    def test_relative_path(self):
        program = self.ws.program()
        session = driver.FilterSession(program, self.ws.root, argv0="prog/verrowick")
        self.addCleanup(session.kill)
        self.assertIn("* Found tnef binary", session.startup)
        self.assertTrue(os.path.isdir(os.path.join(self.ws.root, "prog", "wmd_temp")))
        self.assertFalse(os.path.exists(os.path.join(self.ws.root, "wmd_temp")))
        self.assertTrue(os.path.isdir(os.path.join(self.ws.root, "Submitted")))
        self.convert_one(session)
        self.finish(session, program)
        self.assertEqual(len(os.listdir(os.path.join(self.ws.root, "Submitted"))), 1)

    def test_absolute_path(self):
        program = self.ws.program()
        session = self.start(program)
        self.assertTrue(os.path.isdir(program.work_dir))
        self.assertFalse(os.path.exists(os.path.join(self.ws.base, "wmd_temp")))
        self.convert_one(session)
        self.finish(session, program)

    def test_dot_slash_from_the_program_directory(self):
        program = self.ws.program()
        session = driver.FilterSession(program, program.path, argv0="./verrowick")
        self.addCleanup(session.kill)
        self.assertIn("* Found tnef binary", session.startup)
        self.assertTrue(os.path.isdir(os.path.join(program.path, "Submitted")))
        self.convert_one(session)
        self.finish(session, program)

    def test_name_without_slash_means_the_working_directory(self):
        program = self.ws.program()
        session = driver.FilterSession(program, self.ws.base, argv0="verrowick")
        self.addCleanup(session.kill)
        self.assertIn(NO_TNEF_FILTER[0], session.startup)
        self.assertTrue(os.path.isdir(os.path.join(self.ws.base, "wmd_temp")))
        self.assertFalse(os.path.exists(program.work_dir))
        self.finish(session)
        self.assertFalse(os.path.exists(os.path.join(self.ws.base, "wmd_temp")))


class WorkDirectoryTest(EndToEndCase):
    """wmd_temp is made at start-up, emptied and removed at the end."""

    def test_existing_work_directory_is_emptied_and_removed(self):
        program = self.ws.program()
        os.mkdir(program.work_dir)
        for name in ("winmail.dat", "AUTHORS", "old.html"):
            with open(os.path.join(program.work_dir, name), "w") as f:
                f.write("left over")
        self.finish(self.start(program), program)

    def test_dot_files_stay_and_keep_the_directory(self):
        program = self.ws.program()
        session = self.start(program)
        for name in (".keep", "stray.txt"):
            with open(os.path.join(program.work_dir, name), "w") as f:
                f.write("x")
        self.finish(session)
        self.assertEqual(os.listdir(program.work_dir), [".keep"])

    def test_batch_mode_makes_and_removes_it(self):
        program = self.ws.program()
        mailbox = os.path.join(self.ws.root, "mbox")
        os.mkdir(mailbox)
        os.mkdir(program.work_dir)
        driver.run(program, ["-p", mailbox], cwd=self.ws.base)
        self.assertFalse(os.path.exists(program.work_dir))


class SubmittedDirectoryTest(EndToEndCase):
    """Filter mode makes Submitted in its working directory; an existing one is kept."""

    def test_made_when_missing(self):
        program = self.ws.program()
        self.finish(self.start(program), program)
        self.assertEqual(self.ws.submitted(), [])

    def test_existing_one_keeps_its_files(self):
        program = self.ws.program()
        submitted = os.path.join(self.ws.base, "Submitted")
        os.mkdir(submitted)
        with open(os.path.join(submitted, "other.sub"), "w") as f:
            f.write("Return-Path: a@b\n\nkept\n")
        self.finish(self.start(program), program)
        self.assertEqual(self.ws.submitted(), ["other.sub"])

    def test_not_made_in_batch_mode(self):
        program = self.ws.program()
        mailbox = os.path.join(self.ws.root, "mbox")
        os.mkdir(mailbox)
        shutil.rmtree(os.path.join(self.ws.base, "Queue"))
        driver.run(program, ["-p", mailbox], cwd=self.ws.base)
        self.assertEqual(os.listdir(self.ws.base), [])


if __name__ == "__main__":
    unittest.main()
