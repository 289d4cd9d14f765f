// Writes the program's resources in the form Windows keeps them in an
// executable: FOLDER/Tessary.rc, the version information and the icon, and
// FOLDER/tessary.ico, the icon's pictures. Explorer and the file's
// properties show them. Run at build time by the Windows build.
//
//   resource_script FOLDER

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "AppResources.h"

namespace {

class LittleEndian {
 public:
  void U8(unsigned value) { bytes.push_back(static_cast<char>(value & 0xFF)); }
  void U16(unsigned value) {
    U8(value);
    U8(value >> 8);
  }
  void U32(std::uint32_t value) {
    U16(value & 0xFFFF);
    U16(value >> 16);
  }
  std::string bytes;
};

// One icon picture as a 32-bit device-independent bitmap: the header, the
// colours bottom row first, then an all-opaque mask.
std::string IconPicture(const AfxIconImage& image, std::span<const std::uint32_t> palette) {
  const int size = image.size;
  const int maskRowBytes = (size + 31) / 32 * 4;
  LittleEndian out;
  out.U32(40);        // header size
  out.U32(size);      // width
  out.U32(2 * size);  // height of colours and mask together
  out.U16(1);         // planes
  out.U16(32);        // bits per pixel
  out.U32(0);         // uncompressed
  out.U32(size * size * 4 + maskRowBytes * size);
  out.U32(0);
  out.U32(0);
  out.U32(0);
  out.U32(0);
  for (int y = size - 1; y >= 0; --y) {
    for (int x = 0; x < size; ++x) {
      out.U32(0xFF000000u | AfxIconPixel(image, palette, x, y));
    }
  }
  out.bytes.append(static_cast<std::size_t>(maskRowBytes) * size, '\0');
  return out.bytes;
}

std::string IconFile(const AfxIconResource& icon) {
  std::vector<std::string> pictures;
  for (const AfxIconImage& image : icon.images) {
    pictures.push_back(IconPicture(image, icon.palette));
  }
  LittleEndian out;
  out.U16(0);
  out.U16(1);  // an icon
  out.U16(static_cast<unsigned>(pictures.size()));
  std::uint32_t offset = 6 + 16 * static_cast<std::uint32_t>(pictures.size());
  for (std::size_t i = 0; i < pictures.size(); ++i) {
    const int size = icon.images[i].size;
    out.U8(size >= 256 ? 0 : size);
    out.U8(size >= 256 ? 0 : size);
    out.U8(0);  // no palette
    out.U8(0);
    out.U16(1);   // planes
    out.U16(32);  // bits per pixel
    out.U32(static_cast<std::uint32_t>(pictures[i].size()));
    out.U32(offset);
    offset += static_cast<std::uint32_t>(pictures[i].size());
  }
  for (const std::string& picture : pictures) {
    out.bytes += picture;
  }
  return out.bytes;
}

// A resource-script string: quotes doubled.
std::string Quoted(const char* text) {
  std::string quoted = "\"";
  for (const char* c = text; *c != '\0'; ++c) {
    quoted += *c == '"' ? std::string("\"\"") : std::string(1, *c);
  }
  return quoted + '"';
}

std::string VersionNumbers(const unsigned short (&version)[4]) {
  return std::to_string(version[0]) + "," + std::to_string(version[1]) + "," +
         std::to_string(version[2]) + "," + std::to_string(version[3]);
}

std::string Script(const VersionInfo& info) {
  char block[16];
  std::snprintf(block, sizeof block, "%04X%04X", info.language, info.codePage);
  const std::string fileType = info.fileType == std::string("application") ? "0x1L" : "0x0L";
  const std::string system =
      info.operatingSystem == std::string("32-bit Windows") ? "0x4L" : "0x0L";
  std::string script = std::to_string(IDR_MAINFRAME) + " ICON \"tessary.ico\"\n\n";
  script += "1 VERSIONINFO\n";
  script += "FILEVERSION " + VersionNumbers(info.fileVersion) + "\n";
  script += "PRODUCTVERSION " + VersionNumbers(info.productVersion) + "\n";
  script += "FILEOS " + system + "\nFILETYPE " + fileType + "\n";
  script += "BEGIN\n  BLOCK \"StringFileInfo\"\n  BEGIN\n    BLOCK \"" + std::string(block) +
            "\"\n    BEGIN\n";
  for (const VersionInfo::Entry& entry : info.strings) {
    script += "      VALUE " + Quoted(entry.name) + ", " + Quoted(entry.value) + "\n";
  }
  script += "    END\n  END\n  BLOCK \"VarFileInfo\"\n  BEGIN\n";
  script += "    VALUE \"Translation\", " + std::to_string(info.language) + ", " +
            std::to_string(info.codePage) + "\n";
  script += "  END\nEND\n";
  return script;
}

bool WriteFile(const std::string& path, const std::string& contents) {
  std::ofstream out(path, std::ios::binary);
  out << contents;
  out.close();
  return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: resource_script FOLDER\n");
    return 2;
  }
  const std::string folder = argv[1];
  if (!WriteFile(folder + "/tessary.ico", IconFile(kMainFrameIcon)) ||
      !WriteFile(folder + "/Tessary.rc", Script(kVersionInfo))) {
    std::fprintf(stderr, "resource_script: cannot write into %s\n", folder.c_str());
    return 1;
  }
  return 0;
}
