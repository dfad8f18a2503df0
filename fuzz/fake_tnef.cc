// A stand-in for tnef in the program directory of the tnef fuzz target, so
// the unpacking and rewriting code runs with what a real tnef could hand back.
// The decoded winmail.dat file is read as a script, one command a line:
//   list NAME  create NAME in the work directory and list it as a bare name
//   path NAME  create NAME and list it in the four-column form
//   hide NAME  create NAME without listing it
//   echo TEXT  list TEXT as it is, creating nothing
//   warn TEXT  write TEXT to standard error
// A created file holds the rest of its line after the name. Names are taken
// up to a "/" or a blank; anything else is ignored. Called as rtf2html it
// copies its first argument to its second. It is built without sanitizers:
// every winmail.dat part starts one.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

void WriteAll(int fd, const std::string& text) {
  std::size_t done = 0;
  while (done < text.size()) {
    ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n <= 0) return;
    done += static_cast<std::size_t>(n);
  }
}

bool Create(const std::string& directory, const std::string& name, const std::string& content) {
  if (name.empty() || name == "." || name == "..") return false;
  std::string path = directory + "/" + name;
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW, 0600);
  if (fd < 0) return false;
  WriteAll(fd, content);
  close(fd);
  return true;
}

int Rtf2html(const char* rtf, const char* html) {
  int in = open(rtf, O_RDONLY);
  if (in < 0) return 1;
  std::string content = "<html>";
  char block[4096];
  ssize_t n;
  while ((n = read(in, block, sizeof block)) > 0)
    content.append(block, static_cast<std::size_t>(n));
  close(in);
  int out = open(html, O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW, 0600);
  if (out < 0) return 1;
  WriteAll(out, content + "</html>\n");
  close(out);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const char* slash = argc > 0 ? std::strrchr(argv[0], '/') : nullptr;
  if (slash && std::strcmp(slash, "/rtf2html") == 0)
    return argc == 3 ? Rtf2html(argv[1], argv[2]) : 1;
  std::string input, directory = ".";
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "-f") == 0 && i + 1 < argc) input = argv[++i];
    if (std::strncmp(argv[i], "--directory=", 12) == 0) directory = argv[i] + 12;
  }
  FILE* in = std::fopen(input.c_str(), "rb");
  if (!in) return 1;
  std::string listing, errors;
  char* line = nullptr;
  std::size_t capacity = 0;
  ssize_t length;
  while ((length = getline(&line, &capacity, in)) > 0) {
    std::string text(line, static_cast<std::size_t>(length));
    if (!text.empty() && text.back() == '\n') text.pop_back();
    if (text.size() < 5 || text[4] != ' ') continue;
    std::string command = text.substr(0, 4), rest = text.substr(5);
    std::size_t name_end = rest.find_first_of("/ \t");
    std::string name = rest.substr(0, name_end);
    std::string content = name_end == std::string::npos ? "" : rest.substr(name_end);
    if (command == "list" && Create(directory, name, content)) {
      listing += name + "\n";
    } else if (command == "path" && Create(directory, name, content)) {
      listing += name + "\t|\t" + directory + "/" + name + "\t|\tapplication/octet-stream\t|\t\n";
    } else if (command == "hide") {
      Create(directory, name, content);
    } else if (command == "echo") {
      listing += rest + "\n";
    } else if (command == "warn") {
      errors += rest + "\n";
    }
  }
  std::free(line);
  std::fclose(in);
  WriteAll(STDERR_FILENO, errors);
  WriteAll(STDOUT_FILENO, listing);
  return 0;
}
