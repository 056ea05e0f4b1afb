// Writes the application icon's files into a folder, at build time:
//   make_icons OUTDIR
// icon_30001.bin .. icon_30003.bin and icon_group.bin for the resource
// script, huevex.ico, and huevex-16.png and huevex-32.png for Linux desktops.
#include <cstdio>
#include <string>

#include "resources/pictures.h"
#include "tools/icon_file.h"

namespace {

bool Write(const std::string& path, const huevex::icons::Bytes& bytes) {
  FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) return false;
  const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return std::fclose(file) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace huevex;
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUTDIR\n", argv[0]);
    return 2;
  }
  const std::string dir = argv[1];
  bool ok = true;
  for (int i = 0; i < icons::kImageCount; ++i) {
    ok &= Write(dir + "/icon_" + std::to_string(icons::kFirstImageId + i) + ".bin",
                icons::IconImage(i));
  }
  ok &= Write(dir + "/icon_group.bin", icons::GroupDirectory());
  ok &= Write(dir + "/huevex.ico", icons::IcoFile());
  ok &= Write(dir + "/huevex-16.png", icons::PngFile(pictures::ApplicationIcon16()));
  ok &= Write(dir + "/huevex-32.png", icons::PngFile(pictures::ApplicationIcon32()));
  if (!ok) std::fprintf(stderr, "make_icons: could not write into %s\n", dir.c_str());
  return ok ? 0 : 1;
}
