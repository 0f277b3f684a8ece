#include "import/PageText.h"

#include <array>
#include <string>
#include <utility>

#include "platform/utf16_scan.h"

namespace pelliport {
namespace {

std::u16string Upper(std::u16string_view text) {
  std::u16string upper(text);
  for (auto& c : upper) {
    if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - 32);
  }
  return upper;
}

}  // namespace

// The eight passes (\" \/ \b \f \n \r \t, then \\) in one scan. A
// replacement never makes a new match for a later pass, and within a run of
// backslashes the first seven passes can only take the run's last backslash
// (with the letter after it); the backslash pass then halves what is left
// of the run, an odd one out staying.
void UnescapeCapturedHtml(std::u16string& html) {
  auto escaped = [](char16_t letter) -> char16_t {
    switch (letter) {
      case u'"': return u'"';
      case u'/': return u'/';
      case u'b': return u'\b';
      case u'f': return u'\f';
      case u'n': return u'\n';
      case u'r': return u'\r';
      case u't': return u'\t';
      default: return 0;
    }
  };
  const std::size_t n = html.size();
  char16_t* const data = html.data();
  std::size_t read = scan::Find(data, 0, n, u'\\');
  if (read == n) return;
  std::size_t write = read;
  while (read < n) {
    // A run of backslashes starts at `read`.
    std::size_t run = 0;
    while (read + run < n && data[read + run] == u'\\') ++run;
    read += run;
    const char16_t replacement = read < n ? escaped(data[read]) : 0;
    if (replacement != 0) --run;  // its last backslash goes with the letter
    for (std::size_t k = 0; k < run / 2 + run % 2; ++k) data[write++] = u'\\';
    if (replacement != 0) {
      data[write++] = replacement;
      ++read;
    }
    const std::size_t next = scan::Find(data, read, n, u'\\');
    if (write != read) std::char_traits<char16_t>::move(data + write, data + read, next - read);
    write += next - read;
    read = next;
  }
  html.resize(write);
}

bool IsBlank(std::u16string_view text) {
  for (const char16_t c : text) {
    if (c > 32) return false;
  }
  return true;
}

std::u16string EncodeLineBreaks(std::u16string_view value) {
  std::u16string out;
  out.reserve(value.size());
  for (const char16_t c : value) {
    if (c == u'\r') {
      out += u"%0D";
    } else if (c == u'\n') {
      out += u"%0A";
    } else {
      out += c;
    }
  }
  return out;
}

namespace {

// One KEY=VALUE entry: the value stays on the entry's line.
std::u16string ListEntry(std::u16string_view key, std::u16string_view value) {
  std::u16string line(key);
  line += EncodeLineBreaks(value);
  return line;
}

}  // namespace

std::vector<std::u16string> ProfileListEntries(const ProfileFields& f) {
  return {ListEntry(u"TYPE=", f.type), ListEntry(u"URL=", f.url), ListEntry(u"HTML=", f.htmlPath),
          ListEntry(u"FOTO=", f.fotoPath), ListEntry(u"FOTOURL=", f.fotoUrl)};
}

std::u16string ProfileResultText(std::u16string_view head, const ProfileFields& f) {
  std::u16string text(head);
  const std::pair<std::u16string_view, std::u16string_view> lines[] = {
      {u"TYPE    = ", f.type},     {u"URL     = ", f.url},     {u"HTML    = ", f.htmlPath},
      {u"FOTO    = ", f.fotoPath}, {u"FOTOURL = ", f.fotoUrl},
  };
  for (const auto& [label, value] : lines) {
    text += u"\n\r";
    text += label;
    text += value;
  }
  return text;
}

std::vector<std::u16string> ExperteerListEntries(std::u16string_view url, std::u16string_view apiUrl) {
  return {u"TYPE=EXPERTEER", ListEntry(u"URL=", url), ListEntry(u"APIURL=", apiUrl)};
}

std::u16string ExperteerResultText(std::u16string_view url, std::u16string_view apiUrl) {
  std::u16string text = u"[ExperteerImport] Experteer-Ergebnis:\n\rTYPE   = EXPERTEER\n\rURL    = ";
  text += url;
  text += u"\n\rAPIURL = ";
  text += apiUrl;
  return text;
}

std::u16string ExperteerMetaTag(std::u16string_view html) {
  constexpr std::u16string_view kMeta = u"<meta name=\"api_recruiting_candidate\"";
  const std::size_t start = html.find(kMeta);
  std::u16string_view copy = start == std::u16string_view::npos ? html : html.substr(start);
  const std::size_t close = copy.find(u'>');
  if (close == std::u16string_view::npos) return {};
  return std::u16string(copy.substr(0, close + 1));
}

std::u16string GetAttributeValue(std::u16string_view tag, std::u16string_view name) {
  const std::size_t at = Upper(tag).find(Upper(name));
  if (at == std::u16string::npos) return {};
  // 1-based: from p + length(A) + 2 through length(T) - 2.
  const std::size_t first = at + name.size() + 2;  // 0-based start
  if (tag.size() < 2 || first + 2 > tag.size()) return {};
  return std::u16string(tag.substr(first, tag.size() - 2 - first));
}

std::vector<std::u16string> SplitDomainLines(std::u16string_view text) {
  const std::size_t nul = text.find(u'\0');
  if (nul != std::u16string_view::npos) text = text.substr(0, nul);
  std::vector<std::u16string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = start;
    while (end < text.size() && text[end] != u'\r' && text[end] != u'\n') ++end;
    lines.emplace_back(text.substr(start, end - start));
    if (end < text.size() && text[end] == u'\r' && end + 1 < text.size() && text[end + 1] == u'\n') {
      start = end + 2;
    } else {
      start = end + 1;
    }
  }
  return lines;
}

}  // namespace pelliport
