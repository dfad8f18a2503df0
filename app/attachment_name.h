// The names of files taken out of a winmail.dat, made UTF-8 for the message
// that carries them. A name arrives in the bytes its sender's code page gave
// it, and tnef's listing and files show it with some bytes escaped.
#ifndef APP_ATTACHMENT_NAME_H_
#define APP_ATTACHMENT_NAME_H_

#include <string>
#include <string_view>

// The name as UTF-8: kept as it is when it is valid UTF-8, otherwise decoded
// from code_page (windows-1252 when 0, none given, or a page without a table).
std::string NameToUtf8(std::string_view raw, int code_page);

// A file name as tnef wrote it on disk, with its escapes undone: tnef writes
// control bytes, DEL and " % * / : < > ? \ | as "%" and two uppercase hex
// digits. Any other "%" is left as it is.
std::string UndoTnefEscapes(std::string_view on_disk);

#endif  // APP_ATTACHMENT_NAME_H_
