// Discovery runs against a fake DNS server: results, order of lookups, the retry bound, errors,
// and runs whose caller went away. The test's main thread pumps the main-thread queue itself.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "platform/MainThread.h"
#include "proxy/DNSThread.h"
#include "proxy/ProxyServer.h"
#include "proxy/ProxySettings.h"
#include "support/DnsRuns.h"
#include "support/FakeDnsServer.h"

namespace vp {
namespace {

namespace dns = test::dns;

// Short waits, so a run that retries or waits for silence ends within the test; the wait for a
// reply still leaves a delayed reply (50 ms) ample room on a loaded machine or under Wine.
class DNSThreadTest : public testing::Test {
 protected:
  void SetUp() override { test::UseShortDnsTiming(1000); }
  void TearDown() override {
    EXPECT_TRUE(test::PumpMainThreadUntil(test::NoDnsRunsLeft));
    test::RestoreDnsTiming();
  }

  static bool PumpUntil(const std::function<bool()>& done) {
    return test::PumpMainThreadUntil(done);
  }
  static bool PumpUntilRunsEnd() { return test::PumpMainThreadUntil(test::NoDnsRunsLeft); }
};

struct Outcome {
  int calls = 0;
  std::string test;
  std::string production;
  bool on_main_thread = false;
};

TDNSDoneEvent Recorder(std::shared_ptr<Outcome> outcome) {
  return [outcome](TDNSThread& sender) {
    ++outcome->calls;
    outcome->test = sender.TestResult();
    outcome->production = sender.ProductionResult();
    outcome->on_main_thread = platform::IsMainThread();
  };
}

const auto kHosts = dns::AnswerByName({{"test.example", "10.0.0.1"}, {"prod.example", "10.0.0.2"}});

TEST_F(DNSThreadTest, AsksTestHostThenProductionHostAndReportsOnTheMainThread) {
  test::FakeDnsServer server({kHosts});
  auto outcome = std::make_shared<Outcome>();
  TDNSThread::Start("https://test.example:8449/FiskalizacijaServiceTest",
                    "https://prod.example/FiskalizacijaService", server.address(),
                    Recorder(outcome), std::make_shared<TDNSCallerLink>());
  ASSERT_TRUE(PumpUntilRunsEnd());
  EXPECT_EQ(outcome->calls, 1);
  EXPECT_TRUE(outcome->on_main_thread);
  EXPECT_EQ(outcome->test, "10.0.0.1:8449");
  EXPECT_EQ(outcome->production, "10.0.0.2:");  // no port in the URL: a lone colon
  ASSERT_EQ(server.QueryCount(), 2u);
  EXPECT_EQ(dns::QuestionName(server.Queries()[0]), "test.example");
  EXPECT_EQ(dns::QuestionName(server.Queries()[1]), "prod.example");
}

TEST_F(DNSThreadTest, AsksAgainAfterSilenceAndAfterAReplyWithoutAnARecord) {
  test::FakeDnsServer server({dns::Silence(), dns::AnswerCnameOnly(), kHosts});
  auto outcome = std::make_shared<Outcome>();
  TDNSThread::Start("https://test.example:8449/", "https://test.example:8449/", server.address(),
                    Recorder(outcome), nullptr);
  ASSERT_TRUE(PumpUntilRunsEnd());
  EXPECT_EQ(outcome->calls, 1);
  EXPECT_EQ(outcome->test, "10.0.0.1:8449");
  EXPECT_EQ(outcome->production, "10.0.0.1:8449");
  EXPECT_EQ(server.QueryCount(), 4u);  // silence, CNAME only, then one lookup per URL
}

TEST_F(DNSThreadTest, ADnsErrorEndsTheRunWithoutCallingBack) {
  test::FakeDnsServer server({dns::AnswerRcode(3)});
  auto outcome = std::make_shared<Outcome>();
  TDNSThread::Start("https://missing.example/", "https://prod.example/", server.address(),
                    Recorder(outcome), nullptr);
  ASSERT_TRUE(PumpUntilRunsEnd());
  EXPECT_EQ(outcome->calls, 0);
  EXPECT_EQ(server.QueryCount(), 1u);
}

TEST_F(DNSThreadTest, AURLWithoutAHostEndsTheRunWithoutAsking) {
  test::FakeDnsServer server({kHosts});
  auto outcome = std::make_shared<Outcome>();
  TDNSThread::Start("", "https://prod.example/", server.address(), Recorder(outcome), nullptr);
  ASSERT_TRUE(PumpUntilRunsEnd());
  EXPECT_EQ(outcome->calls, 0);
  EXPECT_EQ(server.QueryCount(), 0u);
}

TEST_F(DNSThreadTest, GivesUpAtTheTimeLimitWithoutCallingBack) {
  TDNSTiming timing;
  timing.query_wait_ms = 100;
  timing.retry_pause_ms = 20;
  timing.run_limit_ms = 400;
  TDNSThread::SetTimingForTesting(timing);
  test::FakeDnsServer server({dns::AnswerCnameOnly()});
  auto outcome = std::make_shared<Outcome>();
  TDNSThread::Start("https://test.example/", "https://prod.example/", server.address(),
                    Recorder(outcome), nullptr);
  ASSERT_TRUE(PumpUntilRunsEnd());
  EXPECT_EQ(outcome->calls, 0);
  EXPECT_GE(server.QueryCount(), 2u);
  for (const std::string& query : server.Queries())
    EXPECT_EQ(dns::QuestionName(query), "test.example");
}

TEST_F(DNSThreadTest, AnEmptyOnDoneCompletesTheRun) {
  test::FakeDnsServer server({kHosts});
  TDNSThread::Start("https://test.example/", "https://prod.example/", server.address(), nullptr,
                    std::make_shared<TDNSCallerLink>());
  ASSERT_TRUE(PumpUntilRunsEnd());
  EXPECT_EQ(server.QueryCount(), 2u);
}

TEST_F(DNSThreadTest, ADetachedCallerIsNotCalled) {
  test::FakeDnsServer server({kHosts});
  server.SetReplyDelayMs(50);
  auto outcome = std::make_shared<Outcome>();
  auto link = std::make_shared<TDNSCallerLink>();
  TDNSThread::Start("https://test.example/", "https://prod.example/", server.address(),
                    Recorder(outcome), link);
  link->Detach();
  ASSERT_TRUE(PumpUntilRunsEnd());
  EXPECT_EQ(outcome->calls, 0);
  EXPECT_EQ(server.QueryCount(), 2u);  // the run itself went on to its end
}

TEST(DNSResolverAddress, TakesAnIPv4AddressWithOptionalPortElseTheBuiltInResolver) {
  const struct {
    const char* setting;
    const char* host;
    std::uint16_t port;
  } cases[] = {
      {"127.0.0.1:5353", "127.0.0.1", 5353},  {"9.9.9.9", "9.9.9.9", 53},
      {"0.0.0.0:65535", "0.0.0.0", 65535},    {"", kDefaultDNSServer, 53},
      {"dns.example", kDefaultDNSServer, 53}, {"1.2.3", kDefaultDNSServer, 53},
      {"1.2.3.4.5", kDefaultDNSServer, 53},   {"1.2.3.256", kDefaultDNSServer, 53},
      {"01.2.3.4", kDefaultDNSServer, 53},    {"1.2.3.4:", kDefaultDNSServer, 53},
      {"1.2.3.4:0", kDefaultDNSServer, 53},   {"1.2.3.4:65536", kDefaultDNSServer, 53},
      {"1.2.3.4:53x", kDefaultDNSServer, 53}, {" 1.2.3.4", kDefaultDNSServer, 53},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.setting);
    TDNSResolverAddress address = ResolverAddressOf(c.setting);
    EXPECT_EQ(address.host, c.host);
    EXPECT_EQ(address.port, c.port);
  }
}

// The proxy's own discovery: ApplySettings starts it, DiscoveryDone changes the addresses.
class ProxyDiscoveryTest : public DNSThreadTest {
 protected:
  std::unique_ptr<TProxyServer> MakeProxy(const test::FakeDnsServer& server) {
    auto proxy = std::make_unique<TProxyServer>(0);
    TProxySettings& settings = proxy->Settings();
    settings.CallDNS = true;
    settings.DNSServer = server.address();
    settings.URLTest = "https://test.example:8449/FiskalizacijaServiceTest";
    settings.URLProduction = "https://prod.example:8449/FiskalizacijaService";
    return proxy;
  }
};

TEST_F(ProxyDiscoveryTest, DiscoveryDoneReplacesTheAddressesInMemory) {
  test::FakeDnsServer server({kHosts});
  std::unique_ptr<TProxyServer> proxy = MakeProxy(server);
  proxy->SetActive(true);
  TProxySettings& settings = proxy->Settings();
  ASSERT_TRUE(PumpUntil([&] { return settings.IPProduction.get() != kDefaultIPProduction; }));
  EXPECT_EQ(settings.IPTest.get(), "10.0.0.1:8449");
  EXPECT_EQ(settings.IPProduction.get(), "10.0.0.2:8449");
  EXPECT_TRUE(proxy->IsActive());
}

TEST_F(ProxyDiscoveryTest, WithoutCallDNSNoRunStarts) {
  test::FakeDnsServer server({kHosts});
  std::unique_ptr<TProxyServer> proxy = MakeProxy(server);
  proxy->Settings().CallDNS = false;
  proxy->SetActive(true);
  EXPECT_EQ(TDNSThread::LiveRunsForTesting(), 0);
  EXPECT_EQ(proxy->Settings().IPTest.get(), kDefaultIPTest);
}

TEST_F(ProxyDiscoveryTest, ARunOutlivingItsProxyEndsWithoutCallingIt) {
  test::FakeDnsServer server({kHosts});
  server.SetReplyDelayMs(50);
  std::unique_ptr<TProxyServer> proxy = MakeProxy(server);
  proxy->SetActive(true);
  ASSERT_EQ(TDNSThread::LiveRunsForTesting(), 1);
  proxy.reset();
  ASSERT_TRUE(PumpUntilRunsEnd());
  EXPECT_EQ(server.QueryCount(), 2u);
}

}  // namespace
}  // namespace vp
