// One notification to a local WebSocket server, from InitClient to the end
// of SendMessage, and the same done by a client of python3-websockets
// against the same server in the same run. Both report the median time of
// one notification in microseconds ("median_us").
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "notify/WSClient.h"
#include "platform/platform.h"
#include "platform/testing/Loopback.h"
#include "websocket/testing/ScriptedServer.h"

namespace {

using namespace pelliport;
using websocket::testing::ServerFrame;
using websocket::testing::ServerPeer;

const std::u16string kText = u"PC-0815/jmueller\nDO_XINGIMPORT\n/tmp/orvanta/4F2A.tmp";
const std::string kTextUtf8 = "PC-0815/jmueller\nDO_XINGIMPORT\n/tmp/orvanta/4F2A.tmp";

// A minimal WebSocket server: answers the handshake, reads frames, answers
// a close frame with one of its own and closes when the client has closed.
class LocalServer {
 public:
  LocalServer() {
    std::u16string error;
    listener_ = ListenOnLoopback(0, error);
    thread_ = std::thread([this] { Serve(); });
  }
  ~LocalServer() {
    stop_ = true;
    thread_.join();
  }
  std::uint16_t Port() const { return listener_->Port(); }

 private:
  void Serve() {
    while (!stop_) {
      auto socket = listener_->Accept(std::chrono::milliseconds(50));
      if (!socket) continue;
      ServerPeer peer(std::move(socket));
      peer.Send(ServerPeer::Answer(peer.ReadRequest()));
      while (auto frame = peer.ReadFrame()) {
        if ((frame->Byte0() & 0x0F) == 0x8) {
          peer.Send(ServerFrame(0x88, frame->payload));
          break;
        }
      }
      peer.Close();
    }
  }

  std::unique_ptr<TcpListener> listener_;
  std::atomic<bool> stop_ {false};
  std::thread thread_;
};

double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
  return values[values.size() / 2];
}

void BM_HostNotification(benchmark::State& state) {
  LocalServer server;
  std::vector<double> micros;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    auto client = TWSClient::InitClient(SystemPlatform(), server.Port());
    const bool sent = client->Connected() && client->SendMessage(kText);
    const auto end = std::chrono::steady_clock::now();
    client.reset();
    if (!sent) {
      state.SkipWithError("not sent");
      break;
    }
    const std::chrono::duration<double> took = end - start;
    state.SetIterationTime(took.count());
    micros.push_back(took.count() * 1e6);
  }
  state.counters["median_us"] = Median(micros);
}
BENCHMARK(BM_HostNotification)->UseManualTime()->Unit(benchmark::kMicrosecond)->Iterations(2000);

void BM_PythonWebsocketsNotification(benchmark::State& state) {
  LocalServer server;
  constexpr int kRuns = 500;
  double median = 0;
  for (auto _ : state) {
    const std::string command = "/usr/bin/python3 " PELLIPORT_PYTHON_CLIENT " " + std::to_string(server.Port()) +
                                " " + std::to_string(kRuns) + " '" + kTextUtf8 + "'";
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr || std::fscanf(pipe, "%lf", &median) != 1) {
      if (pipe != nullptr) ::pclose(pipe);
      state.SkipWithError("python3-websockets client did not run");
      break;
    }
    ::pclose(pipe);
    state.SetIterationTime(median / 1e6);
  }
  state.counters["median_us"] = median;
}
BENCHMARK(BM_PythonWebsocketsNotification)->UseManualTime()->Unit(benchmark::kMicrosecond)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
