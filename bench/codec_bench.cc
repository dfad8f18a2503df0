// Throughput of the Base64 encoder and decoder as the filter uses them: a file
// written as Base64 lines, and Base64 lines decoded one by one. Prints MB/s
// beside coreutils' base64 on the same data.
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
  double encode_base = Command("base64 " + raw + " > /dev/null");
  double decode_base = Command("base64 -d " + encoded + " > /dev/null");
  std::printf("%-34s %9s %12s %7s\n", "codec (64 MB, best of 5)", "MB/s", "base64 MB/s", "ratio");
  std::printf("%-34s %9.0f %12.0f %7.2f\n", "WriteBase64Lines", mb / encode, mb / encode_base,
              encode_base / encode);
  std::printf("%-34s %9.0f %12.0f %7.2f\n", "Base64 line decoding", mb / decode, mb / decode_base,
              decode_base / decode);
  std::remove(raw.c_str());
  std::remove(encoded.c_str());
  return 0;
}
