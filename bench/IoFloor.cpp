// The input/output floor of a batch job: reads each input file whole, then
// writes a file of the given size for it through a temporary name and a
// rename, as the image library writes its outputs. Both buffers are made
// once. Nothing is decoded or encoded; what it takes, no converter can save.
//
//   io_floor BYTES OUTPUT_SUFFIX INPUT...   one output per input (INPUT less
//                                           its last 3 characters + suffix)
//   io_floor BYTES =OUTPUT INPUT...          one output for all inputs

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

bool Write(const std::string& path, const std::vector<char>& bytes) {
  const std::string temporary = path + ".floor-tmp";
  std::FILE* file = std::fopen(temporary.c_str(), "wb");
  if (file == nullptr) {
    return false;
  }
  // In pieces of 1 MiB: one huge write stalls now and then on these machines
  // while the system finds room for it, which a floor should not pay.
  constexpr std::size_t kPiece = std::size_t{1} << 20;
  bool written = true;
  for (std::size_t at = 0; at < bytes.size() && written; at += kPiece) {
    const std::size_t count = std::min(kPiece, bytes.size() - at);
    written = std::fwrite(bytes.data() + at, 1, count, file) == count;
  }
  return std::fclose(file) == 0 && written && std::rename(temporary.c_str(), path.c_str()) == 0;
}

// Reads the whole file in one call into bytes, which grows as needed and
// serves every file; returns its size, 0 when unreadable.
std::size_t ReadWhole(const char* path, std::vector<char>& bytes) {
  std::FILE* file = std::fopen(path, "rb");
  if (file == nullptr || std::fseek(file, 0, SEEK_END) != 0) {
    return 0;
  }
  const auto size = static_cast<std::size_t>(std::ftell(file));
  std::rewind(file);
  if (bytes.size() < size) {
    bytes.resize(size);
  }
  const std::size_t read = std::fread(bytes.data(), 1, size, file);
  std::fclose(file);
  return read;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: io_floor BYTES OUTPUT_SUFFIX|=OUTPUT INPUT...\n");
    return 2;
  }
  const std::vector<char> output(std::strtoull(argv[1], nullptr, 10), 1);
  const std::string target = argv[2];
  std::vector<char> inputBytes;
  std::size_t read = 0;
  for (int i = 3; i < argc; ++i) {
    read += ReadWhole(argv[i], inputBytes);
    if (target[0] != '=') {
      const std::string input = argv[i];
      if (!Write(input.substr(0, input.size() - 3) + target, output)) {
        return 1;
      }
    }
  }
  if (target[0] == '=' && !Write(target.substr(1), output)) {
    return 1;
  }
  return read > 0 ? 0 : 1;
}
