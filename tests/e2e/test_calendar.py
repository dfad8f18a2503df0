"""Calendar items, tasks, contacts and attached messages through the real tnef and ytnef:
what converts becomes usable parts, what does not keeps its winmail.dat with the reason."""
import email
import email.policy
import os
import sys

import driver
from cases import EndToEndCase
from install import Embedded, Ole, made, sample
from messages import render, shaped

try:
    import icalendar
except ImportError:  # an interpreter beside the system's (pyenv) lacks Debian's package
    sys.path.append("/usr/lib/python3/dist-packages")
    import icalendar

SENDER = "sender@example.com"  # the From: of messages.message()
PR_CONVERSATION_TOPIC, PR_DISPLAY_NAME = 0x0070, 0x3001


TASK = made(message_class="IPM.Task", mapi_class="IPM.Task", subject="Write the report",
            props=[(PR_CONVERSATION_TOPIC, "Write the report")])
CONTACT = made(message_class="IPM.Contact", mapi_class="IPM.Contact",
               props=[(PR_DISPLAY_NAME, "Ann Example")])
UNKNOWN = made(message_class="IPM.Post", mapi_class="IPM.Post.Custom",
               attachments=[("a.txt", b"a\n")])
OLE = made(message_class="IPM.Microsoft Mail.Note", attachments=[Ole("Picture")])
FAILING_YTNEF = "#!/bin/sh\necho broken >&2\nexit 1\n"


def parts(message):
    """The leaf parts of MESSAGE below it, message/rfc822 parts not entered."""
    return [leaf for part in message.iter_parts()
            for leaf in (parts(part) if part.get_content_maintype() == "multipart" else [part])]


class CalendarTest(EndToEndCase):
    def convert(self, tnef, ytnef="real", args=()):
        """The "Converted" and "Kept" lines of converting TNEF in a message, and the message as
        converted."""
        self.runs = getattr(self, "runs", 0) + 1
        program = self.new_program(f"prog{self.runs}", ytnef=ytnef)
        mailbox = os.path.join(self.base, f"Mailbox{self.runs}")
        os.makedirs(mailbox)
        with open(os.path.join(mailbox, "1"), "wb") as f:
            f.write(render(shaped("mixed", tnef)))
        run = driver.run(program, ["-p", mailbox, *args], cwd=self.base)
        self.assertEqual(run.status, 0, run.lines)
        with open(os.path.join(mailbox, "1"), "rb") as f:
            converted = email.message_from_binary_file(f, policy=email.policy.default)
        lines = [line for line in run.lines if line.startswith(("* Converted", "* Kept"))]
        return lines, converted

    def calendar(self, part):
        """The iCalendar in PART, parsed, after checking that its METHOD is the part's."""
        text = part.get_payload(decode=True)
        self.assertTrue(all(len(line) <= 75 for line in text.split(b"\r\n")))
        calendar = icalendar.Calendar.from_ical(text.decode("utf-8"))
        self.assertEqual(part.get_param("method"), calendar.get("method"))
        self.assertEqual(part.get_param("charset"), "utf-8")
        return calendar

    def test_what_converts_and_what_stays(self):
        kept, attached = "* Kept winmail.dat: ", "* Converted an attached message"
        # Levels of notes with a body and a file: level 1 is the winmail.dat itself, the fifth
        # is too deep to convert.
        stream = {}
        for n in range(5, 0, -1):
            stream = dict(message_class="IPM.Microsoft Mail.Note", subject=f"Level {n}",
                          sender=("Dave", f"dave{n}@example.net"), date=(2024, 3, 1, 10, 0, 0),
                          body_rtf=b"{\\rtf1 body %d}" % n, attachments=[
                              (f"{n}.txt", b"file %d\n" % n), *[Embedded(**stream)][:n < 5]])
        body, tnef = ("text/html", "saved_body.html"), ("application/ms-tnef", "winmail.dat")
        cases = [  # (winmail.dat, ytnef, arguments, console lines, parts after the text)
            (sample("horde-meeting-request", real=True), "real", (),
             ["* Converted the meeting request into an iCalendar part"],
             [body, ("text/calendar", "MtgReq.ics")]),
            (TASK, "real", (), ["* Converted the task into an iCalendar part"],
             [("text/calendar", "Write_the_report.ics")]),
            (CONTACT, "real", (), ["* Converted the contact into a vCard part"],
             [("text/vcard", "Ann_Example.vcf")]),
            (made(**stream), "real", (), [attached] * 3 + [
                kept + "in an attached message, its attached messages are nested too deep"],
             [("text/plain", "1.txt"), ("message/rfc822", "Level 2.eml"), body, tnef]),
            (sample("mimekit-christmas", real=True), "real", (), [
                attached, kept + "in an attached message, ytnef wrote nothing usable for the task",
                attached, kept + "in an attached message, ytnef's file for the appointment is "
                "not usable: its event has no start"],
             [("image/jpeg", "kitten-playing-with-a-christmas-tree.jpg"),
              ("message/rfc822", "Build a train table.eml"),
              ("message/rfc822", "Christmas Celebration!.eml"), body, tnef]),
            (UNKNOWN, "real", (), [kept + 'its message class "IPM.Post.Custom" is not converted'],
             [("text/plain", "a.txt"), tnef]),
            (UNKNOWN, "real", ("--always-remove-winmail",), [], [("text/plain", "a.txt")]),
            (OLE, "real", (), [kept + "it holds an OLE object"],
             [("application/octet-stream", "Picture"), tnef]),
            (TASK, None, (), [kept + "ytnef could not be started for the task"], [tnef]),
            (CONTACT, FAILING_YTNEF, (), [kept + "ytnef wrote nothing usable for the contact"],
             [tnef]),
        ]
        converted = []
        for n, (winmail, ytnef, args, want, want_parts) in enumerate(cases):
            with self.subTest(n=n, ytnef=ytnef, args=args, lines=want):
                lines, message = self.convert(winmail, ytnef, args)
                self.assertEqual(lines, want)
                found = [(p.get_content_type(), p.get_filename()) for p in parts(message)]
                self.assertEqual(found, [("text/plain", None)] + want_parts)
                converted.append(parts(message))
        meeting, task, contact, deep, christmas = converted[:5]
        calendar = self.calendar(meeting[2])
        self.assertEqual(calendar.get("method"), "REQUEST")
        [event] = [c for c in calendar.walk() if c.name == "VEVENT"]
        self.assertEqual((event.decoded("dtstart").isoformat(), event.decoded("dtend").isoformat(),
                          str(event.get("organizer")), str(event.get("location")).strip()),
                         ("2013-12-23T17:00:00+00:00", "2013-12-23T17:30:00+00:00",
                          "mailto:" + SENDER, "Office"))
        self.assertTrue(str(event.get("attendee")).lower().startswith("mailto:"))
        [todo] = [c for c in self.calendar(task[1]).walk() if c.name == "VTODO"]
        self.assertEqual((str(todo.get("summary")), str(todo.get("organizer"))),
                         ("Write the report", "mailto:" + SENDER))
        self.assertEqual(contact[1].get_content(), "BEGIN:VCARD\r\nVERSION:2.1\r\n"
                                                   "FN:Ann Example\r\nEND:VCARD\r\n")
        self.check_levels(deep)
        # The attached message shows the picture attached beside it.
        self.assertEqual(parts(christmas[3].get_content())[1].get_payload(decode=True),
                         christmas[1].get_payload(decode=True))

    def check_levels(self, outer):
        """The parts of the message whose winmail.dat holds the levels of attached messages."""
        self.assertEqual(outer[1].get_content(), "file 1\n")
        self.assertIn("body 1", outer[3].get_content())
        wrapper = outer[2]
        for n in (2, 3, 4):
            self.assertEqual((wrapper.get_filename(), wrapper["Content-Transfer-Encoding"]),
                             (f"Level {n}.eml", "7bit"))
            inner = wrapper.get_content()
            self.assertEqual((inner["Subject"], inner["From"], inner["Date"]), (
                f"Level {n}", f"Dave <dave{n}@example.net>", "Fri, 01 Mar 2024 10:00:00 +0000"))
            found = parts(inner)
            self.assertEqual(found[0].get_content_type(), "text/html")
            self.assertIn(f"body {n}", found[0].get_content())
            self.assertEqual((found[1].get_filename(), found[1].get_content()),
                             (f"{n}.txt", f"file {n}\n"))
            wrapper = found[-1]
