// What the proxy writes down of each forward: the outcome and its details, never a byte of the
// receipt, in a log that stays within two files of 1 MB.
#include <gtest/gtest.h>

#include <string>

#include "platform/FileSystem.h"
#include "platform/Socket.h"
#include "proxy/FailureStreak.h"
#include "proxy/ForwardLog.h"
#include "proxy/ProxyServer.h"
#include "proxy/ProxySettings.h"
#include "support/LoopbackHttp.h"
#include "support/TempDir.h"
#include "support/TestUpstream.h"

namespace vp {
namespace {

constexpr const char* kSecret = "RECEIPT-MARKER-7f3a";

std::string Post(const std::string& body) {
  return "POST /FiskalizacijaServiceTest HTTP/1.0\r\nContent-Length: " +
         std::to_string(body.size()) + "\r\n\r\n" + body;
}

std::string LogText() {
  std::string path = ForwardLog::DefaultFolder() + platform::PathDelimiter() + kForwardLogFileName;
  return platform::FileExists(path) ? platform::ReadFileBytes(path) : "";
}

TEST(ForwardLog, RecordsEachOutcomeButNothingOfTheReceipt) {
  TProxyServer proxy(0);
  proxy.Settings().CallDNS = false;
  proxy.Settings().Mode = kModeHttp;
  const std::string fault =
      "<s:Envelope><s:Body><s:Fault><faultcode>s:Client</faultcode><faultstring>" +
      std::string(kSecret) + "</faultstring></s:Fault></s:Body></s:Envelope>";
  test::TestUpstream upstream({{test::HttpAnswer(200, "OK", std::string("<Jir>") + kSecret)},
                               {test::HttpAnswer(500, "Internal Server Error", fault)}});
  proxy.Settings().URLTest = upstream.Url("/FiskalizacijaServiceTest");
  proxy.SetActive(true);
  std::uint16_t port = proxy.ListeningPortForTesting();
  std::string body = std::string("<r>") + kSecret + "</r>";

  test::Exchange(port, Post(body));
  ForwardRecord ok = *proxy.Log().Last();
  EXPECT_EQ(ok.outcome, ForwardOutcome::kSuccess);
  EXPECT_EQ(ok.upstream, "127.0.0.1:" + std::to_string(upstream.port()));
  EXPECT_EQ(ok.request_bytes, body.size());
  EXPECT_EQ(ok.answer_bytes, 5 + std::string(kSecret).size());

  test::Exchange(port, Post(body));
  ForwardRecord status = *proxy.Log().Last();
  EXPECT_EQ(status.outcome, ForwardOutcome::kUpstreamStatus);
  EXPECT_EQ(status.status, 500);
  EXPECT_EQ(status.fault_code, "s:Client");
  EXPECT_EQ(proxy.Log().FailuresInARow(), 1);

  test::Exchange(port, "GET /elsewhere HTTP/1.0\r\n\r\n");
  EXPECT_EQ(proxy.Log().Last()->outcome, ForwardOutcome::kWrongForMode);

  platform::Socket closed = platform::Socket::OpenTcp(platform::IpFamily::kV4);
  closed.Bind("127.0.0.1", 0);
  proxy.Settings().URLTest = "http://127.0.0.1:" + std::to_string(closed.LocalPort()) + "/";
  closed = platform::Socket();
  test::Exchange(port, Post(body));
  EXPECT_EQ(proxy.Log().Last()->outcome, ForwardOutcome::kConnectRefused);
  EXPECT_EQ(proxy.Log().FailuresInARow(), 2) << "a wrong path is no failure to forward";
  proxy.SetActive(false);

  std::string log = LogText();
  EXPECT_NE(log.find("outcome=upstream-status status=500 fault=s:Client"), std::string::npos)
      << log;
  EXPECT_NE(log.find("outcome=connection-refused"), std::string::npos) << log;
  EXPECT_EQ(log.find(kSecret), std::string::npos) << "a receipt's bytes reached the log";
}

TEST(ForwardLog, RotationKeepsTwoFilesOfAtMostOneMegabyte) {
  test::TempDir dir;
  ForwardLog log(dir.path() + "Log");
  ForwardRecord record;
  record.outcome = ForwardOutcome::kOther;
  record.reason = std::string(900, 'r');
  for (int i = 0; i < 3000; ++i) log.Add(record);  // about 2.9 MB in all
  std::string current = dir.File("Log") + platform::PathDelimiter() + kForwardLogFileName;
  std::string old = dir.File("Log") + platform::PathDelimiter() + kForwardLogOldFileName;
  EXPECT_LE(platform::FileSize(current), static_cast<std::int64_t>(ForwardLog::kMaxFileBytes));
  EXPECT_LE(platform::FileSize(old), static_cast<std::int64_t>(ForwardLog::kMaxFileBytes));
  EXPECT_GT(platform::FileSize(old), static_cast<std::int64_t>(ForwardLog::kMaxFileBytes) * 9 / 10);
  EXPECT_EQ(log.FailuresInARow(), 3000);
}

TEST(ForwardLog, SoapFaultCodeTakesTheCodeAndNothingElse) {
  EXPECT_EQ(SoapFaultCode("<soap:Fault><faultcode>soap:Server</faultcode></soap:Fault>"),
            "soap:Server");
  EXPECT_EQ(SoapFaultCode("<env:Fault><env:Code><env:Value>env:Receiver</env:Value></env:Code>"),
            "env:Receiver");
  EXPECT_EQ(SoapFaultCode("<Fault><faultcode>a b<x/></faultcode></Fault>"), "");
  EXPECT_EQ(SoapFaultCode("<faultcode>s:Client</faultcode> and no fault"), "");
}

TEST(ForwardLog, AnotherProcessReadsTheLatestRecordAndStreakBack) {
  test::TempDir dir;
  ForwardLog log(dir.path() + "Log");
  ForwardRecord failed;
  failed.time = 1796800000;
  failed.mode = 2;
  failed.production = true;
  failed.upstream = "cis.porezna-uprava.hr:8449";
  failed.outcome = ForwardOutcome::kUpstreamStatus;
  failed.status = 500;
  failed.fault_code = "s:Server";
  failed.reason = "says \"no\" twice";
  ForwardRecord wrong;
  wrong.outcome = ForwardOutcome::kWrongForMode;
  log.Add(ForwardRecord{});  // a success ends any earlier streak
  log.Add(failed);
  log.Add(wrong);  // neither breaks nor continues the streak
  log.Add(failed);

  ForwardLogTail tail = ReadForwardLogTail(log.folder());
  ASSERT_TRUE(tail.last);
  EXPECT_EQ(FormatForwardRecord(*tail.last), FormatForwardRecord(failed));
  EXPECT_EQ(tail.failures_in_a_row, 2);
  for (const char* bad :
       {"", "2026-12-09T12:00:00Z", "2026-02-30T12:00:00Z mode=1 outcome=ok",
        "2026-12-09T12:00:00Z mode=x outcome=ok", "2026-12-09T12:00:00Z outcome=ok reason=\"open"})
    EXPECT_FALSE(ParseForwardRecord(bad)) << bad;
}

TEST(ForwardLog, AStreakIsReportedOnceEachWayAndNotMoreOftenThanAsked) {
  FailureStreak streak(600);
  EXPECT_EQ(streak.Observe(2, 0), StreakChange::kNone);
  EXPECT_EQ(streak.Observe(3, 1), StreakChange::kStarted);
  EXPECT_EQ(streak.Observe(4, 2), StreakChange::kNone);
  EXPECT_EQ(streak.Observe(0, 60), StreakChange::kNone) << "within the ten minutes";
  EXPECT_EQ(streak.Observe(0, 601), StreakChange::kEnded) << "caught up at the next record";
  EXPECT_EQ(streak.Observe(0, 1300), StreakChange::kNone);
}

}  // namespace
}  // namespace vp
