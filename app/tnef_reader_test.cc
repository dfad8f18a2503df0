// The TNEF reader on real winmail.dat files and on streams made here: what it
// returns, and that damage and limits end the reading with what came before;
// the header block and name of a message made from an attached message's stream.
#include "app/tnef_reader.h"

#include <gtest/gtest.h>

#include <cstdint>

#include "app/attached_message.h"
#include "orv/testing.h"

namespace {

std::string Real(const std::string& name) {
  return orv::testing::ReadFile(std::string(TNEF_TESTDATA) + "/tnef-real/" + name);
}

std::vector<std::string> Titles(const TnefMessage& message) {
  std::vector<std::string> titles;
  for (const TnefAttachment& attachment : message.attachments) titles.push_back(attachment.title);
  return titles;
}

TEST(TnefReaderTest, ReadsRealFiles) {
  std::optional<TnefMessage> umlaut = ReadTnef(Real("tnefparse-umlaut.tnef"));
  ASSERT_TRUE(umlaut && umlaut->complete);
  EXPECT_EQ(Titles(*umlaut),
            (std::vector<std::string>{"TBZ PARIV GmbH.jpg", "image003.jpg",
                                      "UmlautAnhang-\xC3\xA4\xC3\xBC\xC3\xB6.txt"}));
  const TnefAttachment& image = umlaut->attachments[1];
  EXPECT_EQ(image.mime_tag, "image/jpeg");
  EXPECT_EQ(image.content_id, "image003.jpg@01D2EE6A.85652C70");

  const std::string stream = Real("mimekit-christmas.tnef");
  std::optional<TnefMessage> message = ReadTnef(stream);
  ASSERT_TRUE(message && message->complete);
  EXPECT_EQ(Titles(*message),
            (std::vector<std::string>{"kitten-playing-with-a-christmas-tree.jpg",
                                      "Untitled Attachment", "Untitled Attachment"}));
  // An attached message: tnef writes the data object, IID_IMessage and the stream.
  const TnefAttachment& attached = message->attachments[2];
  EXPECT_EQ(attached.method, kAttachEmbeddedMessage);
  EXPECT_EQ(KindOfAttachedObject(stream.substr(attached.embedded_offset - kIidSize)),
            AttachedObject::kMessage);
  std::optional<TnefMessage> inner =
      ReadTnef(std::string_view(stream).substr(attached.embedded_offset, attached.embedded_size));
  ASSERT_TRUE(inner && inner->complete);
  EXPECT_EQ(inner->sender_address, "");  // only an Exchange address
  EXPECT_EQ(Titles(*inner), std::vector<std::string>{"kitten-playing-with-a-christmas-tree.jpg"});

  // What else an attached object can begin with.
  const std::string message_iid("\x07\x03\x02\0\0\0\0\0\xC0\0\0\0\0\0\0\x46", 16);
  const std::string storage_iid("\x0B\0\0\0\0\0\0\0\xC0\0\0\0\0\0\0\x46", 16);
  EXPECT_EQ(KindOfAttachedObject(message_iid + "not TNEF"), AttachedObject::kNone);
  EXPECT_EQ(KindOfAttachedObject(message_iid), AttachedObject::kNone);
  EXPECT_EQ(KindOfAttachedObject(storage_iid + "\xD0\xCF\x11\xE0"), AttachedObject::kStorage);
}

// Streams made here, little-endian piece by piece.
std::string Le(std::uint32_t value, int size) {
  std::string bytes;
  for (int i = 0; i < size; ++i) bytes += static_cast<char>(value >> (8 * i) & 0xFF);
  return bytes;
}

std::string Attribute(int level, std::uint32_t id, const std::string& data) {
  std::uint32_t sum = 0;
  for (char c : data) sum += static_cast<unsigned char>(c);
  return Le(level, 1) + Le(id, 4) + Le(static_cast<std::uint32_t>(data.size()), 4) + data +
         Le(sum, 2);
}

std::string Stream(const std::string& attributes) {
  return Le(0x223E9F78, 4) + Le(1, 2) + attributes;
}

// A property with one variable-size value, padded.
std::string Property(std::uint16_t type, std::uint16_t id, const std::string& value) {
  return Le(type, 2) + Le(id, 2) + Le(1, 4) + Le(static_cast<std::uint32_t>(value.size()), 4) +
         value + std::string((4 - value.size() % 4) % 4, '\0');
}

std::string Properties(const std::vector<std::string>& properties) {
  std::string list = Le(static_cast<std::uint32_t>(properties.size()), 4);
  for (const std::string& property : properties) list += property;
  return list;
}

const std::string kCodePage1251 = Attribute(1, 0x00069007, Le(1251, 4) + Le(0, 4));
const std::string kNewAttachment = Attribute(2, 0x00069002, std::string(14, '\0'));

TEST(TnefReaderTest, DecodesTextsAndPicksTheBestOfEach) {
  const std::string utf16_name("\x1F\x04\x40\x04.\0t\0x\0t\0\0\0", 14);
  const std::string stream = Stream(
      Attribute(1, 0x00078008, std::string("IPM.Microsoft Schedule.MtgCncl\0", 31)) +
      Attribute(1, 0x00018004, std::string("\xCF\xF0\xE8\0", 4)) +
      Attribute(
          1, 0x00008000,
          Le(4, 2) + Le(0, 2) + Le(4, 2) + Le(12, 2) + std::string("Ann\0SMTP:a@b.c\0\0", 16)) +
      Attribute(1, 0x00038005,
                Le(2026, 2) + Le(12, 2) + Le(6, 2) + Le(13, 2) + Le(5, 2) + Le(59, 2) + Le(0, 2)) +
      Attribute(
          1, 0x00069003,
          Properties({
              // A named property with a name, to be stepped over.
              Le(0x001E, 2) + Le(0x8001, 2) + std::string(16, 'g') + Le(1, 4) + Le(6, 4) +
                  std::string("n\0m\0e\0\0\0", 8) + Le(1, 4) + Le(2, 4) + std::string("x\0\0\0", 4),
              Property(0x001E, 0x0C1E, std::string("EX\0", 3)),
              Property(0x001E, 0x0C1F, std::string("/O=ORG/CN=ANN\0", 14)),
              Property(0x001E, 0x0C1A, std::string("Ann Sender\0", 11)),
              Le(0x0040, 2) + Le(0x0039, 2) + Le(0x3BD07800, 4) + Le(0x01DC6B5B, 4),
          })) +
      kCodePage1251 + kNewAttachment + Attribute(2, 0x00018010, std::string("\xCF\xF0.TXT\0", 7)) +
      Attribute(2, 0x00069005,
                Properties({Property(0x001F, 0x3707, utf16_name),
                            Property(0x001E, 0x3704, std::string("PR~1.TXT\0", 9))})) +
      kNewAttachment + Attribute(2, 0x00018010, std::string("\xCF\xF0.TXT\0", 7)));
  std::optional<TnefMessage> message = ReadTnef(stream);
  ASSERT_TRUE(message && message->complete);
  EXPECT_EQ(message->code_page, 1251);  // given after the texts, used for all of them
  EXPECT_EQ(message->message_class, "IPM.Schedule.Meeting.Canceled");
  EXPECT_EQ(message->subject, "\xD0\x9F\xD1\x80\xD0\xB8");
  EXPECT_EQ(message->sender_name, "Ann Sender");
  EXPECT_EQ(message->sender_address, "a@b.c");  // not the Exchange one
  ASSERT_TRUE(message->date_sent);
  const TnefTime& t = *message->date_sent;  // the MAPI time, not attDateSent's
  EXPECT_EQ(std::vector<int>({t.year, t.month, t.day, t.hour, t.minute, t.second}),
            std::vector<int>({2025, 12, 12, 11, 34, 10}));
  ASSERT_EQ(message->attachments.size(), 2u);
  EXPECT_EQ(message->attachments[0].title, "\xD0\x9F\xD1\x80.txt");  // the long name, UTF-16
  EXPECT_EQ(message->attachments[1].title, "\xD0\x9F\xD1\x80.TXT");  // the title alone
}

TEST(TnefReaderTest, DamageEndsTheReadingWithWhatCameBefore) {
  const std::string title = Attribute(2, 0x00018010, std::string("a.txt\0", 6));
  const std::pair<const char*, std::string> cases[] = {
      {"unknown level", Attribute(3, 0x00018010, "x")},
      {"length past the end", Le(1, 1) + Le(0x00018004, 4) + Le(0xFFFFFFFF, 4) + "x"},
      {"unknown property type", Attribute(1, 0x00069003, Properties({Le(0x0999, 2) + Le(1, 2)}))},
      {"value past the end",
       Attribute(1, 0x00069003, Properties({Le(0x001E, 2) + Le(0x0037, 2) + Le(1, 4) + Le(9, 4)}))},
  };
  for (const auto& [what, attributes] : cases) {
    std::optional<TnefMessage> message =
        ReadTnef(Stream(kCodePage1251 + kNewAttachment + title + attributes + title));
    ASSERT_TRUE(message) << what;
    EXPECT_FALSE(message->complete) << what;
    EXPECT_EQ(Titles(*message), std::vector<std::string>{"a.txt"}) << what;
  }
  for (std::string_view not_tnef : {std::string_view(), std::string_view("\x78\x9F\x3E"),
                                    std::string_view("\x78\x9F\x3E\x23\x01\x00", 6)})
    EXPECT_FALSE(ReadTnef(not_tnef));
}

TEST(TnefReaderTest, KeepsToItsLimits) {
  std::string attachments;
  for (std::size_t i = 0; i <= kTnefMaxAttachments; ++i) attachments += kNewAttachment;
  std::optional<TnefMessage> message = ReadTnef(Stream(attachments));
  EXPECT_FALSE(message->complete);
  EXPECT_EQ(message->attachments.size(), kTnefMaxAttachments);

  std::string euros;
  for (std::size_t i = 0; i < kTnefMaxText; ++i) euros += "\xE2\x82\xAC";
  message = ReadTnef(Stream(Attribute(1, 0x00018004, euros)));
  EXPECT_EQ(message->subject, euros.substr(0, kTnefMaxText / 3 * 3));

  // attDateSent with the 13th month.
  message = ReadTnef(
      Stream(Attribute(1, 0x00038005, Le(2026, 2) + Le(13, 2) + Le(1, 2) + std::string(8, '\0'))));
  EXPECT_TRUE(message->complete);
  EXPECT_FALSE(message->date_sent);
}

TnefMessage Message(const std::string& name, const std::string& address,
                    const std::string& subject) {
  TnefMessage message;
  message.sender_name = name;
  message.sender_address = address;
  message.subject = subject;
  return message;
}

TEST(AttachedMessageTest, Fields) {
  const std::pair<TnefMessage, const char*> cases[] = {
      {Message("dave@example.net", "dave@example.net", ""),
       "From: dave@example.net\nMIME-Version: 1.0\n"},
      {Message("Stedfast, J.", "", ""), "From: \"Stedfast, J.\":;\nMIME-Version: 1.0\n"},
      {Message("J\xC3\xB6rg", "not an address",
               "Gr\xC3\xBC\xC3\x9F"
               "e"),
       "From: =?UTF-8?B?SsO2cmc=?=:;\nSubject: =?UTF-8?B?R3LDvMOfZQ==?=\nMIME-Version: 1.0\n"},
      {Message("", "", std::string(50, 'a') + "\n" + std::string(40, 'b')),
       "Subject: =?UTF-8?B?YWFhYWFhYWFhYWFhYWFhYWFhYWFhYWFhYWFhYWFhYWFhYWFhYWFhYWFh?=\n "
       "=?UTF-8?B?YWFhYWFhYWEKYmJiYmJiYmJiYmJiYmJiYmJiYmJiYmJiYmJiYmJiYmJi?=\n "
       "=?UTF-8?B?YmJiYmJiYg==?=\nMIME-Version: 1.0\n"},
  };
  for (const auto& [message, fields] : cases) EXPECT_EQ(AttachedMessageFields(message), fields);
}

TEST(AttachedMessageTest, DateMessageIdAndName) {
  TnefMessage message;
  message.date_sent = TnefTime{2024, 2, 29, 23, 5, 9};
  message.message_id = "<one@example.net>";
  EXPECT_EQ(AttachedMessageFields(message),
            "Date: Thu, 29 Feb 2024 23:05:09 +0000\nMessage-ID: <one@example.net>\n"
            "MIME-Version: 1.0\n");
  message.date_sent = TnefTime{2024, 13, 1, 0, 0, 0};
  message.message_id = "two words@x";
  EXPECT_EQ(AttachedMessageFields(message), "MIME-Version: 1.0\n");
  EXPECT_EQ(AttachedMessageName(Message("", "", "a\tb")), "a b.eml");
  EXPECT_EQ(AttachedMessageName(Message("", "", "")), "attached message.eml");
}

}  // namespace
