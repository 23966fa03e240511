#include "platform/http_agent.h"

#include <gtest/gtest.h>

#include <zlib.h>

#include <chrono>
#include <thread>

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

std::string gzip(const std::string& bytes) {
    z_stream stream{};
    deflateInit2(&stream, Z_BEST_SPEED, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    std::string packed(deflateBound(&stream, static_cast<uLong>(bytes.size())), '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
    stream.avail_in = static_cast<uInt>(bytes.size());
    stream.next_out = reinterpret_cast<Bytef*>(packed.data());
    stream.avail_out = static_cast<uInt>(packed.size());
    deflate(&stream, Z_FINISH);
    packed.resize(stream.total_out);
    deflateEnd(&stream);
    return packed;
}

// Bytes that compress, but not to nothing.
std::string varied_text(std::size_t size) {
    std::string text;
    for (std::size_t i = 0; text.size() < size; ++i) text += "line " + std::to_string(i * i % 9973) + "\n";
    text.resize(size);
    return text;
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
TEST(HttpAgent, UndoesALargeGzipBodyReadInSmallPieces) {
    const std::string text = varied_text(3'000'000);
    const std::string packed = gzip(text);
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

}  // namespace
}  // namespace zarn::platform
