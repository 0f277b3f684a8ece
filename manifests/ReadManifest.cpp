// Reading a manifest back as the browsers read it, for `--check`.
#include "import/JsonTokenizer.h"
#include "manifests/BrowserManifests.h"
#include "platform/utf.h"

namespace pelliport {
namespace {

// Reads a manifest's JSON tokens one by one into a HostManifest: the
// top-level texts "name", "type" and "path", and the strings of the list of
// allowed extensions.
class ManifestReader {
 public:
  ManifestReader(std::u16string_view text, bool firefox)
      : tokenizer_(text), listName_(firefox ? u"allowed_extensions" : u"allowed_origins") {}

  HostManifest Read() {
    for (;;) {
      const JsonToken token = tokenizer_.Next();
      if (!Take(token)) return std::move(manifest_);
    }
  }

 private:
  // One token; false when the reading ends with it.
  bool Take(const JsonToken& token) {
    switch (token.kind) {
      case JsonTokenKind::Failure:
        return Invalid(U16(tokenizer_.FailureMessage()) + u" at character " +
                       Decimal(static_cast<long long>(tokenizer_.FailureOffset()) + 1));
      case JsonTokenKind::Comment:
        return Invalid(u"a comment, which JSON does not allow");
      case JsonTokenKind::End:
        if (depth_ == 0 && manifest_.valid) return false;
        return Invalid(depth_ == 0 ? u"empty" : u"the text ends inside the object");
      case JsonTokenKind::StartObject:
      case JsonTokenKind::StartArray:
        return Open(token.kind == JsonTokenKind::StartArray);
      case JsonTokenKind::EndObject:
      case JsonTokenKind::EndArray:
        Close();
        return true;
      case JsonTokenKind::PropertyName:
        if (depth_ == 1) member_ = tokenizer_.DecodedText();
        return true;
      case JsonTokenKind::String:
        return String();
      default:  // numbers, true, false, null
        return Scalar();
    }
  }

  bool Invalid(std::u16string problem) {
    manifest_.valid = false;
    manifest_.problem = std::move(problem);
    return false;
  }

  bool NotAnObject() {
    manifest_.problem = u"not a JSON object";
    return false;
  }

  // A top-level value that is no string: a text member of that name no
  // longer holds (a later member of the same name replaces an earlier one).
  void ForgetTextMember() {
    if (member_ == u"name") manifest_.name.reset();
    if (member_ == u"type") manifest_.type.reset();
    if (member_ == u"path") manifest_.path.reset();
  }

  bool Open(bool array) {
    if (depth_ == 0 && array) return NotAnObject();
    if (depth_ == 1) {
      ForgetTextMember();
      if (member_ == listName_) {
        inList_ = manifest_.hasList = array;
        manifest_.allowed.clear();
        manifest_.listHoldsOther = false;
      }
    } else if (depth_ == 2 && inList_) {
      manifest_.listHoldsOther = true;
    }
    ++depth_;
    return true;
  }

  void Close() {
    --depth_;
    if (depth_ == 1) inList_ = false;
    if (depth_ == 0) manifest_.valid = true;  // text after it is a failure
  }

  bool String() {
    if (depth_ == 0) return NotAnObject();
    if (depth_ == 1) {
      if (member_ == u"name") manifest_.name = tokenizer_.DecodedText();
      if (member_ == u"type") manifest_.type = tokenizer_.DecodedText();
      if (member_ == u"path") manifest_.path = tokenizer_.DecodedText();
      if (member_ == listName_) manifest_.hasList = false;
    } else if (depth_ == 2 && inList_) {
      manifest_.allowed.push_back(tokenizer_.DecodedText());
    }
    return true;
  }

  bool Scalar() {
    if (depth_ == 0) return NotAnObject();
    if (depth_ == 1) {
      ForgetTextMember();
      if (member_ == listName_) manifest_.hasList = false;
    } else if (depth_ == 2 && inList_) {
      manifest_.listHoldsOther = true;
    }
    return true;
  }

  JsonTokenizer tokenizer_;
  std::u16string_view listName_;
  HostManifest manifest_;
  std::size_t depth_ = 0;
  std::u16string member_;  // the top-level member whose value comes next
  bool inList_ = false;
};

}  // namespace

HostManifest ParseHostManifest(std::string_view bytes, bool firefox) {
  // Both browsers read UTF-8 and skip its signature.
  if (bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
  const auto text = DecodeUtf8Strict(bytes);
  if (!text) {
    HostManifest manifest;
    manifest.problem = u"not UTF-8";
    return manifest;
  }
  return ManifestReader(*text, firefox).Read();
}

}  // namespace pelliport
