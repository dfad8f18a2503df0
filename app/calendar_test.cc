// Message classes, From: addresses, and ytnef's output made into parts.
#include "app/calendar.h"

#include <gtest/gtest.h>

#include <tuple>

namespace {

TEST(CalendarTest, MessageClasses) {
  const std::tuple<const char*, ItemKind, const char*> cases[] = {
      {"", ItemKind::kNote, "item"},
      {"ipm.note.SMIME", ItemKind::kNote, "item"},
      {"IPM.Microsoft Mail.Note", ItemKind::kNote, "item"},
      {"IPM.Notebook", ItemKind::kOther, "item"},
      {"IPM.Schedule.Meeting.Resp.Pos", ItemKind::kItem, "meeting response"},
      {"IPM.Schedule.Meeting.Notification", ItemKind::kItem, "meeting item"},
      {"IPM.TaskRequest", ItemKind::kItem, "task request"},
      {"Report.IPM.Note.IPNRN", ItemKind::kOther, "item"},
  };
  for (const auto& [message_class, kind, noun] : cases) {
    EXPECT_EQ(KindOfItem(message_class), kind) << message_class;
    EXPECT_EQ(ItemNoun(message_class), noun) << message_class;
  }
}

TEST(CalendarTest, MailAddresses) {
  EXPECT_EQ(MailAddressOf("bob@example.org "), "bob@example.org");
  EXPECT_EQ(MailAddressOf("\"a <b>\" <c@example.net>"), "c@example.net");
  for (const char* from :
       {"Alice Example", "<alice@example.com", "a@b@example.com", "@example.com", "alice@",
        "<al ice@example.com>", "<al\"ice@example.com>", "<caf\xC3\xA9@example.com>"})
    EXPECT_EQ(MailAddressOf(from), "") << from;
}

TEST(CalendarTest, RepairsAndFolds) {
  const std::string ytnef =
      "BEGIN:VCALENDAR\nMETHOD:REQUEST\nBEGIN:VEVENT\nORGANIZER:Alice Example\n"
      "ATTENDEE;CN=\"x:y\":Bob\nATTENDEE;CN=\"Carol\":MAILTO:carol@example.org\n"
      "DTSTART:20240301T100000Z\nSUMMARY:" +
      std::string(70, 'x') + "\xC3\xA9\n continued\nEND:VEVENT\nEND:VCALENDAR\n";
  const CalendarPart part = MakeCalendarPart(ytnef, "alice@example.com");
  EXPECT_EQ(part.content_type, "text/calendar; charset=utf-8; method=REQUEST");
  EXPECT_EQ(part.extension, ".ics");
  EXPECT_EQ(part.text,
            "BEGIN:VCALENDAR\r\nMETHOD:REQUEST\r\nBEGIN:VEVENT\r\n"
            "ORGANIZER:mailto:alice@example.com\r\n"
            "ATTENDEE;CN=\"Carol\":MAILTO:carol@example.org\r\nDTSTART:20240301T100000Z\r\n"
            "SUMMARY:" +
                std::string(67, 'x') + "\r\n " + std::string(3, 'x') +
                "\xC3\xA9"
                "continued\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n");

  // A missing ORGANIZER is added, or left out without an address.
  const std::string task = "BEGIN:VCALENDAR\r\nBEGIN:VTODO\r\nEND:VTODO\r\nEND:VCALENDAR";
  EXPECT_EQ(MakeCalendarPart(task, "a@example.com").text,
            "BEGIN:VCALENDAR\r\nBEGIN:VTODO\r\nORGANIZER:mailto:a@example.com\r\nEND:VTODO\r\n"
            "END:VCALENDAR\r\n");
  EXPECT_EQ(MakeCalendarPart(task, "").text, task + "\r\n");
  EXPECT_EQ(MakeCalendarPart(task, "").content_type, "text/calendar; charset=utf-8");
  EXPECT_EQ(MakeCalendarPart("BEGIN:VCARD\nEND:VCARD", "").content_type,
            "text/vcard; charset=utf-8");
}

TEST(CalendarTest, UnusableOutput) {
  const std::pair<std::string, const char*> cases[] = {
      {"", "it is neither iCalendar nor vCard"},
      {"BEGIN:VTODO\nEND:VTODO\n", "it is neither iCalendar nor vCard"},
      {"BEGIN:VCALENDAR\nBEGIN:VEVENT\nEND:VEVENT\n", "it ends early"},
      {"BEGIN:VCARD\nFN:a\xFF\nEND:VCARD\n", "it is not UTF-8"},
      {"BEGIN:VCARD\nFN:a\x01\nEND:VCARD\n", "it holds a line that is no property"},
      {"BEGIN:VCARD\nno colon\nEND:VCARD\n", "it holds a line that is no property"},
      {"BEGIN:VCALENDAR\nBEGIN:VEVENT\nUID:1\nEND:VEVENT\nEND:VCALENDAR\n",
       "its event has no start"},
      {"BEGIN:VCARD\nNOTE:" + std::string(kMaxCalendarSize, 'x') + "\nEND:VCARD\n",
       "it is larger than 1 MiB"},
  };
  for (const auto& [text, error] : cases) {
    const CalendarPart part = MakeCalendarPart(text, "a@example.com");
    EXPECT_EQ(part.error, error) << text.substr(0, 60);
    EXPECT_EQ(part.text, "");
  }
}

}  // namespace
