"""Filter mode with the real tnef: messages of every shape, line-end style and
option, each answer and each file in Submitted judged against what tnef itself
extracts from the same winmail.dat."""
import unittest

import messages
from cases import EndToEndCase
from install import sample, sample_names
from messages import envelope, render, shaped

# (arguments, rtf2html) under which every shape is converted.
CONFIGURATIONS = [
    ((), "auto"),
    (("-k",), "auto"),
    (("-r",), "auto"),
    (("--ignore-rtf-body",), "auto"),
    (("--always-remove-winmail",), "auto"),
    ((), None),
]
# Attachments only, an RTF body only, both, and a file tnef complains about.
SHAPE_SAMPLES = ["two-files", "rtf", "MAPI_ATTACH_DATA_OBJ", "garbage-at-end"]
RENDERINGS = {"lf": {}, "crlf": {"eol": "\r\n"}, "no final line end": {"final_eol": False}}


class ShapesTest(EndToEndCase):
    """Every message shape, line-end style and option, one filter process per configuration."""

    def run_configuration(self, number, args, rtf2html, cases):
        program = self.ws.program(f"prog{number}", rtf2html=rtf2html)
        session = self.start(program, args)
        for seq, (label, message, eol) in enumerate(cases, 1):
            with self.subTest(args=args, rtf2html=rtf2html, case=label):
                queued = self.ws.queue(f"{seq}.msg", envelope(eol=eol) + message)
                exp = self.expectation(message, args, program, f"ref{number}-{seq}")
                converted = self.check_filtered(session, seq, queued, message, exp)
                if converted is not None:
                    self.assertNotIn(b"\r", converted)
        self.assertEqual(session.request("0 INTF 3").answer, "0 INTF 3")
        self.finish(session, program)

    def test_shapes(self):
        def cases(renderings):
            return [(f"{shape} {name} {rendering}",
                     render(shaped(shape, [sample(name), sample("triples")]), **how),
                     how.get("eol", "\n"))
                    for shape in messages.SHAPES for name in SHAPE_SAMPLES
                    for rendering, how in renderings.items()]

        # Line-end styles under the default options; the options with LF only.
        for number, (args, rtf2html) in enumerate(CONFIGURATIONS):
            renderings = RENDERINGS if number == 0 else {"lf": RENDERINGS["lf"]}
            self.run_configuration(number, args, rtf2html, cases(renderings))

    def test_every_sample(self):
        cases = [(name, render(shaped("mixed", [sample(name)])), "\n") for name in sample_names()]
        for number, (args, rtf2html) in enumerate([((), "auto"), (("--ignore-rtf-body",), None)]):
            self.run_configuration(number, args, rtf2html, cases)


if __name__ == "__main__":
    unittest.main()
