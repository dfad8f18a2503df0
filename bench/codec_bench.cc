// Throughput of the encoders and the decoder as the filter uses them: a file
// written as Base64 lines, Base64 lines decoded one by one, and an HTML body
// written as quoted-printable. Prints MB/s, Base64 beside coreutils' base64
// on the same data.
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "orv/codec.h"
#include "orv/input_file.h"
#include "orv/output_file.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

// The best of a few runs of fn, in seconds.
template <typename Fn>
double Best(Fn fn) {
  double best = 1e9;
  for (int i = 0; i < 5; ++i) {
    auto start = Clock::now();
    fn();
    best = std::min(best, Seconds(start));
  }
  return best;
}

double Command(const std::string& command) {
  return Best([&] {
    if (std::system(command.c_str()) != 0) std::perror(command.c_str());
  });
}

}  // namespace

int main(int argc, char** argv) {
  const std::string dir = argc > 1 ? argv[1] : "/tmp";
  const std::size_t size = 64 << 20;
  const std::string raw = dir + "/codec_bench.raw", encoded = dir + "/codec_bench.b64";
  const std::string html = dir + "/codec_bench.html";
  double html_mb = 0;
  {
    // Paragraphs of a few hundred to a few thousand bytes: words, markup, and
    // now and then a two-byte UTF-8 letter.
    std::mt19937_64 random(7);
    std::string text;
    static const char* const kWords[] = {"the",         "quarterly", "<b>report</b>",
                                         "caf\xC3\xA9", "a=b",       "<p class=\"x\">",
                                         "figures",     "and",       "\tnotes"};
    while (text.size() < size / 4) {
      std::size_t paragraph = 200 + random() % 4000;
      for (std::size_t n = 0; n < paragraph;) {
        const char* word = kWords[random() % (sizeof kWords / sizeof *kWords)];
        text += word;
        text += ' ';
        n += std::char_traits<char>::length(word) + 1;
      }
      text += "\r\n";
    }
    html_mb = text.size() / 1e6;
    std::ofstream(html, std::ios::binary)
        .write(text.data(), static_cast<std::streamsize>(text.size()));
  }
  {
    std::mt19937_64 random(42);
    std::vector<uint64_t> data(size / 8);
    for (auto& word : data) word = random();
    std::ofstream(raw, std::ios::binary).write(reinterpret_cast<char*>(data.data()), size);
    orv::InputFile in(raw);
    orv::ofstream out(encoded, std::ios::trunc);
    orv::WriteBase64Lines(in, out);
  }
  const double mb = size / 1e6;

  double encode = Best([&] {
    orv::InputFile in(raw);
    orv::ofstream out("/dev/null", std::ios::trunc);
    orv::WriteBase64Lines(in, out);
  });
  double decode = Best([&] {
    orv::InputFile in(encoded);
    orv::ofstream out("/dev/null", std::ios::trunc);
    orv::Base64LineDecoder decoder(out);
    orv::string line;
    while (orv::getline(in, line)) {
      decoder.Feed(line);
      decoder.EndLine();
    }
  });
  double qp = Best([&] {
    orv::InputFile in(html);
    orv::ofstream out("/dev/null", std::ios::trunc);
    orv::WriteQuotedPrintable(in, out);
  });
  double encode_base = Command("base64 " + raw + " > /dev/null");
  double decode_base = Command("base64 -d " + encoded + " > /dev/null");
  std::printf("%-34s %9s %12s %7s\n", "codec (64 MB, best of 5)", "MB/s", "base64 MB/s", "ratio");
  std::printf("%-34s %9.0f %12.0f %7.2f\n", "WriteBase64Lines", mb / encode, mb / encode_base,
              encode_base / encode);
  std::printf("%-34s %9.0f %12.0f %7.2f\n", "Base64 line decoding", mb / decode, mb / decode_base,
              decode_base / decode);
  std::printf("%-34s %9.0f\n", "WriteQuotedPrintable (HTML text)", html_mb / qp);
  std::remove(raw.c_str());
  std::remove(encoded.c_str());
  std::remove(html.c_str());
  return 0;
}
