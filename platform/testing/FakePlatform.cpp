#include "platform/testing/FakePlatform.h"
#include "platform/testing/ScratchFolder.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/error.h"
#include "platform/utf.h"

namespace pelliport::testing {

FakeSeams::FakeSeams(Platform& real, FakeFiles* files)
    : fakeStreams(real.streams),
      fakeText(real.text),
      ownFiles(real.files),
      fakeFiles(files != nullptr ? *files : ownFiles),
      fakeClock(real.time),
      fakeDesktop(fakeFiles),
      fakeIdentity(real.identity),
      fakeSettings(real.settings) {}

FakePlatform::FakePlatform(Platform& real) : FakePlatform(real.network, real) {}

FakePlatform::FakePlatform(Network& sockets, Platform& real)
    : FakeSeams(real, nullptr),
      Platform{fakeStreams, fakeText, fakeFiles, fakeClock, fakeDesktop, fakeIdentity, fakeSettings, sockets} {}

FakePlatform::FakePlatform(FakeFiles& testFiles, Platform& real)
    : FakeSeams(real, &testFiles),
      Platform{fakeStreams, fakeText, fakeFiles, fakeClock, fakeDesktop, fakeIdentity, fakeSettings, real.network} {}

std::u16string FakeFiles::LogFilePath() const {
  const char16_t sep = real_.PathSeparator();
  return localAppData + sep + u"Orvanta" + sep + u"PelliportLog.txt";
}

std::vector<std::string> FakeFiles::LogLines() const {
  return SplitCrLfLines(ReadFileBytes(std::filesystem::path(LogFilePath())));
}

std::size_t FakeStreams::ReadStdin(std::span<std::uint8_t> into) {
  ++stdinReads;
  std::size_t n = std::min(into.size(), stdinBytes.size() - stdinPos_);
  if (stdinReadLimit != 0) n = std::min(n, stdinReadLimit);
  std::memcpy(into.data(), stdinBytes.data() + stdinPos_, n);
  stdinPos_ += n;
  return n;
}

bool FakeStreams::WriteStdout(std::span<const std::uint8_t> bytes) {
  if (stdoutFails) return false;
  stdoutBytes.append(AsChars(bytes));
  return true;
}

std::u16string FakeText::ToUpper(std::u16string_view text) {
  if (upperCaseFailure) throw HostError(upperCaseFailure->first, upperCaseFailure->second);
  return real_.ToUpper(text);
}

const char* FsCallName(FsCall call) {
  switch (call) {
    case FsCall::Create: return "create";
    case FsCall::ExclusiveCreate: return "exclusive create";
    case FsCall::Write: return "write";
    case FsCall::Close: return "close";
    case FsCall::FolderCreate: return "folder create";
    case FsCall::Rename: return "rename";
    case FsCall::Delete: return "delete";
  }
  return "?";
}

const FsFault* FakeFiles::Fault(FsCall call, std::u16string_view path) {
  const bool isLog = !localAppData.empty() && path == LogFilePath();
  const auto inScope = [isLog](const FsFault& fault) {
    switch (fault.scope) {
      case FaultScope::AllButTheLog: return !isLog;
      case FaultScope::Everything: return true;
      case FaultScope::TheLogOnly: return isLog;
    }
    return false;
  };
  bool counted = false;
  const FsFault* hit = nullptr;
  for (const auto& fault : faults) {
    if (fault.call != call || !inScope(fault)) continue;
    if (!counted) {
      ++fsCalls[static_cast<std::size_t>(call)];
      counted = true;
    }
    const int n = FsCalls(call);
    if (n == fault.nth || (fault.fromThenOn && n > fault.nth)) hit = &fault;
  }
  if (!counted && !isLog) ++fsCalls[static_cast<std::size_t>(call)];
  return hit;
}

// A real file whose writes and close can be made to fail.
class FakeFiles::FaultyFile final : public File {
 public:
  FaultyFile(FakeFiles& owner, std::unique_ptr<File> real, std::u16string path)
      : owner_(owner), real_(std::move(real)), path_(std::move(path)) {}
  std::optional<std::uint64_t> Size() override { return real_->Size(); }
  bool ReadAt(std::uint64_t offset, std::span<std::uint8_t> into) override { return real_->ReadAt(offset, into); }
  bool Truncate(std::uint64_t size) override { return real_->Truncate(size); }
  bool Append(std::span<const std::uint8_t> bytes) override {
    injected_.clear();
    if (const FsFault* fault = owner_.Fault(FsCall::Write, path_)) {
      if (fault->shortWrite) real_->Append(bytes.first(bytes.size() / 2));
      injected_ = fault->errorText;
      return false;
    }
    return real_->Append(bytes);
  }
  bool Close() override {
    injected_.clear();
    const bool closed = real_->Close();
    if (const FsFault* fault = owner_.Fault(FsCall::Close, path_)) {
      injected_ = fault->errorText;
      return false;
    }
    return closed;
  }
  std::u16string ErrorText() const override { return injected_.empty() ? real_->ErrorText() : injected_; }

 private:
  FakeFiles& owner_;
  std::unique_ptr<File> real_;
  std::u16string path_;
  std::u16string injected_;
};

bool FakeFiles::DeleteFile(std::u16string_view path) {
  if (Fault(FsCall::Delete, path)) return false;
  return real_.DeleteFile(path);
}

CreateDirectoryOutcome FakeFiles::CreateDirectory(std::u16string_view path) {
  if (const FsFault* fault = Fault(FsCall::FolderCreate, path)) {
    return {CreateDirectoryResult::Failed, fault->errorText};
  }
  return real_.CreateDirectory(path);
}

UniqueFileResult FakeFiles::CreateUniqueFile(std::u16string_view folder) {
  if (const FsFault* fault = Fault(FsCall::ExclusiveCreate, folder)) return {u"", fault->errorText};
  return real_.CreateUniqueFile(folder);
}

OpenResult FakeFiles::OpenFile(std::u16string_view path, OpenMode mode) {
  if (const FsFault* fault = Fault(FsCall::Create, path)) {
    OpenResult failed;
    failed.errorText = fault->errorText;
    return failed;
  }
  OpenResult result = real_.OpenFile(path, mode);
  if (result.file) result.file = std::make_unique<FaultyFile>(*this, std::move(result.file), std::u16string(path));
  return result;
}

RotateResult FakeFiles::RenameFileIfLarger(std::u16string_view path, std::uint64_t limit,
                                              std::u16string_view newPath) {
  if (Fault(FsCall::Rename, path)) return RotateResult::Failed;
  return real_.RenameFileIfLarger(path, limit, newPath);
}

FileChange FakeFiles::ReplaceFile(std::u16string_view from, std::u16string_view to) {
  if (const FsFault* fault = Fault(FsCall::Rename, to)) return {false, fault->errorText};
  return real_.ReplaceFile(from, to);
}

void FakeDesktop::ShowErrorBox(std::u16string_view caption, std::u16string_view text) {
  boxes.push_back({std::u16string(caption), std::u16string(text), files_.LogLines().size()});
}

}  // namespace pelliport::testing
