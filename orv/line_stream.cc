#include "orv/line_stream.h"

#include <errno.h>
#include <unistd.h>

#include <mutex>
#include <unordered_map>
#include <utility>

namespace orv {
namespace {

std::mutex output_mutex;
std::mutex repeat_table_mutex;
std::unordered_map<string, std::pair<string, uint32_t>, StringHash> repeat_table(100);
bool output_broken = false;
thread_local LineBlock* current_block = nullptr;

// One console line, cut with "..." after kMaxLogLine bytes.
string CutLine(string line) {
  if (line.size() > kMaxLogLine) {
    line.resize(kMaxLogLine);
    line += "...";
  }
  return line;
}

// Writes text, which ends with LF, to standard output under the output lock.
bool WriteText(const std::string& text) {
  std::lock_guard<std::mutex> lock(output_mutex);
  const char* p = text.data();
  std::size_t left = text.size();
  while (left > 0 && !output_broken) {
    ssize_t n = ::write(STDOUT_FILENO, p, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      output_broken = true;
      break;
    }
    p += n;
    left -= static_cast<std::size_t>(n);
  }
  return !output_broken;
}

}  // namespace

bool WriteLine(std::string text) {
  while (!text.empty() && text.back() == '\n') text.pop_back();
  text += '\n';
  if (current_block) {
    current_block->Add(text);
    return !OutputBroken();
  }
  return WriteText(text);
}

bool OutputBroken() {
  std::lock_guard<std::mutex> lock(output_mutex);
  return output_broken;
}

outline::~outline() {
  WriteLine(Text());
}

logline::~logline() {
  string text(Text());
  if (!key_.empty()) {
    std::lock_guard<std::mutex> lock(repeat_table_mutex);
    decltype(repeat_table)::iterator it;
    if (!has_key(repeat_table, key_, it)) {
      repeat_table.emplace(key_, std::make_pair(text, 1u));
    } else if (it->second.first == text) {
      ++it->second.second;
      return;
    } else {
      if (it->second.second > 1) {
        WriteLine(CutLine("* " + key_ + ": (Last message repeated " +
                          std::to_string(it->second.second) + " times)"));
      }
      it->second = std::make_pair(text, 1u);
    }
  }
  string prefix("* ");
  if (number_ != 0) prefix += "[" + std::to_string(number_) + "] ";
  if (!key_.empty()) prefix += key_ + ": ";
  while (!text.empty() && text.back() == '\n') text.pop_back();
  string lines;
  std::size_t start = 0;
  for (;;) {
    std::size_t lf = text.find('\n', start);
    std::size_t len = (lf == string::npos ? text.size() : lf) - start;
    if (!lines.empty()) lines += '\n';
    lines += CutLine(prefix + text.substr(start, len));
    if (lf == string::npos) break;
    start = lf + 1;
  }
  WriteLine(lines);
}

LineBlock::LineBlock() {
  current_block = this;
}

LineBlock::~LineBlock() {
  current_block = nullptr;
  Flush();
}

void LineBlock::Add(const std::string& line) {
  text_ += line;
  if (text_.size() > kMaxBlock) Flush();
}

void LineBlock::Flush() {
  if (!text_.empty()) WriteText(text_);
  text_.clear();
}

}  // namespace orv
