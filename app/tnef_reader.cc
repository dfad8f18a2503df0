#include "app/tnef_reader.h"

#include <cstdint>
#include <initializer_list>

#include "orv/utf8.h"

namespace {

constexpr std::uint32_t kSignature = 0x223E9F78;
constexpr int kLevelMessage = 1;
constexpr int kLevelAttachment = 2;

// Attributes: the type in the high 16 bits, the id in the low ones.
constexpr std::uint32_t kAttFrom = 0x00008000;
constexpr std::uint32_t kAttSubject = 0x00018004;
constexpr std::uint32_t kAttDateSent = 0x00038005;
constexpr std::uint32_t kAttMessageClass = 0x00078008;
constexpr std::uint32_t kAttAttachTitle = 0x00018010;
constexpr std::uint32_t kAttMsgProps = 0x00069003;
constexpr std::uint32_t kAttAttachRendData = 0x00069002;
constexpr std::uint32_t kAttAttachment = 0x00069005;
constexpr std::uint32_t kAttOemCodepage = 0x00069007;

// MAPI property types and the ids read here.
constexpr std::uint16_t kPtMultiple = 0x1000;
constexpr std::uint16_t kPtObject = 0x000D;
constexpr std::uint16_t kPtString8 = 0x001E;
constexpr std::uint16_t kPtUnicode = 0x001F;
constexpr std::uint16_t kPtSystime = 0x0040;
constexpr std::uint16_t kPtBinary = 0x0102;
constexpr std::uint16_t kPtLong = 0x0003;

enum PropertyId : std::uint16_t {
  kPrMessageClass = 0x001A,
  kPrSubject = 0x0037,
  kPrClientSubmitTime = 0x0039,
  kPrSentRepresentingName = 0x0042,
  kPrSentRepresentingAddrType = 0x0064,
  kPrSentRepresentingEmailAddress = 0x0065,
  kPrSenderName = 0x0C1A,
  kPrSenderAddrType = 0x0C1E,
  kPrSenderEmailAddress = 0x0C1F,
  kPrInternetMessageId = 0x1035,
  kPrDisplayName = 0x3001,
  kPrAttachDataObj = 0x3701,
  kPrAttachFilename = 0x3704,
  kPrAttachMethod = 0x3705,
  kPrAttachLongFilename = 0x3707,
  kPrAttachMimeTag = 0x370E,
  kPrAttachContentId = 0x3712,
  kPrSenderSmtpAddress = 0x5D01,
  kPrSentRepresentingSmtpAddress = 0x5D02,
};

constexpr unsigned char kIidMessage[kIidSize] = {0x07, 0x03, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00,
                                                 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};
constexpr unsigned char kIidStorage[kIidSize] = {0x0B, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
                                                 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};

bool StartsWith(std::string_view bytes, const unsigned char (&prefix)[kIidSize]) {
  return bytes.size() >= kIidSize &&
         bytes.substr(0, kIidSize) ==
             std::string_view(reinterpret_cast<const char*>(prefix), kIidSize);
}

// Little-endian reads from a piece of the stream. A read past the end fails,
// and so does every read after it.
class Cursor {
 public:
  explicit Cursor(std::string_view bytes, std::size_t base = 0) : bytes_(bytes), base_(base) {}

  bool ok() const { return ok_; }
  bool at_end() const { return pos_ == bytes_.size(); }
  std::size_t left() const { return bytes_.size() - pos_; }
  // Where the next byte lies in the whole stream.
  std::size_t offset() const { return base_ + pos_; }

  std::uint32_t Number(int size) {
    std::string_view b = Bytes(static_cast<std::size_t>(size));
    std::uint32_t value = 0;
    for (std::size_t i = b.size(); i-- > 0;) value = value << 8 | static_cast<unsigned char>(b[i]);
    return value;
  }
  std::string_view Bytes(std::size_t n) {
    if (!ok_ || n > left()) {
      ok_ = false;
      return {};
    }
    std::string_view b = bytes_.substr(pos_, n);
    pos_ += n;
    return b;
  }
  // Skips the padding that ends a value at a multiple of 4 bytes.
  void Align(std::size_t size) { Bytes((4 - size % 4) % 4); }

 private:
  std::string_view bytes_;
  std::size_t base_;
  std::size_t pos_ = 0;
  bool ok_ = true;
};

// A text as the stream holds it, decoded once the code page is known.
struct RawText {
  std::string_view bytes;
  bool utf16 = false;
  bool present = false;
};

// Where one property value lies, with its type.
struct Value {
  std::uint16_t type = 0;
  std::string_view bytes;
  std::size_t offset = 0;
};

struct RawAttachment {
  RawText long_filename, filename, title, display_name, mime_tag, content_id;
  int method = 0;
  std::size_t embedded_offset = 0, embedded_size = 0;
};

struct RawMessage {
  int code_page = 0;
  RawText tnef_class, mapi_class, att_subject, mapi_subject, message_id;
  RawText from_name, sender_name, representing_name;
  // Candidates for the address, best first.
  RawText addresses[5];
  RawText sender_type, representing_type;
  std::optional<TnefTime> att_date, mapi_date;
  std::vector<RawAttachment> attachments;
  bool complete = true;
};

enum AddressRank { kRepresentingSmtp, kRepresenting, kSenderSmtp, kSender, kFrom };

RawText TextOf(const Value& value) {
  std::string_view bytes = value.bytes;
  if (value.type == kPtUnicode) {
    // Up to the first NUL character, at an even offset.
    std::size_t units = 0;
    while (units * 2 + 1 < bytes.size() && (bytes[units * 2] || bytes[units * 2 + 1])) ++units;
    return {bytes.substr(0, units * 2), true, true};
  }
  return {bytes.substr(0, bytes.find('\0')), false, true};
}

bool IsText(const Value& value) {
  return value.type == kPtString8 || value.type == kPtUnicode;
}

// The size of a fixed-size value in the stream; 0 for the types whose values
// carry their own length, -1 for an unknown type.
int FixedSize(std::uint16_t type) {
  switch (type) {
    case 0x0002:  // PT_SHORT, padded
    case kPtLong:
    case 0x0004:  // PT_FLOAT
    case 0x000A:  // PT_ERROR
    case 0x000B:  // PT_BOOLEAN
      return 4;
    case 0x0005:  // PT_DOUBLE
    case 0x0006:  // PT_CURRENCY
    case 0x0007:  // PT_APPTIME
    case 0x0014:  // PT_I8
    case kPtSystime:
      return 8;
    case 0x0048:  // PT_CLSID
      return 16;
    case kPtObject:
    case kPtString8:
    case kPtUnicode:
    case kPtBinary:
      return 0;
    default:
      return -1;
  }
}

// FILETIME (100 ns since 1601, UTC) as a calendar time.
std::optional<TnefTime> TimeOfFiletime(std::string_view bytes) {
  std::uint64_t ticks = 0;
  for (std::size_t i = 8; i-- > 0;) ticks = ticks << 8 | static_cast<unsigned char>(bytes[i]);
  std::int64_t seconds = static_cast<std::int64_t>(ticks / 10000000) - 11644473600;
  std::int64_t days = seconds / 86400, rest = seconds % 86400;
  if (rest < 0) {
    rest += 86400;
    --days;
  }
  // Days since 1970 to a civil date (the proleptic Gregorian calendar).
  days += 719468;
  std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  std::int64_t doe = days - era * 146097;
  std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  std::int64_t mp = (5 * doy + 2) / 153;
  TnefTime time;
  time.day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  time.month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  time.year = static_cast<int>(yoe + era * 400 + (time.month <= 2));
  time.hour = static_cast<int>(rest / 3600);
  time.minute = static_cast<int>(rest / 60 % 60);
  time.second = static_cast<int>(rest % 60);
  return time;
}

// attDateSent: year, month, day, hour, minute, second, day of the week;
// nothing when a field is out of its range.
std::optional<TnefTime> TimeOfDtr(std::string_view bytes) {
  Cursor in(bytes);
  TnefTime time;
  for (int* field : {&time.year, &time.month, &time.day, &time.hour, &time.minute, &time.second})
    *field = static_cast<int>(in.Number(2));
  if (!in.ok() || time.month < 1 || time.month > 12 || time.day < 1 || time.day > 31 ||
      time.hour > 23 || time.minute > 59 || time.second > 60)
    return std::nullopt;
  return time;
}

// attFrom: a one-off recipient, its display name and "TYPE:address".
void ReadFrom(std::string_view bytes, RawMessage* message) {
  Cursor in(bytes);
  in.Number(4);  // the id and the structure's length
  std::size_t name_size = in.Number(2), address_size = in.Number(2);
  std::string_view name = in.Bytes(name_size), address = in.Bytes(address_size);
  if (!in.ok()) return;
  message->from_name = {name.substr(0, name.find('\0')), false, true};
  address = address.substr(0, address.find('\0'));
  if (address.size() > 5 && address.substr(0, 5) == "SMTP:")
    message->addresses[kFrom] = {address.substr(5), false, true};
}

void TakeMessageProperty(std::uint16_t id, const Value& value, RawMessage* message) {
  if (value.type == kPtSystime && id == kPrClientSubmitTime) {
    message->mapi_date = TimeOfFiletime(value.bytes);
    return;
  }
  if (!IsText(value)) return;
  RawText text = TextOf(value);
  switch (id) {
    case kPrMessageClass:
      message->mapi_class = text;
      break;
    case kPrSubject:
      message->mapi_subject = text;
      break;
    case kPrInternetMessageId:
      message->message_id = text;
      break;
    case kPrSentRepresentingName:
      message->representing_name = text;
      break;
    case kPrSenderName:
      message->sender_name = text;
      break;
    case kPrSentRepresentingSmtpAddress:
      message->addresses[kRepresentingSmtp] = text;
      break;
    case kPrSentRepresentingEmailAddress:
      message->addresses[kRepresenting] = text;
      break;
    case kPrSenderSmtpAddress:
      message->addresses[kSenderSmtp] = text;
      break;
    case kPrSenderEmailAddress:
      message->addresses[kSender] = text;
      break;
    case kPrSentRepresentingAddrType:
      message->representing_type = text;
      break;
    case kPrSenderAddrType:
      message->sender_type = text;
      break;
    default:
      break;
  }
}

void TakeAttachmentProperty(std::uint16_t id, const Value& value, RawAttachment* attachment) {
  if (id == kPrAttachMethod && value.type == kPtLong) {
    attachment->method = static_cast<int>(Cursor(value.bytes).Number(4));
    return;
  }
  if (id == kPrAttachDataObj && value.type == kPtObject && StartsWith(value.bytes, kIidMessage)) {
    attachment->embedded_offset = value.offset + kIidSize;
    attachment->embedded_size = value.bytes.size() - kIidSize;
    return;
  }
  if (!IsText(value)) return;
  RawText text = TextOf(value);
  switch (id) {
    case kPrAttachLongFilename:
      attachment->long_filename = text;
      break;
    case kPrAttachFilename:
      attachment->filename = text;
      break;
    case kPrDisplayName:
      attachment->display_name = text;
      break;
    case kPrAttachMimeTag:
      attachment->mime_tag = text;
      break;
    case kPrAttachContentId:
      attachment->content_id = text;
      break;
    default:
      break;
  }
}

// Reads a MAPI property list, handing every single value on to take(id,
// value). False when the list is damaged or too long.
template <typename Take>
bool ReadProperties(Cursor in, Take take) {
  std::uint32_t count = in.Number(4);
  if (!in.ok() || count > kTnefMaxProperties) return false;
  for (std::uint32_t i = 0; i < count; ++i) {
    std::uint16_t type = static_cast<std::uint16_t>(in.Number(2));
    std::uint16_t id = static_cast<std::uint16_t>(in.Number(2));
    if (id >= 0x8000) {  // a named property: its set's GUID and an id or a name
      in.Bytes(16);
      std::uint32_t kind = in.Number(4);
      if (kind == 0) {
        in.Number(4);
      } else if (kind == 1) {
        std::size_t size = in.Number(4);
        in.Bytes(size);
        in.Align(size);
      } else {
        return false;
      }
    }
    bool multiple = type & kPtMultiple;
    std::uint16_t base = type & ~kPtMultiple;
    int fixed = FixedSize(base);
    if (fixed < 0) return false;
    std::uint32_t values = 1;
    if (multiple || fixed == 0) values = in.Number(4);
    // Every value takes at least 4 bytes, which bounds the count.
    if (!in.ok() || values > in.left() / 4) return false;
    for (std::uint32_t v = 0; v < values; ++v) {
      std::size_t size = fixed ? static_cast<std::size_t>(fixed) : in.Number(4);
      Value value{base, {}, in.offset()};
      value.bytes = in.Bytes(size);
      in.Align(size);
      if (!in.ok()) return false;
      // A multi-valued property names nothing read here.
      if (!multiple) take(id, value);
    }
  }
  return in.ok();
}

// Cuts text to at most kTnefMaxText bytes, at a character.
std::string Bounded(std::string text) {
  if (text.size() <= kTnefMaxText) return text;
  std::size_t end = 0;
  for (std::size_t pos = 0; pos < kTnefMaxText;) {
    std::size_t length = orv::Utf8SequenceLength(text, pos);
    if (length == 0 || pos + length > kTnefMaxText) break;
    pos += length;
    end = pos;
  }
  text.resize(end);
  return text;
}

// The text as UTF-8 within kTnefMaxText, as NameToUtf8 makes names. Every
// byte, and every UTF-16 unit, gives at least one byte of UTF-8, so only the
// start of a long text is decoded.
std::string Decoded(const RawText& text, int code_page) {
  if (text.utf16) return Bounded(orv::Utf16LeToUtf8(text.bytes.substr(0, 2 * kTnefMaxText)));
  if (orv::IsUtf8(text.bytes)) return Bounded(std::string(text.bytes.substr(0, kTnefMaxText + 3)));
  return Bounded(orv::CodePageToUtf8(text.bytes.substr(0, kTnefMaxText), code_page));
}

// The first of the texts that is present.
const RawText& FirstOf(std::initializer_list<const RawText*> texts) {
  for (const RawText* text : texts) {
    if (text->present) return *text;
  }
  return **texts.begin();
}

bool IsSmtp(const RawText& type) {
  return !type.present || type.bytes == "SMTP" || type.bytes == std::string_view("S\0M\0T\0P\0", 8);
}

// An address of the form local@domain without white space, quotes or
// brackets, which rules out Exchange's X.500 names.
bool LooksLikeAddress(std::string_view address) {
  std::size_t at = address.find('@');
  if (at == 0 || at == std::string_view::npos || at + 1 == address.size() ||
      address.find('@', at + 1) != std::string_view::npos)
    return false;
  for (char c : address) {
    if (c <= ' ' || c >= 0x7F ||
        std::string_view("\"<>()[],;:\\/").find(c) != std::string_view::npos)
      return false;
  }
  return true;
}

std::string CurrentClassName(const std::string& tnef_class) {
  static const struct {
    std::string_view old_name, current;
  } kNames[] = {
      {"IPM.Microsoft Mail.Note", "IPM.Note"},
      {"IPM.Microsoft Mail.Read Receipt", "Report.IPM.Note.IPNRN"},
      {"IPM.Microsoft Mail.Non-Delivery", "Report.IPM.Note.NDR"},
      {"IPM.Microsoft Schedule.MtgReq", "IPM.Schedule.Meeting.Request"},
      {"IPM.Microsoft Schedule.MtgRespP", "IPM.Schedule.Meeting.Resp.Pos"},
      {"IPM.Microsoft Schedule.MtgRespN", "IPM.Schedule.Meeting.Resp.Neg"},
      {"IPM.Microsoft Schedule.MtgRespA", "IPM.Schedule.Meeting.Resp.Tent"},
      {"IPM.Microsoft Schedule.MtgCncl", "IPM.Schedule.Meeting.Canceled"},
  };
  for (const auto& name : kNames) {
    if (tnef_class == name.old_name) return std::string(name.current);
  }
  return tnef_class;
}

TnefMessage Finish(const RawMessage& raw) {
  const int cp = raw.code_page;
  TnefMessage message;
  message.code_page = raw.code_page;
  message.complete = raw.complete;
  message.tnef_message_class = Decoded(raw.tnef_class, cp);
  message.message_class = raw.mapi_class.present ? Decoded(raw.mapi_class, cp)
                                                 : CurrentClassName(message.tnef_message_class);
  message.subject = Decoded(FirstOf({&raw.mapi_subject, &raw.att_subject}), cp);
  message.sender_name =
      Decoded(FirstOf({&raw.representing_name, &raw.sender_name, &raw.from_name}), cp);
  for (int rank = kRepresentingSmtp; rank <= kFrom; ++rank) {
    if ((rank == kRepresenting && !IsSmtp(raw.representing_type)) ||
        (rank == kSender && !IsSmtp(raw.sender_type)))
      continue;
    std::string address = Decoded(raw.addresses[rank], cp);
    if (LooksLikeAddress(address)) {
      message.sender_address = address;
      break;
    }
  }
  message.date_sent = raw.mapi_date ? raw.mapi_date : raw.att_date;
  message.message_id = Decoded(raw.message_id, cp);
  for (const RawAttachment& a : raw.attachments) {
    TnefAttachment attachment;
    attachment.title =
        Decoded(FirstOf({&a.long_filename, &a.filename, &a.title, &a.display_name}), cp);
    attachment.mime_tag = Decoded(a.mime_tag, cp);
    attachment.content_id = Decoded(a.content_id, cp);
    attachment.method = a.method;
    attachment.embedded_offset = a.embedded_offset;
    attachment.embedded_size = a.embedded_size;
    message.attachments.push_back(std::move(attachment));
  }
  return message;
}

// Takes one message-level attribute, whose data began at offset of the
// stream. Returns false when its properties are damaged.
bool TakeMessageAttribute(std::uint32_t attribute, std::string_view data, std::size_t offset,
                          RawMessage* message) {
  switch (attribute) {
    case kAttOemCodepage:
      message->code_page = static_cast<int>(Cursor(data).Number(4));
      break;
    case kAttMessageClass:
      message->tnef_class = {data.substr(0, data.find('\0')), false, true};
      break;
    case kAttSubject:
      message->att_subject = {data.substr(0, data.find('\0')), false, true};
      break;
    case kAttDateSent:
      message->att_date = TimeOfDtr(data);
      break;
    case kAttFrom:
      ReadFrom(data, message);
      break;
    case kAttMsgProps:
      return ReadProperties(Cursor(data, offset), [&](std::uint16_t id, const Value& value) {
        TakeMessageProperty(id, value, message);
      });
    default:
      break;
  }
  return true;
}

// Takes one attachment-level attribute; attRendData opens a new attachment.
// Returns false when there are too many or its properties are damaged.
bool TakeAttachmentAttribute(std::uint32_t attribute, std::string_view data, std::size_t offset,
                             RawMessage* message) {
  if (attribute == kAttAttachRendData || message->attachments.empty()) {
    if (message->attachments.size() >= kTnefMaxAttachments) return false;
    message->attachments.emplace_back();
  }
  RawAttachment& attachment = message->attachments.back();
  if (attribute == kAttAttachTitle) {
    attachment.title = {data.substr(0, data.find('\0')), false, true};
  } else if (attribute == kAttAttachment) {
    return ReadProperties(Cursor(data, offset), [&](std::uint16_t id, const Value& value) {
      TakeAttachmentProperty(id, value, &attachment);
    });
  }
  return true;
}

// Reads the attributes one by one; false at damage or at a limit.
bool ReadAttributes(Cursor& in, RawMessage* message) {
  for (std::size_t count = 0; !in.at_end(); ++count) {
    int level = static_cast<int>(in.Number(1));
    std::uint32_t attribute = in.Number(4);
    std::size_t size = in.Number(4);
    std::size_t offset = in.offset();
    std::string_view data = in.Bytes(size);
    in.Number(2);  // the checksum: what is read here is checked by its own structure
    if (!in.ok() || count >= kTnefMaxAttributes) return false;
    if (level == kLevelMessage) {
      if (!TakeMessageAttribute(attribute, data, offset, message)) return false;
    } else if (level != kLevelAttachment ||
               !TakeAttachmentAttribute(attribute, data, offset, message)) {
      return false;
    }
  }
  return true;
}

}  // namespace

std::optional<TnefMessage> ReadTnef(std::string_view stream) {
  Cursor in(stream);
  if (in.Number(4) != kSignature || !in.ok()) return std::nullopt;
  in.Number(2);  // the legacy key
  RawMessage message;
  message.complete = in.ok() && ReadAttributes(in, &message);
  return Finish(message);
}

AttachedObject KindOfAttachedObject(std::string_view head) {
  if (StartsWith(head, kIidMessage) && head.size() >= kIidSize + 4 &&
      Cursor(head.substr(kIidSize)).Number(4) == kSignature)
    return AttachedObject::kMessage;
  if (StartsWith(head, kIidStorage)) return AttachedObject::kStorage;
  return AttachedObject::kNone;
}
