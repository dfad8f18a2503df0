"""Start-up and the end of a run: options, banner, converter lines, whom the converters run
as, the program directory, the work directory wmd_temp and the Submitted directory."""
import os

import driver
import messages
from cases import EndToEndCase
from install import converter_user, sample, sandbox_lines
from reference import FOUND

BANNER = ["* Quillmere's Verrowick 2.6",
          "* This filter will extract winmail.dat attachments from messages and ",
          "*    reinserts extracted content of winmail.dat into them.           ", "*"]
SANDBOX = sandbox_lines()
TNEF = ["* Found tnef binary"]
RTF2HTML = ["* Found rtf2html binary"]
YTNEF = ["* Found ytnef binary"]
NO_YTNEF = ["* ytnef binary not found, calendar items, tasks and contacts will keep their"
            " winmail.dat"]
REINSTALL = "* Please reinstall the filter and follow the INSTALL instructions"
NO_TNEF = ["* ERROR: tnef binary not found, messages will be left unscanned", REINSTALL]
NO_TNEF_BATCH = ["* ERROR: tnef binary not found, unable to contine.", REINSTALL + "."]
NO_RTF2HTML = ["* ERROR: rtf2html binary not found, rtf bodies will not be decoded as html",
               REINSTALL]
KEEP = ["* -k specified, original winmail.dat will be kept with extracted attachments"]
EMPTY_BATCH = ["* Batch done: 0 processed, 0 converted, 0 unchanged, 0 failed, 0 skipped"]
NOT_RUN = ("* Unable to start the tnef binary, unable to extract winmail.dat attachments. "
           "Message will be left unscanned: ")
USAGE = ["all visible and hidden options:", "", "* Quillmere's Verrowick 2.6 for Communigate Pro",
         "", "Usage:"]
OPTIONS = ["-h [ --help ]", "-k [ --keep-winmail ]", "-r [ --no-rtf-alternative ]",
           "--ignore-rtf-body", "--always-remove-winmail", "--inline-body", "-p [ --path ] arg",
           "-n [ --no-recurse ]", "--converter-user arg", "-w [ --workers ] arg (=1)"]


def one_file_message():
    return messages.render(messages.shaped("mixed", sample("one-file")))


class OptionsTest(EndToEndCase):
    def test_usage_text_and_option_errors(self):
        error = "\n{}\n\n./verrowick --help for usage information\n".format
        cases = [  # (arguments, standard error); the first shows the usage text
            (["-k", "-h", "-p", "mbox"], ""),
            (["--bogus"], error("unrecognised option '--bogus'")),
            (["--path=a", "-p", "a"], error("option should only be specified once")),
            (["--keep-winmail=1"], error("option '--keep-winmail' does not take any arguments")),
            (["-p"], error("the required argument for option '--path' is missing")),
            (["-w", "0"], error("the argument ('0') for option 'workers' is invalid")),
            (["--workers=65"], error("the argument ('65') for option 'workers' is invalid")),
            (["mailbox"], error("too many positional options have been specified on the "
                                "command line")),
        ]
        for args, err in cases:
            with self.subTest(args=args):
                program = self.new_program(str(args))
                run = driver.run(program, args, cwd=program.path, argv0="./verrowick")
                options = [line.split("   ")[0].strip() for line in run.lines
                           if line.startswith("  -")]
                self.assertEqual((run.status, run.stderr, run.lines[:5], options, run.lines[-3:]),
                                 (2, err, [], [], []) if err else
                                 (0, "", USAGE, OPTIONS, ["", USAGE[0], ""]))
                # The run ends at once, before any directory is made.
                self.assertEqual(sorted(os.listdir(program.path)),
                                 ["rtf2html", "tnef", "verrowick"])


class ConverterLinesTest(EndToEndCase):
    """The banner and the lines that tell whether tnef and rtf2html lie beside the filter and
    whom they run as, and what comes of a request for a message with a winmail.dat then."""

    # (tnef: "real", None or a script, rtf2html, arguments, lines after the banner, the log of a
    # request when the message passes unchanged); ytnef is there with rtf2html
    FILTER_MODE = [
        ("real", True, [], SANDBOX + TNEF + YTNEF + RTF2HTML, None),
        (None, False, ["--keep-winmail"], SANDBOX + KEEP + NO_TNEF + NO_YTNEF + NO_RTF2HTML,
         ["* tnef binary not found, message is left unscanned"]),
        ("real", False, ["--ignore-rtf-body"], SANDBOX + TNEF + NO_YTNEF, None),
        ("real", True, ["-p", ""], SANDBOX + TNEF + YTNEF + RTF2HTML, None),
    ]
    if os.geteuid() == 0:  # only root changes the converters' user
        FILTER_MODE += [
            ("real", False, ["--ignore-rtf-body", "--converter-user", "no such user"], [
                "* The converter user no such user does not exist: no such user; messages with "
                "winmail.dat attachments pass unchanged"] + TNEF + NO_YTNEF,
             [FOUND, NOT_RUN + "the converter user no such user does not exist"]),
            ("#!/nonexistent/interp\n", False, ["--ignore-rtf-body"], SANDBOX + TNEF + [
                f"* The tnef binary cannot be run by user {converter_user().pw_name}: No such "
                "file or directory"] + NO_YTNEF, [FOUND, NOT_RUN + "No such file or directory"]),
        ]
    BATCH_MODE = [  # a missing mailbox, a plain file as mailbox, a mailbox left unread
        ("real", True, ["no-such-dir"], TNEF + YTNEF + RTF2HTML + [
            "* Unable to read the mailbox no-such-dir: No such file or directory"] + EMPTY_BATCH),
        ("real", False, ["Queue/1", "--ignore-rtf-body", "-k"], TNEF + NO_YTNEF + NO_RTF2HTML + [
            "* Unable to read the mailbox Queue/1: Not a directory"] + EMPTY_BATCH),
        (None, True, ["Queue"], NO_TNEF_BATCH),
    ]

    def test_filter_mode(self):
        queued = self.queue("1", messages.envelope() + one_file_message())
        for n, (tnef, rtf2html, args, lines, log) in enumerate(self.FILTER_MODE):
            with self.subTest(tnef=tnef, rtf2html=rtf2html, args=args):
                program = self.new_program(f"prog{n}", tnef=tnef if tnef == "real" else None,
                                           rtf2html=rtf2html, ytnef="real" if rtf2html else None)
                if tnef and tnef != "real":
                    program.put("tnef", tnef)
                session = self.start(program, args)
                self.assertEqual(session.startup, BANNER + lines + [driver.READY])
                reply = session.request("1 FILE " + queued)
                if log is None:
                    self.assertEqual(reply.answer, "1 DISCARD")
                else:
                    self.assertEqual(reply, ("1 OK", log + ["* [1] Accepting message"]))
                self.assertEqual(self.finish(session, program).lines, [])
                self.take_submitted()

    def test_batch_mode(self):
        self.queue("1", one_file_message())
        for n, (tnef, rtf2html, args, lines) in enumerate(self.BATCH_MODE):
            with self.subTest(tnef=tnef, rtf2html=rtf2html, args=args):
                program = self.new_program(f"prog{n}", tnef=tnef, rtf2html=rtf2html,
                                           ytnef="real" if rtf2html else None)
                run = driver.run(program, ["-p", *args], cwd=self.base)
                # None of these runs can read its mailbox: exit status 1.
                self.assertEqual((run.status, run.stderr, run.lines),
                                 (1, "", BANNER + SANDBOX + lines))
                self.assertFalse(os.path.exists(program.work_dir))
        with open(os.path.join(self.base, "Queue", "1"), "rb") as f:
            self.assertEqual(f.read(), one_file_message())
        self.assertEqual(os.listdir(self.base), ["Queue"])


class DirectoriesTest(EndToEndCase):
    def test_program_directory_from_argv0(self):
        # tnef and wmd_temp are found beside the program as invoked, wmd_temp is emptied but for
        # dot files; Submitted is made in the working directory, or kept with its files.
        program, root, base = self.new_program("prog"), self.root, self.base
        os.mkdir(program.work_dir)
        for name in ("winmail.dat", "old.html", ".keep"):
            with open(os.path.join(program.work_dir, name), "w") as f:
                f.write("left over")
        os.mkdir(os.path.join(base, "Submitted"))
        with open(os.path.join(base, "Submitted", "other.sub"), "w") as f:
            f.write("Return-Path: a@b\n\nkept\n")
        queued = os.path.join(base, self.queue("1.msg", messages.envelope()
                                                  + one_file_message()))
        # (working directory, argv[0], where tnef and wmd_temp are looked for)
        for cwd, argv0, directory in ((root, "prog/verrowick", program.path),
                                      (base, "verrowick", base)):
            with self.subTest(argv0=argv0):
                session = self.start(program, cwd=cwd, argv0=argv0)
                self.assertEqual(session.startup[len(BANNER + SANDBOX)],
                                 (TNEF if cwd == root else NO_TNEF)[0])
                self.assertTrue(os.path.isdir(os.path.join(directory, "wmd_temp")))
                reply = session.request(f"1 FILE {queued}")
                self.assertEqual(reply.answer, "1 DISCARD" if cwd == root else "1 OK")
                self.finish(session)
                work = os.path.join(directory, "wmd_temp")
                self.assertEqual(os.listdir(work) if os.path.exists(work) else None,
                                 [".keep"] if cwd == root else None)
        self.assertEqual(len(os.listdir(os.path.join(root, "Submitted"))), 1)
        self.assertEqual(self.submitted(), ["other.sub"])
