// Errors that the browser add-in reports, handled from the request text to
// the box and the log line.
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "import/UOrvantaImport.h"
#include "import/testing/RequestText.h"
#include "log/ULogWriter.h"
#include "platform/testing/FakePlatform.h"
#include "platform/testing/ScratchFolder.h"
#include "platform/utf.h"

namespace pelliport {
namespace {

using testing::FakePlatform;
using testing::ScratchFolder;

class AddInErrorReportTest : public ::testing::Test {
 protected:
  AddInErrorReportTest() {
    std::filesystem::create_directories(scratch_.Path() / "appdata" / "Orvanta");
    fake_.localAppData = (scratch_.Path() / "appdata").u16string();
    fake_.temp = scratch_.Make("temp").u16string();
    fake_.codePage = 65001;  // log lines in UTF-8
  }

  void Run(const std::string& request) {
    TLogFile log(fake_);
    TOrvantaImport engine(fake_);
    engine.StartImport(testing::RequestText(fake_, request), log);
  }

  // The texts of the log lines, without their time stamps.
  std::vector<std::string> LogTexts() const {
    std::vector<std::string> texts;
    for (const std::string& line : fake_.LogLines()) {
      const std::size_t start = line.find("]: ");
      texts.push_back(start == std::string::npos ? line : line.substr(start + 3));
    }
    return texts;
  }

  ScratchFolder scratch_;
  FakePlatform fake_;
};

struct ReportCase {
  const char* name;
  std::string request;
  std::optional<std::string> box;  // nothing: no box and no line of the handler
  std::string line;                // "{request}" stands for the whole request text
};

// Shows the case's text when a case fails.
void PrintTo(const ReportCase& c, std::ostream* os) { *os << c.name; }

const std::string kTitle = "OrvantaBrowserAddInErrorTitle";
const std::string kDescription = "OrvantaBrowserAddInErrorDescription";

std::string Report(const std::string& title, const std::string& description) {
  return "{\"" + kTitle + "\":" + title + ",\"" + kDescription + "\":" + description + "}";
}

const std::vector<ReportCase>& ReportCases() {
  static const std::vector<ReportCase> cases = {
      {"OneRecord", Report(R"("Keine Verbindung \"X\"")", R"("Zeitüberschreitung beim Laden")"),
       "Keine Verbindung \"X\"", "[StartImport] AddIn reports errorKeine Verbindung \"X\": Zeitüberschreitung beim Laden"},
      {"DescriptionFirst", "{\"" + kDescription + "\":\"D\",\"" + kTitle + "\":\"T\"}", "T",
       "[StartImport] AddIn reports errorT: D"},
      {"EmptyTitle", Report(R"("")", R"("nur Beschreibung")"), "", "[StartImport] AddIn reports errornur Beschreibung"},
      {"MissingDescription", "{\"" + kTitle + "\":\"T\"}", "T", "[StartImport] AddIn reports errorT: "},
      {"CutAtNul", Report(R"("T\u0000hidden")", R"("D\u0000hidden")"), "T", "[StartImport] AddIn reports errorT: D"},
      {"OtherValueKinds", Report("42", "true"), "42", "[StartImport] AddIn reports error42: True"},
      {"KeysInAnyCase", R"({"orvantabrowseraddinerrortitle":"t","ORVANTABROWSERADDINERRORDESCRIPTION":"d"})", "t",
       "[StartImport] AddIn reports errort: d"},
      {"Nested", "{\"report\":" + Report(R"("T")", R"("D")") + "}", "T", "[StartImport] AddIn reports errorT: D"},
      {"TwoRecords", "[{\"" + kTitle + "\":\"A\"},{\"" + kTitle + "\":\"B\"}]", "Fehler beim Parsen",
       "[StartImport] AddIn reports error{request}: "},
      {"MarkerOnlyInAValue", R"({"note":"OrvantaBrowserAddInErrorTitle"})", std::nullopt, ""},
      {"Malformed", Report(R"("T")", R"("D",)"), std::nullopt, ""},
      {"RecordWithoutSlotsOnly", "{\"x[-1]\":{\"" + kTitle + "\":\"T\"}}", std::nullopt, ""},
  };
  return cases;
}

class AddInErrorReportCase : public AddInErrorReportTest, public ::testing::WithParamInterface<ReportCase> {};

TEST_P(AddInErrorReportCase, ShowsTheBoxThenLogs) {
  const ReportCase& c = GetParam();
  Run(c.request);
  const std::vector<std::string> texts = LogTexts();

  std::size_t after = texts.size();
  for (std::size_t i = 0; i < texts.size(); ++i) {
    if (texts[i].rfind("[StartImport] UTF8ContentLength=", 0) == 0) after = i + 1;
  }
  ASSERT_LT(after, texts.size()) << "no line after the decoded length";

  if (!c.box) {
    EXPECT_TRUE(fake_.boxes.empty());
    EXPECT_EQ(texts[after], "[StartImport]|_Done!");
    return;
  }
  ASSERT_EQ(fake_.boxes.size(), 1u);
  EXPECT_EQ(fake_.boxes[0].caption, kErrorBoxCaption);
  EXPECT_EQ(EncodeUtf8(fake_.boxes[0].text), *c.box);
  // The box comes first; the handler's one line follows once it is closed.
  EXPECT_EQ(fake_.boxes[0].logLinesBefore, after);
  std::string line = c.line;
  if (const std::size_t at = line.find("{request}"); at != std::string::npos) line.replace(at, 9, c.request);
  ASSERT_LT(after + 1, texts.size());
  EXPECT_EQ(texts[after], line);
  EXPECT_EQ(texts[after + 1], "[StartImport]|_Done!");
}

INSTANTIATE_TEST_SUITE_P(All, AddInErrorReportCase, ::testing::ValuesIn(ReportCases()),
                         [](const ::testing::TestParamInfo<ReportCase>& param) { return std::string(param.param.name); });

}  // namespace
}  // namespace pelliport
