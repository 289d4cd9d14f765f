// The input/output floor of a batch job: reads each input file whole, then
// writes a file of the given size for it through a temporary name and a
// rename, as the image library writes its outputs. Nothing is decoded or
// encoded; what it takes, no converter can save.
//
//   io_floor BYTES OUTPUT_SUFFIX INPUT...   one output per input (INPUT less
//                                           its last 3 characters + suffix)
//   io_floor BYTES =OUTPUT INPUT...          one output for all inputs

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

bool Write(const std::string& path, const std::vector<char>& bytes) {
  const std::string temporary = path + ".floor-tmp";
  std::FILE* file = std::fopen(temporary.c_str(), "wb");
  if (file == nullptr) {
    return false;
  }
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return std::fclose(file) == 0 && written && std::rename(temporary.c_str(), path.c_str()) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: io_floor BYTES OUTPUT_SUFFIX|=OUTPUT INPUT...\n");
    return 2;
  }
  const std::vector<char> output(std::strtoull(argv[1], nullptr, 10), 1);
  const std::string target = argv[2];
  std::size_t read = 0;
  for (int i = 3; i < argc; ++i) {
    std::ifstream in(argv[i], std::ios::binary);
    const std::vector<char> bytes{std::istreambuf_iterator<char>(in),
                                  std::istreambuf_iterator<char>()};
    read += bytes.size();
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
