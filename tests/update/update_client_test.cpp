#include "update/update_client.h"

#include "support/temp_home.h"
#include "update/loopback_http_server.h"

#include <gtest/gtest.h>

#include <QUrlQuery>

namespace tandrel {
namespace {

using test::LoopbackHttpServer;
using test::runOffMain;

QProcessEnvironment environmentOf(std::initializer_list<std::pair<const char*, const char*>> values) {
  QProcessEnvironment environment;
  for (const auto& [name, value] : values) {
    environment.insert(QString::fromLatin1(name), QString::fromLatin1(value));
  }
  return environment;
}

TEST(UpdateClient, EndpointResolutionOrder) {
  const QString builtIn = QStringLiteral("https://updates.example.invalid/version.json");
  struct Case {
    const char* name;
    QProcessEnvironment environment;
    bool testEnvironment;
    QString defaultFeed;
    std::optional<QString> expected;
  };
  const Case cases[] = {
      {"manifest wins", environmentOf({{"TANDREL_UPDATE_MANIFEST_URL", " https://m/v.json "}, {"TANDREL_UPDATE_ENDPOINT", "https://e/c"}}),
       false, builtIn, "https://m/v.json"},
      {"blank manifest falls through", environmentOf({{"TANDREL_UPDATE_MANIFEST_URL", "   "}, {"TANDREL_UPDATE_ENDPOINT", "https://e/c"}}),
       false, builtIn, "https://e/c"},
      {"unparsable manifest falls through", environmentOf({{"TANDREL_UPDATE_MANIFEST_URL", "not a url"}, {"TANDREL_UPDATE_ENDPOINT", "https://e/c"}}),
       false, builtIn, "https://e/c"},
      {"variables win in tests too", environmentOf({{"TANDREL_UPDATE_ENDPOINT", "https://e/c"}}), true, builtIn, "https://e/c"},
      {"disabled default", environmentOf({{"TANDREL_DISABLE_DEFAULT_UPDATE_FEED", "1"}}), false, builtIn, std::nullopt},
      {"only 1 disables", environmentOf({{"TANDREL_DISABLE_DEFAULT_UPDATE_FEED", "true"}}), false, builtIn, builtIn},
      {"no default in tests", environmentOf({}), true, builtIn, std::nullopt},
      {"default in tests when enabled", environmentOf({{"TANDREL_ENABLE_DEFAULT_UPDATE_FEED_IN_TESTS", "1"}}), true, builtIn, builtIn},
      {"a build without a feed", environmentOf({}), false, QString(), std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::optional<QUrl> url = resolvedUpdateEndpointURL(c.environment, c.testEnvironment, c.defaultFeed);
    ASSERT_EQ(url.has_value(), c.expected.has_value());
    if (url) {
      EXPECT_EQ(url->toString(), *c.expected);
    }
  }
}

TEST(UpdateClient, CheckURLReplacesTheQueryItems) {
  UpdateClient client;
  client.channel = QStringLiteral("stable");
  client.endpoint = QUrl(QStringLiteral("https://h/check?channel=beta&x=1&version=0&platform=mac&x=2"));
  const std::optional<QUrl> url = client.checkURL("0.1.6", "0.1.6 b", "linux", "x86_64");
  ASSERT_TRUE(url);
  EXPECT_EQ(url->query(QUrl::FullyEncoded),
            QStringLiteral("x=1&x=2&platform=linux&arch=x86_64&version=0.1.6&build=0.1.6%20b&channel=stable"));

  // A static manifest is fetched unchanged, whatever the case of its extension.
  client.endpoint = QUrl(QStringLiteral("https://h/feed/VERSION.JSON?k=v"));
  EXPECT_EQ(client.checkURL("0.1.6", "0.1.6"), client.endpoint);
  EXPECT_TRUE(UpdateClient::isStaticManifestURL(QUrl(QStringLiteral("file:///x/version.json"))));

  client.endpoint.reset();
  EXPECT_FALSE(client.checkURL("0.1.6", "0.1.6"));
  EXPECT_EQ(std::get<UpdateClientFailure>(client.check("0.1.6", "0.1.6")).message,
            QStringLiteral("No remote update feed configured."));
}

TEST(UpdateClient, FixtureAndFileFeeds) {
  test::TempHome home;
  const QString manifest = home.file("feed/version.json");
  ASSERT_TRUE(test::writeFile(manifest, R"({"latestVersion": "2.0", "policy": {"channel": "test"}})"));
  ASSERT_TRUE(test::writeFile(home.file("feed/bad.json"), "{"));

  UpdateClient fixture{manifest, QUrl(QStringLiteral("https://unused.invalid/c")), "stable", {}};
  const UpdateCheckResult fromFixture = fixture.check("0.1.6", "0.1.6");
  ASSERT_TRUE(std::holds_alternative<UpgradeCheckResponse>(fromFixture));
  EXPECT_TRUE(std::get<UpgradeCheckResponse>(fromFixture).updateAvailable);

  // An unreadable fixture is an invalid feed; an unreadable feed file is a failed check.
  const std::pair<UpdateClient, const char*> failures[] = {
      {UpdateClient{home.file("feed/missing.json"), std::nullopt, "stable", {}}, "Update feed is invalid."},
      {UpdateClient{home.file("feed/bad.json"), std::nullopt, "stable", {}}, "Update feed is invalid."},
      {UpdateClient{std::nullopt, QUrl::fromLocalFile(home.file("feed/missing.json")), "stable", {}},
       "Update check failed. Try again."},
      {UpdateClient{std::nullopt, QUrl::fromLocalFile(home.file("feed/bad.json")), "stable", {}},
       "Update feed is invalid."},
      {UpdateClient{std::nullopt, QUrl(QStringLiteral("http://example.invalid/version.json")), "stable", {}},
       "Update check failed. Try again."},
  };
  for (const auto& [client, message] : failures) {
    SCOPED_TRACE(message);
    const UpdateCheckResult result = runOffMain([&client = client] { return client.check("0.1.6", "0.1.6"); });
    ASSERT_TRUE(std::holds_alternative<UpdateClientFailure>(result));
    EXPECT_EQ(std::get<UpdateClientFailure>(result).message, QLatin1String(message));
  }
  UpdateClient file{std::nullopt, QUrl::fromLocalFile(manifest), "stable", {}};
  EXPECT_TRUE(std::holds_alternative<UpgradeCheckResponse>(file.check("0.1.6", "0.1.6")));
}

TEST(UpdateClient, ChecksALoopbackServer) {
  LoopbackHttpServer server;
  server.route("/check", {200, R"({"update_available": false, "latest": {"version": "0.1.6", "build": "0.1.6"}})"});
  server.route("/broken", {500, "{}"});
  server.route("/stalled", {200, {}, {}, true});
  server.route("/moved", {302, {}, "Location: http://example.invalid/version.json\r\n"});

  UpdateClient client{std::nullopt, QUrl(server.url("/check?x=1")), "beta", {}};
  client.timeouts = {std::chrono::milliseconds(1000), std::chrono::milliseconds(1000)};
  const UpdateCheckResult result = runOffMain([&] { return client.check("0.1.6", "0.1.6"); });
  ASSERT_TRUE(std::holds_alternative<UpgradeCheckResponse>(result));
  ASSERT_EQ(server.requests().size(), 1);
  const QUrlQuery sent(QString::fromLatin1(server.requests()[0].split('?').value(1)));
  EXPECT_EQ(sent.queryItemValue("channel"), QStringLiteral("beta"));
  EXPECT_EQ(sent.queryItemValue("platform"), QStringLiteral("linux"));
  EXPECT_EQ(sent.queryItemValue("x"), QStringLiteral("1"));

  // A server error, a server that never answers and a redirect away from loopback all end in the
  // same failure, and none of them hangs.
  for (const char* path : {"/broken", "/stalled", "/moved"}) {
    SCOPED_TRACE(path);
    client.endpoint = QUrl(server.url(path));
    const UpdateCheckResult failed = runOffMain([&] { return client.check("0.1.6", "0.1.6"); });
    ASSERT_TRUE(std::holds_alternative<UpdateClientFailure>(failed));
    EXPECT_EQ(std::get<UpdateClientFailure>(failed).message, QStringLiteral("Update check failed. Try again."));
  }
}

TEST(UpdateClient, AutomaticCheckPolicy) {
  const QDateTime now = QDateTime::fromSecsSinceEpoch(1'800'000'000, Qt::UTC);
  const double interval = 43200;
  const struct {
    std::optional<double> ago;
    bool run;
    double delay;
  } cases[] = {
      {std::nullopt, true, 30}, {interval, true, 30},          {interval + 5, true, 30},
      {interval - 10, false, 10}, {interval - 0.5, false, 1.0}, {-100, false, interval + 100},
  };
  for (const auto& c : cases) {
    const std::optional<QDateTime> last =
        c.ago ? std::optional(now.addMSecs(static_cast<qint64>(-*c.ago * 1000))) : std::nullopt;
    EXPECT_EQ(shouldRunAutomaticUpdateCheck(now, last, interval), c.run) << c.ago.value_or(-1);
    EXPECT_DOUBLE_EQ(nextAutomaticUpdateDelay(now, last, 30, interval), c.delay) << c.ago.value_or(-1);
  }
  EXPECT_FALSE(shouldNotifyAutomaticUpdate(" ", std::nullopt));
  EXPECT_TRUE(shouldNotifyAutomaticUpdate("1.2", std::nullopt));
  EXPECT_FALSE(shouldNotifyAutomaticUpdate(" 1.2 ", QStringLiteral("1.2")));
  EXPECT_TRUE(shouldNotifyAutomaticUpdate("1.2.0", QStringLiteral("1.2")));
}

}  // namespace
}  // namespace tandrel
