#include "manifests/BrowserManifests.h"

#include <algorithm>
#include <optional>

#include "import/JsonString.h"
#include "platform/utf.h"

namespace pelliport {
namespace {

constexpr std::u16string_view kDescription = u"PelliportHost: imports candidate profiles into Orvanta";
constexpr std::u16string_view kChromiumOriginStart = u"chrome-extension://";

bool IsAsciiLetterOrDigit(char16_t c) {
  return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9');
}

}  // namespace

std::optional<std::u16string> ChromiumOrigin(std::u16string_view text) {
  std::u16string_view id = text;
  if (id.starts_with(kChromiumOriginStart)) {
    id.remove_prefix(kChromiumOriginStart.size());
    if (id.ends_with(u'/')) id.remove_suffix(1);
  }
  if (id.size() != 32 || !std::ranges::all_of(id, [](char16_t c) { return c >= u'a' && c <= u'p'; })) {
    return std::nullopt;
  }
  return std::u16string(kChromiumOriginStart) + std::u16string(id) + u"/";
}

bool IsFirefoxId(std::u16string_view id) {
  if (id.empty()) return false;
  const bool allowedCharacters = std::ranges::all_of(id, [](char16_t c) {
    return IsAsciiLetterOrDigit(c) || std::u16string_view(u"._+-@{}").find(c) != std::u16string_view::npos;
  });
  if (!allowedCharacters) return false;
  const bool email = id.find(u'@') != std::u16string_view::npos;
  const bool guid = id.size() >= 2 && id.front() == u'{' && id.back() == u'}';
  return email || guid;
}

namespace {

// The ids of one option's value: separated by commas, semicolons or blanks.
std::vector<std::u16string_view> SplitIds(std::u16string_view value) {
  constexpr std::u16string_view kSeparators = u",; \t";
  std::vector<std::u16string_view> ids;
  std::size_t pos = 0;
  while (pos < value.size()) {
    const std::size_t start = value.find_first_not_of(kSeparators, pos);
    if (start == std::u16string_view::npos) break;
    const std::size_t end = std::min(value.find_first_of(kSeparators, start), value.size());
    ids.push_back(value.substr(start, end - start));
    pos = end;
  }
  return ids;
}

void AppendUnique(std::vector<std::u16string>& list, std::u16string item) {
  if (std::ranges::find(list, item) == list.end()) list.push_back(std::move(item));
}

std::string BuildManifest(std::u16string_view programPath, std::u16string_view listKey,
                          std::span<const std::u16string> list) {
  std::u16string json = u"{\n  \"name\": ";
  AppendJsonString(json, kNativeHostName);
  json += u",\n  \"description\": ";
  AppendJsonString(json, kDescription);
  json += u",\n  \"path\": ";
  AppendJsonString(json, programPath);
  json += u",\n  \"type\": \"stdio\",\n  ";
  AppendJsonString(json, listKey);
  json += u": [";
  for (std::size_t i = 0; i < list.size(); ++i) {
    json += i == 0 ? u"\n    " : u",\n    ";
    AppendJsonString(json, list[i]);
  }
  json += list.empty() ? u"]\n}\n" : u"\n  ]\n}\n";
  return EncodeUtf8(json);
}

// Writes the manifest to a new file in its folder and renames that into
// place, so that a browser reads the old manifest or the new one whole; the
// reason on failure, with the new file deleted again.
std::optional<std::u16string> WriteInPlace(Platform& platform, const ManifestTarget& target, std::string_view bytes) {
  const std::size_t cut = target.path.rfind(platform.files.PathSeparator());
  const std::u16string folder = cut == std::u16string::npos ? u"" : target.path.substr(0, cut == 0 ? 1 : cut);
  const UniqueFileResult next = platform.files.CreateUniqueFile(folder);
  if (next.name.empty()) return next.errorText.empty() ? u"no file can be made in its folder" : next.errorText;
  std::optional<std::u16string> failure;
  OpenResult opened = platform.files.OpenFile(next.name, OpenMode::CreateAlways);
  if (!opened.file) {
    failure = opened.errorText.empty() ? u"the file cannot be created" : opened.errorText;
  } else if (!opened.file->Append(AsBytes(bytes)) || !opened.file->Close()) {
    const std::u16string error = opened.file->ErrorText();
    failure = error.empty() ? u"the file cannot be written" : error;
  }
  opened.file.reset();
  if (!failure && target.everyone) {
    const FileChange shared = platform.files.LetEveryoneRead(next.name);
    if (!shared.done) failure = shared.errorText;
  }
  if (!failure) {
    const FileChange replaced = platform.files.ReplaceFile(next.name, target.path);
    if (!replaced.done) failure = replaced.errorText;
  }
  if (failure) platform.files.DeleteFile(next.name);
  return failure;
}

// Makes the folder and the folders above it that are missing, for every
// user to read when `everyone`; the reason when one cannot be made.
// Existing folders, the root among them, are left as they are.
std::optional<std::u16string> MakeFolders(Platform& platform, std::u16string_view folder, bool everyone) {
  if (folder.empty()) return std::nullopt;
  CreateDirectoryOutcome made = platform.files.CreateDirectory(folder);
  if (made.result == CreateDirectoryResult::Failed) {
    const std::size_t cut = folder.rfind(platform.files.PathSeparator());
    if (cut == std::u16string_view::npos || cut == 0) return made.errorText;
    if (auto failure = MakeFolders(platform, folder.substr(0, cut), everyone)) return failure;
    made = platform.files.CreateDirectory(folder);
    if (made.result == CreateDirectoryResult::Failed) return made.errorText;
  }
  if (made.result == CreateDirectoryResult::Created && everyone) {
    const FileChange shared = platform.files.LetEveryoneRead(folder);
    if (!shared.done) return shared.errorText;
  }
  return std::nullopt;
}

}  // namespace

std::variant<ManifestArguments, std::u16string> ParseManifestArguments(
    std::span<const std::u16string> arguments) {
  ManifestArguments parsed;
  AllowedExtensions& allowed = parsed.allowed;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::u16string& option = arguments[i];
    if (option == u"--system") {
      parsed.scope = ManifestScope::System;
      continue;
    }
    const bool chromium = option == u"--chrome-extension";
    if (!chromium && option != u"--firefox-extension") return u"unknown argument: \"" + option + u"\"";
    if (++i >= arguments.size()) return option + u" needs a value";
    (chromium ? allowed.chromium : allowed.firefox) = true;
    for (const std::u16string_view id : SplitIds(arguments[i])) {
      if (chromium) {
        auto origin = ChromiumOrigin(id);
        if (!origin) return u"not a Chromium extension id: \"" + std::u16string(id) + u"\"";
        AppendUnique(allowed.chromiumOrigins, std::move(*origin));
      } else {
        if (!IsFirefoxId(id)) return u"not a Firefox extension id: \"" + std::u16string(id) + u"\"";
        AppendUnique(allowed.firefoxIds, std::u16string(id));
      }
    }
  }
  if (allowed.chromiumOrigins.empty() && allowed.firefoxIds.empty()) {
    return std::u16string(u"give at least one --chrome-extension or --firefox-extension id");
  }
  return parsed;
}

std::string BuildChromiumManifest(std::u16string_view programPath, std::span<const std::u16string> origins) {
  return BuildManifest(programPath, u"allowed_origins", origins);
}

std::string BuildFirefoxManifest(std::u16string_view programPath, std::span<const std::u16string> extensionIds) {
  return BuildManifest(programPath, u"allowed_extensions", extensionIds);
}

namespace {

std::u16string ModePrefix() { return u"PelliportHost " + std::u16string(kWriteManifestsOption) + u": "; }

}  // namespace

int WriteBrowserManifests(Platform& platform, std::span<const std::u16string> arguments) {
  const auto parsed = ParseManifestArguments(arguments);
  if (const auto* error = std::get_if<std::u16string>(&parsed)) {
    platform.streams.WriteStderr(ModePrefix() + *error + u"\n");
    return 2;
  }
  const auto& request = std::get<ManifestArguments>(parsed);
  const std::u16string program = platform.streams.ProgramPath();
  if (request.scope == ManifestScope::System && !program.empty()) {
    const ProgramForEveryone check = CheckProgramForEveryone(program);
    for (const auto& warning : check.warnings) platform.streams.WriteStderr(ModePrefix() + u"warning: " + warning + u"\n");
    if (!check.refusal.empty()) {
      platform.streams.WriteStderr(ModePrefix() + u"the browsers of other users could not start \"" + program +
                                   u"\": " + check.refusal + u"\n");
      return 1;
    }
  }
  const auto targets = ManifestTargets(platform, program, request.scope);
  return WriteManifestFiles(platform, targets, request.allowed);
}

int WriteManifestFiles(Platform& platform, std::span<const ManifestTarget> targets, const AllowedExtensions& allowed) {
  const std::u16string program = platform.streams.ProgramPath();
  if (program.empty() || targets.empty()) {
    platform.streams.WriteStderr(ModePrefix() + u"the program's own path is unknown\n");
    return 1;
  }
  const std::string chromium = BuildChromiumManifest(program, allowed.chromiumOrigins);
  const std::string firefox = BuildFirefoxManifest(program, allowed.firefoxIds);
  for (const auto& target : targets) {
    if (!(target.firefox ? allowed.firefox : allowed.chromium)) continue;
    std::optional<std::u16string> failure = MakeFolders(platform, target.folder, target.everyone);
    if (!failure) failure = WriteInPlace(platform, target, target.firefox ? firefox : chromium);
    if (failure) {
      platform.streams.WriteStderr(ModePrefix() + u"cannot write \"" + target.path + u"\": " + *failure + u"\n");
      return 1;
    }
  }
  return 0;
}

}  // namespace pelliport
