// Calendar items, tasks and contacts in a winmail.dat: which message classes
// they are, and what ytnef writes for them made into parts a mail client
// accepts. ytnef's output is not always valid: a task comes as a ".vcf" file
// that holds a VCALENDAR, and ORGANIZER and ATTENDEE may hold names rather
// than addresses, so the type is judged by the content and the cheap faults
// are repaired.
#ifndef APP_CALENDAR_H_
#define APP_CALENDAR_H_

#include <cstddef>
#include <string>
#include <string_view>

// What a message class is, for the conversion.
enum class ItemKind {
  kNote,   // IPM.Note, IPM.Note.*, IPM.Microsoft Mail.Note: tnef's files say it all
  kItem,   // a calendar item, task or contact: ytnef converts it
  kOther,  // nothing converts it
};
ItemKind KindOfItem(std::string_view message_class);

// What the console calls an item of message_class ("meeting request", "task").
std::string ItemNoun(std::string_view message_class);

// The address in the value of a From: field ("Name <a@b.example>" or
// "a@b.example"): printable ASCII with one "@" and no blanks or brackets;
// empty when there is none such.
std::string MailAddressOf(std::string_view from);

// More than this from ytnef is not taken.
constexpr std::size_t kMaxCalendarSize = 1024 * 1024;

struct CalendarPart {
  std::string text;          // the repaired lines, each ended by CR LF
  std::string content_type;  // "text/calendar; charset=utf-8; method=REQUEST" or "text/vcard; ..."
  std::string extension;     // ".ics" or ".vcf"
  std::string error;         // why the text is not usable; empty when it is
};

// Makes ytnef's text an iCalendar or vCard part. An iCalendar's ORGANIZER
// that is missing or not a mailto: address becomes "mailto:" + organizer
// (dropped when organizer is empty); ATTENDEE lines that are not mailto:
// addresses are dropped. Lines are folded at 75 octets. Fails, with error set,
// for text beyond kMaxCalendarSize, not UTF-8, with control characters, not
// a whole VCALENDAR or VCARD, or with a VEVENT that has no DTSTART.
CalendarPart MakeCalendarPart(std::string_view text, const std::string& organizer);

#endif  // APP_CALENDAR_H_
