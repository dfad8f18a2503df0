// Fuzzes the TNEF reader on whole streams, following attached messages as
// deep as the reader allows. Properties: nothing is read outside the input
// (the sanitizers watch the reads; the input is exactly its own size), an
// attached message's stream lies inside its parent after IID_IMessage, every
// text is valid UTF-8 within the limit, counts keep their limits, and the
// recursion ends by kTnefMaxDepth. Each attachment's name also goes through
// the name parameters: their lines keep to 78 characters, and the RFC 2231
// form decodes back to the name. Each stream's attributes also make the
// header block of an attached message: printable ASCII lines of at most 998
// bytes, and a name ending in ".eml".
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "app/attached_message.h"
#include "app/mime_words.h"
#include "app/tnef_reader.h"
#include "fuzz/fuzz_support.h"
#include "orv/utf8.h"

namespace {

FUZZ_UNTRACED void CheckText(const std::string& text) {
  FUZZ_CHECK(text.size() <= kTnefMaxText);
  FUZZ_CHECK(orv::IsUtf8(text));
}

FUZZ_UNTRACED void CheckLines(const std::string& parameter) {
  const std::string lines = "   " + parameter;
  std::size_t start = 0;
  for (;;) {
    std::size_t end = lines.find('\n', start);
    FUZZ_CHECK((end == std::string::npos ? lines.size() : end) - start <= 78);
    if (end == std::string::npos) return;
    start = end + 1;
  }
}

FUZZ_UNTRACED int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The value of filename*= or of its sections filename*N*=, percent-decoded.
FUZZ_UNTRACED std::string DecodedFilename(const std::string& parameter) {
  std::string encoded;
  std::size_t pos = 0;
  while (pos < parameter.size()) {
    std::size_t equals = parameter.find('=', pos);
    FUZZ_CHECK(equals != std::string::npos);
    std::size_t end = parameter.find(";\n   ", equals);
    if (end == std::string::npos) end = parameter.size();
    encoded += parameter.substr(equals + 1, end - equals - 1);
    pos = end == parameter.size() ? end : end + 5;
  }
  FUZZ_CHECK(encoded.compare(0, 7, "UTF-8''") == 0);
  std::string name;
  for (std::size_t i = 7; i < encoded.size(); ++i) {
    if (encoded[i] != '%') {
      name += encoded[i];
      continue;
    }
    FUZZ_CHECK(i + 2 < encoded.size());
    int high = HexValue(encoded[i + 1]), low = HexValue(encoded[i + 2]);
    FUZZ_CHECK(high >= 0 && low >= 0);
    name += static_cast<char>(high * 16 + low);
    i += 2;
  }
  return name;
}

FUZZ_UNTRACED void CheckName(const std::string& name) {
  if (IsPlainName(name)) return;
  const std::string parameter = FilenameParameter(name);
  CheckLines(NameParameter(name));
  CheckLines(parameter);
  FUZZ_CHECK(DecodedFilename(parameter) == name);
}

FUZZ_UNTRACED void CheckHeaderBlock(const TnefMessage& message) {
  const std::string fields = AttachedMessageFields(message);
  FUZZ_CHECK(!fields.empty() && fields.back() == '\n');
  std::size_t start = 0;
  while (start < fields.size()) {
    const std::size_t end = fields.find('\n', start);
    const std::string_view line(fields.data() + start, end - start);
    FUZZ_CHECK(line.size() <= 998);
    for (char c : line) FUZZ_CHECK(c >= 0x20 && c < 0x7F);
    start = end + 1;
  }
  const std::string name = AttachedMessageName(message);
  FUZZ_CHECK(name.size() > 4 && name.compare(name.size() - 4, 4, ".eml") == 0);
}

const unsigned char kIidMessage[kIidSize] = {0x07, 0x03, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00,
                                             0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};

void Read(std::string_view stream, int depth) {
  FUZZ_CHECK(depth <= kTnefMaxDepth);
  std::optional<TnefMessage> message = ReadTnef(stream);
  if (!message) return;
  for (const std::string* text :
       {&message->tnef_message_class, &message->message_class, &message->subject,
        &message->sender_name, &message->sender_address, &message->message_id})
    CheckText(*text);
  FUZZ_CHECK(message->attachments.size() <= kTnefMaxAttachments);
  CheckHeaderBlock(*message);
  for (const TnefAttachment& attachment : message->attachments) {
    for (const std::string* text :
         {&attachment.title, &attachment.mime_tag, &attachment.content_id})
      CheckText(*text);
    CheckName(attachment.title);
    if (attachment.embedded_size == 0) continue;
    FUZZ_CHECK(attachment.embedded_offset >= kIidSize);
    FUZZ_CHECK(attachment.embedded_offset <= stream.size());
    FUZZ_CHECK(attachment.embedded_size <= stream.size() - attachment.embedded_offset);
    FUZZ_CHECK(stream.substr(attachment.embedded_offset - kIidSize, kIidSize) ==
               std::string_view(reinterpret_cast<const char*>(kIidMessage), kIidSize));
    std::string_view embedded = stream.substr(attachment.embedded_offset, attachment.embedded_size);
    // Each level is strictly smaller than the one holding it.
    FUZZ_CHECK(embedded.size() < stream.size());
    if (depth < kTnefMaxDepth) Read(embedded, depth + 1);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Read(std::string_view(reinterpret_cast<const char*>(data), size), 1);
  return 0;
}
