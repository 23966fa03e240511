#pragma once

#include <memory>
#include <string>

#include "platform/byte_stream.h"
#include "platform/http_agent_settings.h"
#include "platform/result.h"

namespace zarn::platform {

// A blocking HTTP/1.1 client for GET requests. No proxy (the environment's proxy settings are
// not consulted), up to 5 redirects (an empty "Location" leads to the same address), gzip
// asked for with "Accept-Encoding: gzip" and undone (platform/gzip_body.h), certificates
// checked against the system's store. A status of 400 or more fails the request with
// "{url}: status code {code}". A response whose head never completed fails the request.
// One agent may serve several requests one after the other and reuses their connections.
class HttpAgent {
public:
    explicit HttpAgent(const HttpAgentSettings& settings = {});
    ~HttpAgent();
    HttpAgent(const HttpAgent&) = delete;
    HttpAgent& operator=(const HttpAgent&) = delete;

    // Sends the request and waits for the response's head. The body is then pulled read by
    // read from the stream, each read waiting at most the read time-out for the connection.
    // The stream must be released before the agent.
    Result<std::unique_ptr<ByteStream>> get(const std::string& url);

    struct State;

private:
    std::unique_ptr<State> state_;
};

}  // namespace zarn::platform
