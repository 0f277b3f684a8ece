// Test helper started as a viewer: writes its arguments, one per line, to
// the file that PELLIPORT_ARGUMENTS_FILE names. The file appears whole.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

int main(int argc, char** argv) {
  const char* target = std::getenv("PELLIPORT_ARGUMENTS_FILE");
  if (target == nullptr) return 2;
  const std::filesystem::path file = target;
  std::filesystem::path part = file;
  part += ".part";
  {
    std::ofstream out(part, std::ios::binary | std::ios::trunc);
    for (int i = 1; i < argc; ++i) out << argv[i] << '\n';
    if (!out) return 1;
  }
  std::error_code error;
  std::filesystem::rename(part, file, error);
  return error ? 1 : 0;
}
