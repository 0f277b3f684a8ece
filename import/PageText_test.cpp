#include "import/PageText.h"

#include <gtest/gtest.h>

#include "import/UOrvantaImport.h"
#include "import/testing/UnescapePasses.h"
#include "platform/utf.h"

namespace pelliport {
namespace {

TEST(UnescapeCapturedHtml, EightPassesInOrder) {
  struct Case {
    std::u16string in;
    std::u16string out;
  };
  const Case cases[] = {
      {uR"(<a href=\"x\">)", u"<a href=\"x\">"},
      {uR"(<\/p>)", u"</p>"},
      {uR"(a\nb\rc\td\be\ff)", u"a\nb\rc\td\be\ff"},
      {uR"(\\n)", u"\\\n"},       // the "n" pass runs before the backslash pass
      {uR"(\\\\)", uR"(\\)"},     // each pair becomes one, no rescan
      {uR"(\u00e4 \x)", uR"(\u00e4 \x)"},  // nothing else is touched
      {uR"(end\)", uR"(end\)"},
      {u"", u""},
  };
  for (const auto& c : cases) {
    std::u16string text = c.in;
    UnescapeCapturedHtml(text);
    EXPECT_EQ(text, c.out) << EncodeUtf8(c.in);
  }
}

TEST(UnescapeCapturedHtml, OneScanDoesWhatTheEightPassesDo) {
  // Every text of up to five characters from an alphabet of backslashes,
  // escape letters and others.
  const std::u16string alphabet = u"\\\"/bnrtxu";
  std::vector<std::u16string> texts = {u""};
  for (int length = 1; length <= 5; ++length) {
    std::vector<std::u16string> longer;
    for (const auto& text : texts) {
      if (static_cast<int>(text.size()) != length - 1) continue;
      for (const char16_t c : alphabet) longer.push_back(text + c);
    }
    texts.insert(texts.end(), longer.begin(), longer.end());
  }
  for (const auto& text : texts) {
    std::u16string scanned = text;
    UnescapeCapturedHtml(scanned);
    ASSERT_EQ(scanned, testing::UnescapeByPasses(text)) << EncodeUtf8(text);
  }
}

TEST(FindSite, RowsInOrderCaseSensitive) {
  struct Case {
    const char16_t* url;
    std::u16string_view operation;  // empty: no site
  };
  const Case cases[] = {
      {u"https://www.xing.com/xtm/profiles/123", u"XTMImport"},
      {u"https://www.xing.com/profile/Max_Muster", u"XingImport"},
      {u"https://www.linkedin.com/in/max", u"LinkedInImport"},
      {u"https://www.experteer.com/recruiting/candidates/42", u"ExperteerImport"},
      {u"https://www.experteer.de/recruiting/candidates/42", u"ExperteerImport"},
      {u"https://www.experteer.de/profile/42", u""},
      {u"https://www.freelance.de/Freiberufler/1", u"FreelanceImport"},
      {u"https://WWW.XING.COM/profile/x", u""},
      {u"", u""},
  };
  for (const auto& c : cases) {
    const TOrvantaImport::SiteImport* site = FindSite(TOrvantaImport::SiteImports(), c.url);
    EXPECT_EQ(site == nullptr ? std::u16string_view() : site->name, c.operation) << EncodeUtf8(c.url);
  }
}

TEST(ProfileList, EntriesAndResultText) {
  const ProfileFields fields{u"XING", u"https://www.xing.com/profile/A", u"/t/1/2.tmp", u"", u"https://img/x.jpg"};
  EXPECT_EQ(ProfileListEntries(fields),
            (std::vector<std::u16string>{u"TYPE=XING", u"URL=https://www.xing.com/profile/A",
                                         u"HTML=/t/1/2.tmp", u"FOTO=", u"FOTOURL=https://img/x.jpg"}));
  EXPECT_EQ(ProfileResultText(u"[XingImport] Xing-Ergebnis:", fields),
            u"[XingImport] Xing-Ergebnis:\n\rTYPE    = XING\n\rURL     = https://www.xing.com/profile/A"
            u"\n\rHTML    = /t/1/2.tmp\n\rFOTO    = \n\rFOTOURL = https://img/x.jpg");
  EXPECT_EQ(ExperteerListEntries(u"u", u"/api/candidates/42"),
            (std::vector<std::u16string>{u"TYPE=EXPERTEER", u"URL=u", u"APIURL=/api/candidates/42"}));
  EXPECT_EQ(ExperteerResultText(u"u", u"a"),
            u"[ExperteerImport] Experteer-Ergebnis:\n\rTYPE   = EXPERTEER\n\rURL    = u\n\rAPIURL = a");
}

TEST(Experteer, AddressFromTheMetaTag) {
  struct Case {
    const char16_t* html;
    const char16_t* meta;
    const char16_t* address;
  };
  const Case cases[] = {
      {u"<html><head><meta name=\"api_recruiting_candidate\" content=\"/api/candidates/42\"><title>",
       u"<meta name=\"api_recruiting_candidate\" content=\"/api/candidates/42\">", u"/api/candidates/42"},
      {u"<meta name=\"api_recruiting_candidate\" content=\"/api/candidates/42\" />",
       u"<meta name=\"api_recruiting_candidate\" content=\"/api/candidates/42\" />", u"/api/candidates/42\" "},
      {u"<p><meta name=\"api_recruiting_candidate\" CONTENT=\"/a\">", u"<meta name=\"api_recruiting_candidate\" CONTENT=\"/a\">", u"/a"},
      {u"<html><head><title>x</title>", u"<html>", u""},  // no tag: the first tag is searched
      {u"no tag at all", u"", u""},
  };
  for (const auto& c : cases) {
    const std::u16string meta = ExperteerMetaTag(c.html);
    EXPECT_EQ(meta, c.meta) << EncodeUtf8(c.html);
    EXPECT_EQ(GetAttributeValue(meta, u"content"), c.address) << EncodeUtf8(c.html);
  }
  // "content" before "name": everything from the value to two characters before the tag's end.
  EXPECT_EQ(GetAttributeValue(u"<meta content=\"/x\" name=\"api_recruiting_candidate\">", u"content"),
            u"/x\" name=\"api_recruiting_candidate");
  EXPECT_EQ(GetAttributeValue(u"<a content>", u"content"), u"");
}

TEST(SplitDomainLines, LineBreaksOfAllKinds) {
  struct Case {
    std::u16string text;
    std::vector<std::u16string> lines;
  };
  const Case cases[] = {
      {u"example.com", {u"example.com"}},
      {u"a\r\nb", {u"a", u"b"}},
      {u"a\n\rb", {u"a", u"", u"b"}},
      {u"a\rb\nc", {u"a", u"b", u"c"}},
      {u"\r\n", {u""}},
      {u"a\n", {u"a"}},
      {u"", {}},
      {std::u16string(u"a\0b\nc", 5), {u"a"}},
  };
  for (const auto& c : cases) EXPECT_EQ(SplitDomainLines(c.text), c.lines) << EncodeUtf8(c.text);
}

TEST(IsBlank, ControlCharactersAndBlanksOnly) {
  EXPECT_TRUE(IsBlank(u""));
  EXPECT_TRUE(IsBlank(u" \r\n\t\x01"));
  EXPECT_FALSE(IsBlank(u"  x "));
  EXPECT_FALSE(IsBlank(u"\u00a0"));
}

}  // namespace
}  // namespace pelliport
