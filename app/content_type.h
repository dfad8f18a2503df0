// Content types of extracted files, chosen by the file name's extension from
// a fixed table built into the program.
#ifndef APP_CONTENT_TYPE_H_
#define APP_CONTENT_TYPE_H_

#include "orv/string.h"

// The content type for the text after the last "." of path, looked up exactly
// (the table's keys are lower case); "application/octet-stream" otherwise.
orv::string ContentTypeOf(const orv::string& path);

#endif  // APP_CONTENT_TYPE_H_
