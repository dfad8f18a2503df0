// Whole-line output to standard output. A temporary outline or logline
// collects what is inserted into it and writes it as one line, under one lock,
// when it is destroyed, so lines of different writers never mix. A LineBlock
// keeps the lines of one piece of work (a request, a message file) together
// when several run at once. In filter mode standard output is the channel to
// the mail server: log lines ("* "...) and protocol answers share it.
#ifndef ORV_LINE_STREAM_H_
#define ORV_LINE_STREAM_H_

#include <cstdint>
#include <ostream>
#include <sstream>

#include "orv/string.h"

namespace orv {

// Longest line a logline writes; longer lines are cut with "...".
constexpr std::size_t kMaxLogLine = 3990;

class ostream_base : public std::ostream {
 public:
  ostream_base() : std::ostream(&buffer_) {}
  ~ostream_base() override = default;

 protected:
  std::string Text() const { return buffer_.str(); }

 private:
  std::stringbuf buffer_;
};

// A plain line: trailing LFs are replaced by exactly one.
class outline : public ostream_base {
 public:
  ~outline() override;
};

// A log line: "* ", then "[number] " unless the number is 0, then "key: "
// unless the key is empty, then the text; every further line of the text gets
// the same prefix. A keyed text repeated in a row is written once, and a
// "(Last message repeated N times)" line follows when the key's text changes.
class logline : public ostream_base {
 public:
  logline() = default;
  explicit logline(uint32_t number) : number_(number) {}
  explicit logline(const string& key) : key_(key) {}
  logline(uint32_t number, const string& key) : key_(key), number_(number) {}
  ~logline() override;

 private:
  string key_;
  uint32_t number_ = 0;
};

// Writes text and one LF to standard output under the output lock. Returns
// false when standard output cannot be written (for example, the peer closed
// it); OutputBroken() then stays true.
bool WriteLine(std::string text);
bool OutputBroken();

// While a LineBlock lives, the lines its thread writes are collected instead,
// and written as one block under the output lock when it goes (or, should
// they pass kMaxBlock bytes, when they do). One block per thread at a time.
class LineBlock {
 public:
  static constexpr std::size_t kMaxBlock = 1 << 20;

  LineBlock();
  ~LineBlock();
  LineBlock(const LineBlock&) = delete;
  LineBlock& operator=(const LineBlock&) = delete;

  // Adds one line, with its LF; what WriteLine does while the block lives.
  void Add(const std::string& line);

 private:
  void Flush();

  std::string text_;
};

}  // namespace orv

#endif  // ORV_LINE_STREAM_H_
