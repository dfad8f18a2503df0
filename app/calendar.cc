#include "app/calendar.h"

#include <cstring>
#include <vector>

#include "orv/string.h"
#include "orv/utf8.h"

namespace {

orv::istring_view Folded(std::string_view text) {
  return orv::istring_view(text.data(), text.size());
}

bool IEquals(std::string_view text, std::string_view expected) {
  return Folded(text) == Folded(expected);
}

// Whether message_class is name or one of its forms "name.*".
bool IsClass(std::string_view message_class, std::string_view name) {
  if (message_class.size() < name.size() || !IEquals(message_class.substr(0, name.size()), name))
    return false;
  return message_class.size() == name.size() || message_class[name.size()] == '.';
}

constexpr std::string_view kMeeting = "IPM.Schedule.Meeting";

// A content line as name, parameters and value: the value follows the first
// ":" outside a quoted parameter.
struct ContentLine {
  std::string_view name;
  std::string_view value;
};

bool ParseContentLine(std::string_view line, ContentLine& parsed) {
  parsed.name = line.substr(0, line.find_first_of(";:"));
  bool quoted = false;
  for (std::size_t i = 0; i < line.size(); ++i) {
    if (line[i] == '"') quoted = !quoted;
    if (line[i] == ':' && !quoted) {
      parsed.value = line.substr(i + 1);
      return !parsed.name.empty();
    }
  }
  return false;
}

bool IsMailto(std::string_view value) {
  return value.size() > 7 && IEquals(value.substr(0, 7), "mailto:") &&
         !MailAddressOf(value.substr(7)).empty();
}

// The text's lines with folded lines joined; empty lines are dropped.
std::vector<std::string> UnfoldedLines(std::string_view text) {
  std::vector<std::string> lines;
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(pos, end - pos);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (!line.empty() && (line[0] == ' ' || line[0] == '\t') && !lines.empty()) {
      lines.back().append(line.substr(1));
    } else if (!line.empty()) {
      lines.emplace_back(line);
    }
    pos = end + 1;
  }
  return lines;
}

// Appends line ended by CR LF, folded so that no line passes 75 octets and no
// UTF-8 sequence is split.
void AppendFolded(std::string_view line, std::string& out) {
  std::size_t room = 75;
  while (line.size() > room) {
    std::size_t cut = room;
    while (cut > 1 && (static_cast<unsigned char>(line[cut]) & 0xC0) == 0x80) --cut;
    out.append(line.substr(0, cut));
    out += "\r\n ";
    line.remove_prefix(cut);
    room = 74;
  }
  out.append(line);
  out += "\r\n";
}

bool HasControlCharacter(std::string_view line) {
  for (char c : line) {
    if ((static_cast<unsigned char>(c) < 0x20 && c != '\t') || c == 0x7F) return true;
  }
  return false;
}

// The components in which ORGANIZER names who sends the item.
bool TakesOrganizer(std::string_view component) {
  return IEquals(component, "VEVENT") || IEquals(component, "VTODO") ||
         IEquals(component, "VJOURNAL");
}

// An iCalendar's lines with ORGANIZER and ATTENDEE repaired; sets method, and
// error for an event without a start, which no client can show.
std::vector<std::string> RepairCalendar(const std::vector<std::string>& lines,
                                        const std::string& organizer, std::string& method,
                                        std::string& error) {
  std::vector<std::string> out;
  std::string component;  // the component that takes ORGANIZER, while inside it
  std::size_t component_start = 0;
  bool has_organizer = false;
  bool has_start = false;
  for (const std::string& line : lines) {
    ContentLine parsed;
    ParseContentLine(line, parsed);
    if (component.empty() && IEquals(parsed.name, "BEGIN") && TakesOrganizer(parsed.value)) {
      component = parsed.value;
      component_start = out.size() + 1;
      has_organizer = has_start = false;
    } else if (!component.empty() && IEquals(parsed.name, "END") &&
               IEquals(parsed.value, component)) {
      if (!has_start && IEquals(component, "VEVENT")) error = "its event has no start";
      if (!has_organizer && !organizer.empty()) {
        out.insert(out.begin() + static_cast<std::ptrdiff_t>(component_start),
                   "ORGANIZER:mailto:" + organizer);
      }
      component.clear();
    } else if (IEquals(parsed.name, "ORGANIZER")) {
      if (IsMailto(parsed.value)) {
        has_organizer = true;
      } else {
        if (!organizer.empty() && !component.empty()) {
          out.push_back("ORGANIZER:mailto:" + organizer);
          has_organizer = true;
        }
        continue;
      }
    } else if (IEquals(parsed.name, "DTSTART")) {
      has_start = true;
    } else if (IEquals(parsed.name, "ATTENDEE") && !IsMailto(parsed.value)) {
      continue;
    } else if (component.empty() && IEquals(parsed.name, "METHOD") && method.empty() &&
               !parsed.value.empty() &&
               parsed.value.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"
                                              "0123456789-") == std::string_view::npos) {
      method = parsed.value;
    }
    out.push_back(line);
  }
  return out;
}

}  // namespace

ItemKind KindOfItem(std::string_view message_class) {
  if (message_class.empty() || IsClass(message_class, "IPM.Note") ||
      IsClass(message_class, "IPM.Microsoft Mail.Note"))
    return ItemKind::kNote;
  for (std::string_view item :
       {kMeeting, std::string_view("IPM.Appointment"), std::string_view("IPM.Task"),
        std::string_view("IPM.TaskRequest"), std::string_view("IPM.Contact")}) {
    if (IsClass(message_class, item)) return ItemKind::kItem;
  }
  return ItemKind::kOther;
}

std::string ItemNoun(std::string_view message_class) {
  static const struct {
    std::string_view message_class, noun;
  } kNouns[] = {
      {"IPM.Schedule.Meeting.Request", "meeting request"},
      {"IPM.Schedule.Meeting.Resp", "meeting response"},
      {"IPM.Schedule.Meeting.Canceled", "meeting cancellation"},
      {kMeeting, "meeting item"},
      {"IPM.Appointment", "appointment"},
      {"IPM.TaskRequest", "task request"},
      {"IPM.Task", "task"},
      {"IPM.Contact", "contact"},
  };
  for (const auto& entry : kNouns) {
    if (IsClass(message_class, entry.message_class)) return std::string(entry.noun);
  }
  return "item";
}

std::string MailAddressOf(std::string_view from) {
  std::size_t open = from.rfind('<');
  if (open != std::string_view::npos) {
    std::size_t close = from.find('>', open);
    if (close == std::string_view::npos) return std::string();
    from = from.substr(open + 1, close - open - 1);
  }
  std::size_t start = from.find_first_not_of(" \t");
  if (start == std::string_view::npos) return std::string();
  from = from.substr(start, from.find_last_not_of(" \t") - start + 1);
  std::size_t at = from.find('@');
  if (from.size() > 254 || at == 0 || at == std::string_view::npos || at + 1 == from.size() ||
      from.find('@', at + 1) != std::string_view::npos)
    return std::string();
  for (char c : from) {
    if (c <= ' ' || c >= 0x7F || std::strchr("<>()[]\\,;:\"", c)) return std::string();
  }
  return std::string(from);
}

CalendarPart MakeCalendarPart(std::string_view text, const std::string& organizer) {
  CalendarPart part;
  if (text.size() > kMaxCalendarSize) {
    part.error = "it is larger than 1 MiB";
    return part;
  }
  if (!orv::IsUtf8(text)) {
    part.error = "it is not UTF-8";
    return part;
  }
  std::vector<std::string> lines = UnfoldedLines(text);
  const bool calendar = !lines.empty() && IEquals(lines.front(), "BEGIN:VCALENDAR");
  const bool card = !lines.empty() && IEquals(lines.front(), "BEGIN:VCARD");
  if (!calendar && !card) {
    part.error = "it is neither iCalendar nor vCard";
    return part;
  }
  if (!IEquals(lines.back(), calendar ? "END:VCALENDAR" : "END:VCARD")) {
    part.error = "it ends early";
    return part;
  }
  for (const std::string& line : lines) {
    ContentLine parsed;
    if (HasControlCharacter(line) || !ParseContentLine(line, parsed)) {
      part.error = "it holds a line that is no property";
      return part;
    }
  }
  std::string method;
  if (calendar) {
    lines = RepairCalendar(lines, organizer, method, part.error);
    if (!part.error.empty()) return part;
    part.content_type = "text/calendar; charset=utf-8";
    if (!method.empty()) part.content_type += "; method=" + method;
    part.extension = ".ics";
  } else {
    part.content_type = "text/vcard; charset=utf-8";
    part.extension = ".vcf";
  }
  for (const std::string& line : lines) AppendFolded(line, part.text);
  return part;
}
