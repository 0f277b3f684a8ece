#include <fstream>
#include <stdexcept>

#include "host/testing/Policies.h"
#include "platform/testing/ScratchFolder.h"

namespace pelliport::testing {
namespace {

namespace fs = std::filesystem;

std::string JsonText(const std::string& text) { return "\"" + text + "\""; }

fs::path FileOf(const fs::path& root, PolicyPlace place) {
  return root / "etc/opt/chrome/policies/managed" / (place == PolicyPlace::Higher ? "20-higher.json" : "10-lower.json");
}

// Adds a member to the place's file, which holds one JSON object.
void AddMember(const fs::path& root, PolicyPlace place, const std::string& name, const std::string& value) {
  const fs::path file = FileOf(root, place);
  std::string members;
  if (fs::exists(file)) {
    members = ReadFileBytes(file);
    members = members.substr(1, members.size() - 3) + ",\n";  // "{...}\n" without its braces
  }
  WriteFileBytes(file, "{" + members + JsonText(name) + ": " + value + "}\n");
}

}  // namespace

ChromePolicies::ChromePolicies(const fs::path& scratch, Environment& environment) : root_(scratch / "policy-root") {
  bool set = false;
  for (auto& [name, value] : environment) {
    if (name == "PELLIPORT_POLICY_ROOT") {
      root_ = value;
      set = true;
    }
  }
  if (!set) environment.push_back({"PELLIPORT_POLICY_ROOT", root_.string()});
  fs::create_directories(root_ / "etc/opt/chrome/policies/managed");
}

ChromePolicies::~ChromePolicies() { fs::remove_all(root_ / "etc"); }

void ChromePolicies::SetBoolean(PolicyPlace place, const std::string& name, bool value) {
  AddMember(root_, place, name, value ? "true" : "false");
}

void ChromePolicies::SetList(PolicyPlace place, const std::string& name, const std::vector<std::string>& items) {
  std::string list;
  for (const auto& item : items) list += (list.empty() ? "" : ", ") + JsonText(item);
  AddMember(root_, place, name, "[" + list + "]");
}

std::string ChromePolicies::SetWrongType(PolicyPlace place, const std::string& name) {
  AddMember(root_, place, name, "0");
  return "a number";
}

std::string ChromePolicies::SetUnreadable(PolicyPlace place) {
  WriteFileBytes(FileOf(root_, place), "{\"NativeMessagingBlocklist\": [\"*\"]\n");
  return "not valid JSON";
}

std::string ChromePolicies::PlaceName(PolicyPlace place) const { return FileOf(root_, place).string(); }

bool ChromePolicies::RegisterPerMachine(const fs::path&) { return false; }

bool PretendFlatpakChrome(const Environment& environment) {
  for (const auto& [name, value] : environment) {
    if (name == "XDG_DATA_HOME") {
      fs::create_directories(fs::path(value) / "flatpak" / "app" / "com.google.Chrome");
      return true;
    }
  }
  throw std::runtime_error("the test environment sets no XDG_DATA_HOME");
}

}  // namespace pelliport::testing
