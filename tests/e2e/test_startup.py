"""Start-up and the end of a run: options, banner, converter lines, the program
directory, the work directory wmd_temp and the Submitted directory."""
import os
import unittest

import driver
import messages
from cases import EndToEndCase
from install import sample, sandbox_lines

BANNER = ["* Quillmere's Verrowick 2.6",
          "* This filter will extract winmail.dat attachments from messages and ",
          "*    reinserts extracted content of winmail.dat into them.           ", "*",
          *sandbox_lines()]
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
USAGE = ("all visible and hidden options: * Quillmere's Verrowick 2.6 for Communigate Pro Usage:"
         " -h [ --help ] Help. Shows this screen. -k [ --keep-winmail ] Keep the winmail.dat "
         "attachment along with the extracted attachment. The default behavior is to discard "
         "winmail.dat. -r [ --no-rtf-alternative ] Ignore the rtf body when a text/html part is "
         "already present in the text/alternative section of the message. The default behavior "
         "is to add a text/rtf alternative. --ignore-rtf-body Ignore the rtf body in ALL cases "
         "--always-remove-winmail Always remove the winmail.dat attachment, whether or not "
         "something was extracted from it. The default behavior is to leave the winmail.dat part"
         " alone when nothing relevant can be extracted. --inline-body Show the HTML body of a "
         "winmail.dat as the message body, with the images it shows, instead of as an "
         "attachment. -p [ --path ] arg Specify the path of "
         "the mdir mailbox containing the emails to convert. This enables the (free) batch mode."
         " -n [ --no-recurse ] In batch mode, do not recurse into subdirectories. The default "
         "behavior is to recurse into subdirectories. --converter-user arg When run as root, run "
         "tnef and rtf2html as this user. The default is verrowick, or nobody where there is no "
         "such user. -w [ --workers ] arg (=1) Convert up to "
         "this many messages at once, from 1 to 64. A busy server gains from more than 1; about "
         "one per processor core is a fair start. all visible and hidden options:")


def one_file_message():
    return messages.render(messages.shaped("mixed", sample("one-file")))


class OptionsTest(EndToEndCase):
    def test_usage_text_and_option_errors(self):
        error = "\n{}\n\n./verrowick --help for usage information\n".format
        cases = [  # (arguments, standard output as flowing text, standard error)
            (["-k", "-h", "-p", "mbox"], USAGE, ""),
            (["--bogus"], "", error("unrecognised option '--bogus'")),
            (["--path=a", "-p", "a"], "", error("option should only be specified once")),
            (["--keep-winmail=1"], "",
             error("option '--keep-winmail' does not take any arguments")),
            (["-p"], "", error("the required argument for option '--path' is missing")),
            (["-w", "0"], "", error("the argument ('0') for option 'workers' is invalid")),
            (["--workers=65"], "", error("the argument ('65') for option 'workers' is invalid")),
            (["mailbox"], "",
             error("too many positional options have been specified on the command line")),
        ]
        for args, out, err in cases:
            with self.subTest(args=args):
                program = self.new_program(str(args))
                run = driver.run(program, args, cwd=program.path, argv0="./verrowick")
                self.assertEqual((run.status, " ".join(" ".join(run.lines).split()), run.stderr),
                                 (0 if out else 2, out, err))
                # The run ends at once, before any directory is made.
                self.assertEqual(sorted(os.listdir(program.path)),
                                 ["rtf2html", "tnef", "verrowick"])


class ConverterLinesTest(EndToEndCase):
    """The banner and the lines that tell whether tnef and rtf2html lie beside the filter."""

    # (tnef, rtf2html, arguments, lines after the banner); ytnef is there with rtf2html
    FILTER_MODE = [
        ("real", True, [], TNEF + YTNEF + RTF2HTML),
        (None, False, ["--keep-winmail"], KEEP + NO_TNEF + NO_YTNEF + NO_RTF2HTML),
        ("real", False, ["--ignore-rtf-body"], TNEF + NO_YTNEF),
        ("real", True, ["-p", ""], TNEF + YTNEF + RTF2HTML),
    ]
    BATCH_MODE = [  # a missing mailbox, a plain file as mailbox, a mailbox left unread
        ("real", True, ["no-such-dir"], TNEF + YTNEF + RTF2HTML + [
            "* Unable to read the mailbox no-such-dir: No such file or directory"] + EMPTY_BATCH),
        ("real", False, ["Queue/1", "--ignore-rtf-body", "-k"], TNEF + NO_YTNEF + NO_RTF2HTML + [
            "* Unable to read the mailbox Queue/1: Not a directory"] + EMPTY_BATCH),
        (None, True, ["Queue"], NO_TNEF_BATCH),
    ]

    def test_filter_mode(self):
        for n, (tnef, rtf2html, args, lines) in enumerate(self.FILTER_MODE):
            with self.subTest(tnef=tnef, rtf2html=rtf2html, args=args):
                program = self.new_program(f"prog{n}", tnef=tnef, rtf2html=rtf2html,
                                           ytnef="real" if rtf2html else None)
                session = self.start(program, args)
                self.assertEqual(session.startup, BANNER + lines + [driver.READY])
                self.assertTrue(os.path.isdir(program.work_dir))
                self.assertEqual(self.finish(session, program).lines, [])

    def test_batch_mode(self):
        self.queue("1", one_file_message())
        for n, (tnef, rtf2html, args, lines) in enumerate(self.BATCH_MODE):
            with self.subTest(tnef=tnef, rtf2html=rtf2html, args=args):
                program = self.new_program(f"prog{n}", tnef=tnef, rtf2html=rtf2html,
                                           ytnef="real" if rtf2html else None)
                run = driver.run(program, ["-p", *args], cwd=self.base)
                # None of these runs can read its mailbox: exit status 1.
                self.assertEqual((run.status, run.stderr, run.lines), (1, "", BANNER + lines))
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
                self.assertEqual(session.startup[len(BANNER)],
                                 (TNEF if cwd == root else NO_TNEF)[0])
                self.assertTrue(os.path.isdir(os.path.join(directory, "wmd_temp")))
                reply = session.request(f"1 FILE {queued}")
                if cwd == root:
                    self.assertEqual(reply.answer, "1 DISCARD")
                else:
                    self.assertEqual((reply.log, reply.answer), ([
                        "* tnef binary not found, message is left unscanned",
                        "* [1] Accepting message"], "1 OK"))
                self.finish(session)
                work = os.path.join(directory, "wmd_temp")
                self.assertEqual(os.listdir(work) if os.path.exists(work) else None,
                                 [".keep"] if cwd == root else None)
        self.assertEqual(len(os.listdir(os.path.join(root, "Submitted"))), 1)
        self.assertEqual(self.submitted(), ["other.sub"])


if __name__ == "__main__":
    unittest.main()
