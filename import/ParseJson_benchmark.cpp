// Speed of the key extractor over a capture-shaped request of about 20 MB,
// beside two widely used JSON readers on the same request: building a
// nlohmann::json document, and RapidJSON's SAX reader with a handler that
// does nothing. Every figure counts the request's UTF-8 bytes per second.
//
//   cmake -S . -B build/bench -DCMAKE_BUILD_TYPE=Release -DPELLIPORT_BENCHMARKS=ON
//   cmake --build build/bench --target json_benchmark && build/bench/import/json_benchmark
#include <benchmark/benchmark.h>
#include <nlohmann/json.hpp>
#include <rapidjson/encodings.h>
#include <rapidjson/reader.h>

#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "import/ParseJson.h"
#include "platform/platform.h"
#include "platform/utf.h"

namespace pelliport {
namespace {

// JSON text of a string value the way a browser writes it: quotation marks,
// backslashes and control characters escaped, everything else as it is.
void AppendJsonString(std::string& out, const std::string& value) {
  out += '"';
  for (const char c : value) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          static const char* const kHex = "0123456789abcdef";
          out += "\\u00";
          out += kHex[(c >> 4) & 0xF];
          out += kHex[c & 0xF];
        } else {
          out += c;
        }
    }
  }
  out += '"';
}

std::string ProfilePage(std::size_t size, std::mt19937& random) {
  static const char* const kPieces[] = {
      "<div class=\"profile-section\" data-id=\"",
      "\">\n\t<span class=\"title\">Senior Software Engineer</span>\n",
      "<a href=\"https://www.example.com/in/jane-doe/\">Jane Doe</a>",
      "<p>Erfahrung in der Entwicklung verteilter Systeme – München, Köln, Zürich</p>\n",
      "<script type=\"application/ld+json\">{\"@context\":\"https://schema.org\"}</script>\r\n",
      "<li>C++ · Rust · Go · Kubernetes 🚀</li>",
      "<img src=\"data:image/svg+xml;utf8,<svg xmlns='http://www.w3.org/2000/svg'/>\" alt=\"\\\">",
      "\x1b[0m",
  };
  std::string page = "<!DOCTYPE html>\n<html lang=\"de\"><head><meta charset=\"utf-8\"></head><body>\n";
  while (page.size() < size) {
    page += kPieces[random() % std::size(kPieces)];
    page += std::to_string(random() % 100000);
  }
  return page + "</body></html>";
}

std::string Base64Photo(std::size_t size, std::mt19937& random) {
  static const char* const kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string photo = "data:image/jpeg;base64,";
  while (photo.size() < size) photo += kAlphabet[random() % 64];
  return photo + "==";
}

struct Request {
  std::string utf8;
  std::u16string text;
};

const Request& CaptureRequest() {
  static const Request request = [] {
    std::mt19937 random(4711);
    Request r;
    r.utf8 = "{\"html\":";
    AppendJsonString(r.utf8, ProfilePage(16 << 20, random));
    r.utf8 += ",\"b64Pic\":";
    AppendJsonString(r.utf8, Base64Photo(4 << 20, random));
    r.utf8 += ",\"profilUrl\":\"https:\\/\\/www.example.com\\/in\\/jane-doe\\/\","
              "\"srcImg\":\"https://media.example.com/photo/jane.jpg\","
              "\"protocol\":\"capture 2.4.1; tabs=3; elapsed=812ms\"}";
    r.text = DecodeUtf8Lenient(r.utf8);
    return r;
  }();
  return request;
}

void CountBytes(benchmark::State& state) {
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(CaptureRequest().utf8.size()));
  state.counters["request_MB"] = static_cast<double>(CaptureRequest().utf8.size()) / 1e6;
}

void DoParseJsonOnCapture(benchmark::State& state) {
  const Request& request = CaptureRequest();
  const std::vector<std::u16string> keys = {u"html", u"b64Pic", u"profilUrl", u"srcImg", u"protocol"};
  Platform& platform = SystemPlatform();
  const UpperCaseFunction upper = [&platform](std::u16string_view text) { return platform.text.ToUpper(text); };
  for (auto _ : state) {
    TValues values;
    if (!DoParseJson(request.text, keys, values, upper) || values.Count() != 1) {
      state.SkipWithError("the request was not read");
      break;
    }
    benchmark::DoNotOptimize(values);
  }
  CountBytes(state);
}
BENCHMARK(DoParseJsonOnCapture)->Unit(benchmark::kMillisecond);

void NlohmannDocument(benchmark::State& state) {
  const Request& request = CaptureRequest();
  for (auto _ : state) {
    nlohmann::json document = nlohmann::json::parse(request.utf8);
    benchmark::DoNotOptimize(document);
  }
  CountBytes(state);
}
BENCHMARK(NlohmannDocument)->Unit(benchmark::kMillisecond);

template <typename Encoding, typename Text>
void RapidJsonSax(benchmark::State& state, const Text& text) {
  for (auto _ : state) {
    rapidjson::GenericReader<Encoding, Encoding> reader;
    rapidjson::GenericStringStream<Encoding> stream(text.c_str());
    rapidjson::BaseReaderHandler<Encoding> nothing;
    const rapidjson::ParseResult result = reader.Parse(stream, nothing);
    if (result.IsError()) {
      state.SkipWithError("RapidJSON failed");
      break;
    }
    benchmark::DoNotOptimize(result);
  }
  CountBytes(state);
}

// RapidJSON on the request as it arrives (UTF-8), and on the same UTF-16
// text that the extractor reads.
void RapidJsonSaxUtf8(benchmark::State& state) { RapidJsonSax<rapidjson::UTF8<char>>(state, CaptureRequest().utf8); }
BENCHMARK(RapidJsonSaxUtf8)->Unit(benchmark::kMillisecond);

void RapidJsonSaxUtf16(benchmark::State& state) {
  RapidJsonSax<rapidjson::UTF16<char16_t>>(state, CaptureRequest().text);
}
BENCHMARK(RapidJsonSaxUtf16)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace pelliport

BENCHMARK_MAIN();
