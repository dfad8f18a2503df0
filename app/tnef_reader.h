// A small reader of TNEF streams (winmail.dat) for what the filter decides
// with: the message's class, subject, sender and date, and per attachment its
// name, type, content id and kind, with where an attached message's own
// stream lies. It only reads: tnef still extracts the files. Every count,
// length and text is bounded, and a damaged stream ends the reading with
// what came before it.
#ifndef APP_TNEF_READER_H_
#define APP_TNEF_READER_H_

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Limits on what a stream may hold. Reading stops at the attribute, property
// or attachment past them; a longer text is cut at a character.
constexpr std::size_t kTnefMaxAttributes = 10000;
constexpr std::size_t kTnefMaxProperties = 10000;
constexpr std::size_t kTnefMaxAttachments = 1000;
constexpr std::size_t kTnefMaxText = 1024;
// How deep attached messages are followed, the outer stream being level 1.
constexpr int kTnefMaxDepth = 4;

// The attachment methods (PR_ATTACH_METHOD) that are no plain file.
constexpr int kAttachEmbeddedMessage = 5;
constexpr int kAttachOle = 6;

// A calendar time as the stream gives it: UTC when it came from the MAPI
// properties, the sender's clock when only from attDateSent.
struct TnefTime {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};

struct TnefAttachment {
  // All texts are UTF-8. The name: PR_ATTACH_LONG_FILENAME, else
  // PR_ATTACH_FILENAME, else attAttachTitle, else PR_DISPLAY_NAME.
  std::string title;
  std::string mime_tag;    // PR_ATTACH_MIME_TAG
  std::string content_id;  // PR_ATTACH_CONTENT_ID
  int method = 0;          // PR_ATTACH_METHOD, 0 when not given
  // An attached message's TNEF stream (its data object after IID_IMessage):
  // where it lies in the stream that was read; size 0 when there is none.
  std::size_t embedded_offset = 0;
  std::size_t embedded_size = 0;
};

struct TnefMessage {
  int code_page = 0;               // attOemCodepage, 0 when not given
  std::string tnef_message_class;  // attMessageClass as written
  // PR_MESSAGE_CLASS when present, else attMessageClass with the old
  // Microsoft Mail names ("IPM.Microsoft Schedule.MtgReq") made current
  // ("IPM.Schedule.Meeting.Request").
  std::string message_class;
  std::string subject;                // PR_SUBJECT, else attSubject
  std::string sender_name;            // PR_SENT_REPRESENTING_NAME, PR_SENDER_NAME, attFrom
  std::string sender_address;         // the first SMTP address among the same; else empty
  std::optional<TnefTime> date_sent;  // PR_CLIENT_SUBMIT_TIME, else attDateSent
  std::string message_id;             // PR_INTERNET_MESSAGE_ID
  std::vector<TnefAttachment> attachments;
  // False when reading stopped early, at damage or at a limit.
  bool complete = true;
};

// Reads the attributes of a TNEF stream. Nothing when it does not begin with
// the TNEF signature; otherwise what could be read, complete or not.
std::optional<TnefMessage> ReadTnef(std::string_view stream);

// What a file that tnef wrote for an attachment without a file holds, by its
// first bytes: an attached message (IID_IMessage, then a TNEF stream, which
// begins at kIidSize), an OLE object (IID_IStorage), or neither.
enum class AttachedObject { kNone, kMessage, kStorage };
constexpr std::size_t kIidSize = 16;
AttachedObject KindOfAttachedObject(std::string_view head);

#endif  // APP_TNEF_READER_H_
