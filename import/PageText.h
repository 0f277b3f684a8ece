// Text work of the page capture: the second unescaping of the captured HTML,
// the source site of a profile URL, the list entries and result texts per
// site, and the Experteer data-interface address.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace pelliport {

// Undoes the add-in's second layer of escaping by eight replace-all passes,
// in this order: \" \/ \b \f \n \r \t and finally \\ (so "\\n" ends as a
// backslash and a line feed). Works in place.
void UnescapeCapturedHtml(std::u16string& html);

// True when the text holds only characters 0 to 32 (or nothing).
bool IsBlank(std::u16string_view text);

// The first row of a site table whose `pattern` occurs in the URL
// (case-sensitive); null when there is none.
template <typename Row>
const Row* FindSite(std::span<const Row> table, std::u16string_view url) {
  for (const Row& row : table) {
    if (url.find(row.pattern) != std::u16string_view::npos) return &row;
  }
  return nullptr;
}

struct ProfileFields {
  std::u16string_view type;  // "XTM", "XING", "LINKEDIN", "FREELANCEDE"
  std::u16string_view url;
  std::u16string_view htmlPath;
  std::u16string_view fotoPath;
  std::u16string_view fotoUrl;
};

// A value that the desktop application reads as one line (a URL or a path):
// CR written as "%0D" and LF as "%0A", their percent-encoding, so that a page
// cannot add lines of its own.
std::u16string EncodeLineBreaks(std::u16string_view value);

// The KEY=VALUE entries of a profile's list file, each value on its line.
std::vector<std::u16string> ProfileListEntries(const ProfileFields& fields);
// The result text logged before the list is written, with its head line.
std::u16string ProfileResultText(std::u16string_view head, const ProfileFields& fields);

// The Experteer list's entries, each value on its line.
std::vector<std::u16string> ExperteerListEntries(std::u16string_view url, std::u16string_view apiUrl);
std::u16string ExperteerResultText(std::u16string_view url, std::u16string_view apiUrl);

// The page's api_recruiting_candidate meta tag, from its start up to and
// including the first ">"; without the tag, the page's own first tag.
std::u16string ExperteerMetaTag(std::u16string_view html);

// The value of an attribute inside one tag's text, found without parsing:
// after the first occurrence of the name (ASCII letters compared without
// case) skip the name and two characters, and drop the tag's last two.
std::u16string GetAttributeValue(std::u16string_view tag, std::u16string_view name);

// The lines of a domain text: split at CR LF, a lone CR and a lone LF; the
// text ends at its first NUL; a break at the very end adds no empty line.
std::vector<std::u16string> SplitDomainLines(std::u16string_view text);

}  // namespace pelliport
