// Attached messages made messages again: a message attached to a message
// arrives in a winmail.dat as IID_IMessage and a TNEF stream of its own.
// Its attributes give the header block, and what the same conversion made of
// its stream gives the body, so that it can go out as a message/rfc822 part.
#ifndef APP_ATTACHED_MESSAGE_H_
#define APP_ATTACHED_MESSAGE_H_

#include <string>
#include <vector>

#include "app/tnef_reader.h"
#include "app/unpack.h"
#include "orv/string.h"

// The header fields for message: From, Subject, Date and Message-ID when it
// gives them, and MIME-Version; each line ended by LF, printable ASCII, and at
// most 78 bytes long unless an address or Message-ID makes it longer (never
// past 998).
std::string AttachedMessageFields(const TnefMessage& message);

// The name a client shows for the message: its subject with ".eml", or
// "attached message.eml" when it has none.
std::string AttachedMessageName(const TnefMessage& message);

// Writes to path the message made of message's fields and files (the parts a
// conversion made of its stream, in their order), with a multipart boundary
// that holds level, so that messages nested in it use others. work is a file
// name it may use on the way. Returns false, logged, when it cannot be
// written. types gives the files' content types.
bool WriteAttachedMessage(const TnefMessage& message, const std::vector<ExtractedFile>& files,
                          const ContentTypes& types, int level, const orv::string& work,
                          const orv::string& path);

#endif  // APP_ATTACHED_MESSAGE_H_
