#include "platform/http_agent.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <optional>
#include <thread>
#include <vector>

#include "support/gzip.h"
#include "support/loopback_server.h"
#include "support/scoped_environment.h"

namespace zarn::platform {
namespace {

Result<std::string> get_all(HttpAgent& agent, const std::string& url) {
    auto body = agent.get(url);
    if (!body) return unexpected(body.error());
    std::string bytes;
    char buffer[4096];
    for (;;) {
        const auto count = (*body)->read(buffer, sizeof buffer);
        if (!count) return unexpected(count.error());
        if (*count == 0) return bytes;
        bytes.append(buffer, *count);
    }
}

// /hop/N redirects to /hop/N-1; /hop/0 answers.
void serve_redirect_chain(test::LoopbackServer& server, int length) {
    for (int hop = 1; hop <= length; ++hop) {
        server.route("/hop/" + std::to_string(hop), [hop](test::Reply& reply) {
            reply.send(302, "", {{"Location", "/hop/" + std::to_string(hop - 1)}});
        });
    }
    server.route("/hop/0", [](test::Reply& reply) { reply.send(200, "arrived"); });
}

TEST(HttpAgent, FollowsUpToFiveRedirects) {
    test::LoopbackServer server;
    serve_redirect_chain(server, 6);
    server.start();
    HttpAgent agent;

    const auto five = get_all(agent, server.base_url() + "/hop/5");
    ASSERT_TRUE(five) << five.error().text;
    EXPECT_EQ(*five, "arrived");
    EXPECT_FALSE(get_all(agent, server.base_url() + "/hop/6"));
}

TEST(HttpAgent, StatusOf400OrMoreFailsNamingTheUrlThatAnswered) {
    test::LoopbackServer server;
    server.route("/moved", [](test::Reply& reply) { reply.send(302, "", {{"Location", "/gone"}}); });
    server.route("/gone", [](test::Reply& reply) { reply.send(410, "gone for good"); });
    server.route("/broken", [](test::Reply& reply) { reply.send(500, "oops"); });
    server.route("/teapot", [](test::Reply& reply) { reply.send(399, "odd but fine"); });
    server.start();
    HttpAgent agent;

    const auto moved = agent.get(server.base_url() + "/moved");
    ASSERT_FALSE(moved);
    EXPECT_EQ(moved.error().text, server.base_url() + "/gone: status code 410");
    const auto broken = agent.get(server.base_url() + "/broken");
    ASSERT_FALSE(broken);
    EXPECT_EQ(broken.error().text, server.base_url() + "/broken: status code 500");
    const auto odd = get_all(agent, server.base_url() + "/teapot");
    ASSERT_TRUE(odd) << odd.error().text;
    EXPECT_EQ(*odd, "odd but fine");
}

TEST(HttpAgent, IgnoresTheEnvironmentsProxySettings) {
    std::string nowhere;
    {
        test::LoopbackServer closed;
        nowhere = closed.base_url();
    }
    test::ScopedEnvironment environment;
    for (const char* name : {"http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"}) {
        environment.set(name, nowhere);
    }
    environment.unset("no_proxy");
    environment.unset("NO_PROXY");
    test::LoopbackServer server;
    server.route("/direct", [](test::Reply& reply) { reply.send(200, "direct"); });
    server.start();
    HttpAgent agent;

    const auto body = get_all(agent, server.base_url() + "/direct");
    ASSERT_TRUE(body) << body.error().text;
    EXPECT_EQ(*body, "direct");
}

TEST(HttpAgent, RefusedConnectionIsAnErrorWithText) {
    std::string nowhere;
    {
        test::LoopbackServer closed;
        nowhere = closed.base_url();
    }
    HttpAgent agent;
    const auto body = agent.get(nowhere + "/x");
    ASSERT_FALSE(body);
    EXPECT_NE(body.error().text, "");
}

// The response's head is read from the connection like its body: a server that accepts the
// request but keeps silent fails it once the read time-out has passed.
TEST(HttpAgent, HeadThatDoesNotComeWithinTheReadTimeOutFailsTheRequest) {
    test::LoopbackServer server;
    server.route("/silent", [](test::Reply& reply) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2500));
        reply.send(200, "too late");
    });
    server.start();
    HttpAgentSettings settings;
    settings.connect_timeout = std::chrono::milliseconds(300);
    settings.read_timeout = std::chrono::milliseconds(300);
    HttpAgent agent(settings);

    const auto body = agent.get(server.base_url() + "/silent");
    EXPECT_FALSE(body);
}

TEST(HttpAgent, DeliversALargeBodyWholeInReadsOfAtMostTheBufferSize) {
    std::string large(3'000'000, '\0');
    for (std::size_t i = 0; i < large.size(); ++i) large[i] = static_cast<char>(i * 131 % 251);
    test::LoopbackServer server;
    server.route("/large", [&large](test::Reply& reply) { reply.send(200, large); });
    server.start();
    HttpAgent agent;

    auto body = agent.get(server.base_url() + "/large");
    ASSERT_TRUE(body) << body.error().text;
    std::string received;
    char buffer[32'768];
    for (;;) {
        const auto count = (*body)->read(buffer, sizeof buffer);
        ASSERT_TRUE(count) << count.error().text;
        ASSERT_LE(*count, sizeof buffer);
        if (*count == 0) break;
        received.append(buffer, *count);
    }
    EXPECT_TRUE(received == large);
}

// The body is held back while the caller does not read, and gzip is undone on the way; the two
// must not lose or repeat a byte between them.
TEST(HttpAgent, UndoesALargeGzipBodyReadInSmallSlices) {
    const std::string text = test::varied_text(3'000'000);
    const std::string packed = test::gzip(text);
    test::LoopbackServer server;
    server.route("/packed", [&packed](test::Reply& reply) {
        reply.send(200, packed, {{"Content-Encoding", "gzip"}});
    });
    server.start();
    HttpAgent agent;

    auto body = agent.get(server.base_url() + "/packed");
    ASSERT_TRUE(body) << body.error().text;
    std::string received;
    char buffer[1'000];
    for (;;) {
        const auto count = (*body)->read(buffer, sizeof buffer);
        ASSERT_TRUE(count) << count.error().text;
        if (*count == 0) break;
        received.append(buffer, *count);
    }
    EXPECT_EQ(received.size(), text.size());
    EXPECT_TRUE(received == text);
}


using namespace std::chrono_literals;

// Time-outs short enough for a test; every answer below takes longer than both together, in
// waits that each stay well under the read time-out.
HttpAgentSettings patient_per_wait() {
    HttpAgentSettings settings;
    settings.connect_timeout = 500ms;
    settings.read_timeout = 800ms;
    return settings;
}

constexpr auto kGap = 150ms;

void drip(test::Reply& reply, std::string_view bytes, std::size_t slice) {
    for (std::size_t at = 0; at < bytes.size(); at += slice) {
        std::this_thread::sleep_for(kGap);
        if (!reply.write(bytes.substr(at, slice))) return;
    }
}

struct SlowAnswer {
    const char* name;
    // Routes the server answers with; the request goes to "/slow".
    std::function<void(test::LoopbackServer&)> serve;
};

void PrintTo(const SlowAnswer& answer, std::ostream* out) { *out << answer.name; }

class HttpAgentSlowAnswerTest : public ::testing::TestWithParam<SlowAnswer> {};

// The read time-out bounds each single wait for data and the connect time-out the connect;
// nothing bounds the whole, across redirects neither. (Windows' WinHTTP documents its limit
// on the head as one on the whole head, where Wine's limits each wait: under Windows
// "head_in_drips" would fail; see platform/win32/http_agent.cpp.)
TEST_P(HttpAgentSlowAnswerTest, SucceedsWhileDataKeepsComing) {
    test::LoopbackServer server;
    GetParam().serve(server);
    server.start();
    HttpAgent agent(patient_per_wait());

    const auto body = get_all(agent, server.base_url() + "/slow");
    ASSERT_TRUE(body) << body.error().text;
    EXPECT_EQ(*body, "arrived");
}

INSTANTIATE_TEST_SUITE_P(
    Answers, HttpAgentSlowAnswerTest,
    ::testing::Values(
        SlowAnswer{"head_in_drips",
                   [](test::LoopbackServer& server) {
                       server.route("/slow", [](test::Reply& reply) {
                           // 14 waits of 150 ms: 2.1 s in all.
                           drip(reply, "HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Length: 7\r\n\r\n", 4);
                           reply.write("arrived");
                       });
                   }},
        SlowAnswer{"body_in_drips",
                   [](test::LoopbackServer& server) {
                       server.route("/slow", [](test::Reply& reply) {
                           reply.head(200, {}, 7);
                           drip(reply, "arrived", 1);
                           std::this_thread::sleep_for(kGap * 5);
                       });
                   }},
        SlowAnswer{"redirect_hops_each_late",
                   [](test::LoopbackServer& server) {
                       // Five hops of 450 ms each: 2.25 s in all.
                       const std::string hops[] = {"/slow", "/hop/4", "/hop/3", "/hop/2", "/hop/1", "/hop/0"};
                       for (std::size_t i = 0; i + 1 < std::size(hops); ++i) {
                           server.route(hops[i], [next = hops[i + 1]](test::Reply& reply) {
                               std::this_thread::sleep_for(kGap * 3);
                               reply.send(302, "", {{"Location", next}});
                           });
                       }
                       server.route("/hop/0", [](test::Reply& reply) { reply.send(200, "arrived"); });
                   }}),
    [](const auto& test_case) { return std::string(test_case.param.name); });

// gzip is asked for, and no other header is the program's own: the rest is the HTTP
// library's (Host, Accept, Connection).
TEST(HttpAgent, AsksForGzipAndSendsNoOtherHeaderOfItsOwn) {
    test::LoopbackServer server;
    server.route("/plain", [](test::Reply& reply) { reply.send(200, "plain"); });
    server.start();
    HttpAgent agent;

    ASSERT_TRUE(get_all(agent, server.base_url() + "/plain"));

    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 1u);
    std::vector<std::string> names;
    std::size_t at = requests[0].find("\r\n") + 2;
    for (std::size_t end; (end = requests[0].find("\r\n", at)) != std::string::npos && end > at; at = end + 2) {
        const std::string line = requests[0].substr(at, end - at);
        std::string name = line.substr(0, line.find(':'));
        for (auto& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        names.push_back(name);
        if (name == "accept-encoding") {
            EXPECT_EQ(line, "Accept-Encoding: gzip");
        }
    }
    EXPECT_EQ(std::count(names.begin(), names.end(), "accept-encoding"), 1) << requests[0];
    for (const auto& name : names) {
        EXPECT_TRUE(name == "host" || name == "accept" || name == "accept-encoding" || name == "connection")
            << name << " in\n" << requests[0];
    }
}

struct GzipCase {
    const char* name;
    std::string sent;  // as the server sends it, Content-Encoding gzip
    std::optional<std::string> body;  // what the reads give; none: a read fails
};

void PrintTo(const GzipCase& gzip_case, std::ostream* out) { *out << gzip_case.name; }

class HttpAgentGzipTest : public ::testing::TestWithParam<GzipCase> {};

// A gzip body is whole only with its end marker and a matching CRC-32 and length.
TEST_P(HttpAgentGzipTest, DecodesOnlyAWholeStream) {
    const auto& c = GetParam();
    test::LoopbackServer server;
    server.route("/gz", [&c](test::Reply& reply) { reply.send(200, c.sent, {{"Content-Encoding", "gzip"}}); });
    server.start();
    HttpAgent agent;

    const auto body = get_all(agent, server.base_url() + "/gz");
    if (c.body) {
        ASSERT_TRUE(body) << body.error().text;
        EXPECT_TRUE(*body == *c.body);
    } else {
        ASSERT_FALSE(body);
        EXPECT_EQ(body.error().text.rfind(server.base_url() + "/gz: ", 0), 0u) << body.error().text;
    }
}

const std::string kText = test::varied_text(100'000);
const std::string kPacked = test::gzip(kText);

std::string with_byte_flipped(std::string bytes, std::size_t from_end) {
    bytes[bytes.size() - from_end] ^= 0x20;
    return bytes;
}

INSTANTIATE_TEST_SUITE_P(
    Streams, HttpAgentGzipTest,
    ::testing::Values(GzipCase{"whole", kPacked, kText},
                      GzipCase{"with_bytes_after_its_end", kPacked + "trailing", kText},
                      GzipCase{"empty_body", "", std::string()},
                      GzipCase{"cut_before_its_end_marker", kPacked.substr(0, kPacked.size() / 2), std::nullopt},
                      GzipCase{"cut_inside_its_trailer", kPacked.substr(0, kPacked.size() - 3), std::nullopt},
                      GzipCase{"crc_that_does_not_match", with_byte_flipped(kPacked, 6), std::nullopt},
                      GzipCase{"length_that_does_not_match", with_byte_flipped(kPacked, 2), std::nullopt},
                      GzipCase{"not_gzip_at_all", "plain text", std::nullopt}),
    [](const auto& test_case) { return std::string(test_case.param.name); });
}  // namespace
}  // namespace zarn::platform
