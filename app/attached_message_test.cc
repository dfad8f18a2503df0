// The header block and name of a message made from an attached message's stream.
#include "app/attached_message.h"

#include <gtest/gtest.h>

namespace {

TnefMessage Message(const std::string& name, const std::string& address,
                    const std::string& subject) {
  TnefMessage message;
  message.sender_name = name;
  message.sender_address = address;
  message.subject = subject;
  return message;
}

TEST(AttachedMessageTest, Fields) {
  const struct {
    TnefMessage message;
    std::string fields;
  } cases[] = {
      {Message("", "", ""), "MIME-Version: 1.0\n"},
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
  for (const auto& c : cases) EXPECT_EQ(AttachedMessageFields(c.message), c.fields);
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
