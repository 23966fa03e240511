#include "platform/http_agent.h"

#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstring>
#include <string>
#include <string_view>

#include "platform/ascii.h"
#include "platform/gzip_body.h"

namespace zarn::platform {

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kMaxRedirects = 5;

// libcurl's receive buffer: large, so that a read finds a whole 32 KiB ready when the
// connection has it, instead of two halves of libcurl's default 16 KiB.
constexpr long kReceiveBuffer = 512 * 1024;

// What the body callback holds back for the next reads; beyond it the transfer is paused, so
// memory stays the same whatever the size of the body.
constexpr std::size_t kHeldBytes = kReceiveBuffer;

void initialise_curl_once() {
    static const CURLcode ignored = curl_global_init(CURL_GLOBAL_DEFAULT);
    (void)ignored;
}

bool is_blank_line(std::string_view line) { return line == "\r\n" || line == "\n"; }

std::string_view header_value(std::string_view line, std::size_t name_length) {
    line.remove_prefix(name_length);
    while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
    while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back()))) line.remove_suffix(1);
    return line;
}

bool is_redirect(long status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

}  // namespace

struct HttpAgent::State {
    HttpAgentSettings settings;
    CURLM* multi = nullptr;

    explicit State(const HttpAgentSettings& given) : settings(given) {
        initialise_curl_once();
        multi = curl_multi_init();
    }
    ~State() { curl_multi_cleanup(multi); }
};

namespace {

// One GET on the agent's multi handle, whose body is pulled by the caller's reads: the
// transfer only moves while a read waits for it. Redirects are followed here rather than by
// libcurl, so that a "Location" without a target counts as one, as it does on Windows.
class CurlTransfer final : public ByteStream {
public:
    CurlTransfer(HttpAgent::State& agent, std::string url) : agent_(agent), url_(std::move(url)) {}

    ~CurlTransfer() override {
        if (easy_ != nullptr) {
            if (added_) curl_multi_remove_handle(agent_.multi, easy_);
            curl_easy_cleanup(easy_);
        }
        curl_slist_free_all(headers_);
    }

    CurlTransfer(const CurlTransfer&) = delete;
    CurlTransfer& operator=(const CurlTransfer&) = delete;

    // Sends the request and waits until the final response's head has arrived.
    Result<void> start() {
        if (agent_.multi == nullptr || (easy_ = curl_easy_init()) == nullptr) {
            return unexpected(Error{url_ + ": " + curl_easy_strerror(CURLE_OUT_OF_MEMORY)});
        }
        configure();
        for (int redirects = 0;; ++redirects) {
            if (auto head = request_head(); !head) return head;
            if (!is_redirect(status_) || !location_seen_) break;
            if (redirects == kMaxRedirects) {
                return unexpected(Error{url_ + ": " + curl_easy_strerror(CURLE_TOO_MANY_REDIRECTS)});
            }
            url_ = redirect_target();
        }
        if (status_ >= 400) return unexpected(Error{url_ + ": status code " + std::to_string(status_)});
        return {};
    }

    const std::string& url() const { return url_; }
    const std::string& content_encoding() const { return content_encoding_; }

    Result<std::size_t> read(char* buffer, std::size_t size) override {
        if (size == 0) return std::size_t{0};
        if (held() == 0 && paused_) {
            paused_ = false;
            // Hands over what the body callback refused before the pause.
            curl_easy_pause(easy_, CURLPAUSE_CONT);
        }
        if (held() == 0 && !finished_) {
            if (auto waited = pump([this] { return held() > 0; }, agent_.settings.read_timeout); !waited) {
                return unexpected(waited.error());
            }
        }
        if (held() > 0) return take(buffer, size);
        if (result_ != CURLE_OK) return unexpected(transfer_error());
        return std::size_t{0};
    }

private:
    void configure() {
        curl_easy_setopt(easy_, CURLOPT_HTTPGET, 1L);
        curl_easy_setopt(easy_, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(easy_, CURLOPT_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(easy_, CURLOPT_FOLLOWLOCATION, 0L);
        // An empty proxy also overrides http_proxy, https_proxy and all_proxy.
        curl_easy_setopt(easy_, CURLOPT_PROXY, "");
        curl_easy_setopt(easy_, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(agent_.settings.connect_timeout.count()));
        curl_easy_setopt(easy_, CURLOPT_BUFFERSIZE, kReceiveBuffer);
        // gzip is asked for here and undone by our own decoder, the same one as on Windows.
        headers_ = curl_slist_append(headers_, "Accept-Encoding: gzip");
        curl_easy_setopt(easy_, CURLOPT_HTTPHEADER, headers_);
        curl_easy_setopt(easy_, CURLOPT_HTTP_CONTENT_DECODING, 0L);
        curl_easy_setopt(easy_, CURLOPT_ERRORBUFFER, error_buffer_);
        curl_easy_setopt(easy_, CURLOPT_HEADERFUNCTION, &CurlTransfer::on_header);
        curl_easy_setopt(easy_, CURLOPT_HEADERDATA, this);
        curl_easy_setopt(easy_, CURLOPT_WRITEFUNCTION, &CurlTransfer::on_body);
        curl_easy_setopt(easy_, CURLOPT_WRITEDATA, this);
    }

    // One request to `url_`, until its final head (one that is not "continue") is in. A head
    // that the server's closing cuts off never completed: libcurl would take it for an empty
    // response, but the request has failed.
    Result<void> request_head() {
        if (added_) curl_multi_remove_handle(agent_.multi, easy_);
        added_ = false;
        forget_response();
        curl_easy_setopt(easy_, CURLOPT_URL, url_.c_str());
        if (curl_multi_add_handle(agent_.multi, easy_) != CURLM_OK) {
            return unexpected(Error{url_ + ": " + curl_easy_strerror(CURLE_FAILED_INIT)});
        }
        added_ = true;
        // Connecting has its own limit in libcurl; after it, each wait for data the read's.
        const auto patience = agent_.settings.connect_timeout + agent_.settings.read_timeout;
        if (auto waited = pump([this] { return head_done_; }, patience); !waited) return waited;
        if (head_done_) return {};
        if (result_ != CURLE_OK) return unexpected(transfer_error());
        return unexpected(Error{url_ + ": the connection closed before the end of the response head"});
    }

    void forget_response() {
        error_buffer_[0] = '\0';
        location_seen_ = head_done_ = finished_ = paused_ = false;
        status_ = 0;
        result_ = CURLE_OK;
        content_encoding_.clear();
        body_.clear();
        offset_ = 0;
    }

    // Where a redirect leads: an empty "Location" is a link to the same address.
    std::string redirect_target() const {
        char* target = nullptr;
        curl_easy_getinfo(easy_, CURLINFO_REDIRECT_URL, &target);
        return target != nullptr ? std::string(target) : url_;
    }

    static std::size_t on_header(char* data, std::size_t, std::size_t size, void* self) {
        auto& transfer = *static_cast<CurlTransfer*>(self);
        transfer.note_header_line(std::string_view(data, size));
        return size;
    }

    static std::size_t on_body(char* data, std::size_t, std::size_t size, void* self) {
        auto& transfer = *static_cast<CurlTransfer*>(self);
        if (transfer.held() >= kHeldBytes) {
            transfer.paused_ = true;
            return CURL_WRITEFUNC_PAUSE;
        }
        transfer.hold(data, size);
        return size;
    }

    // A head ends at its blank line; it is the final one unless the server only said
    // "continue".
    void note_header_line(std::string_view line) {
        if (starts_with_ignoring_ascii_case(line, "location:")) location_seen_ = true;
        if (starts_with_ignoring_ascii_case(line, "content-encoding:")) {
            content_encoding_ = std::string(header_value(line, std::strlen("content-encoding:")));
        }
        if (!is_blank_line(line)) return;
        long status = 0;
        curl_easy_getinfo(easy_, CURLINFO_RESPONSE_CODE, &status);
        if (status < 200) {
            location_seen_ = false;
            content_encoding_.clear();
            return;
        }
        status_ = status;
        head_done_ = true;
    }

    std::size_t held() const { return body_.size() - offset_; }

    void hold(const char* data, std::size_t size) {
        if (offset_ == body_.size()) {
            body_.clear();
            offset_ = 0;
        }
        body_.append(data, size);
    }

    std::size_t take(char* buffer, std::size_t size) {
        const std::size_t count = std::min(size, held());
        std::memcpy(buffer, body_.data() + offset_, count);
        offset_ += count;
        return count;
    }

    // Drives the transfer until `ready` holds or the transfer has ended. Every time the
    // connection stirs (bytes arrive, or it can take the request), the wait starts anew: the
    // limit is on each single wait, never on the whole.
    template <class Ready>
    Result<void> pump(Ready ready, std::chrono::milliseconds patience) {
        auto deadline = Clock::now() + patience;
        for (;;) {
            int running = 0;
            if (const CURLMcode code = curl_multi_perform(agent_.multi, &running); code != CURLM_OK) {
                return unexpected(Error{url_ + ": " + curl_multi_strerror(code)});
            }
            collect_result();
            if (ready() || finished_) return {};
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            if (left.count() <= 0) {
                return unexpected(Error{url_ + ": " + curl_easy_strerror(CURLE_OPERATION_TIMEDOUT) +
                                        ": no data received for " + std::to_string(patience.count()) +
                                        " milliseconds"});
            }
            int stirred = 0;
            curl_multi_poll(agent_.multi, nullptr, 0, static_cast<int>(std::min<long long>(left.count(), 1000)),
                            &stirred);
            if (stirred > 0) deadline = Clock::now() + patience;
        }
    }

    void collect_result() {
        int left = 0;
        while (CURLMsg* message = curl_multi_info_read(agent_.multi, &left)) {
            if (message->msg == CURLMSG_DONE && message->easy_handle == easy_) {
                finished_ = true;
                result_ = message->data.result;
            }
        }
    }

    Error transfer_error() const {
        const std::string detail = error_buffer_[0] != '\0' ? error_buffer_ : curl_easy_strerror(result_);
        return Error{url_ + ": " + detail};
    }

    HttpAgent::State& agent_;
    std::string url_;
    CURL* easy_ = nullptr;
    curl_slist* headers_ = nullptr;
    bool added_ = false;
    char error_buffer_[CURL_ERROR_SIZE] = {};
    bool location_seen_ = false;
    std::string content_encoding_;
    bool head_done_ = false;
    long status_ = 0;
    bool finished_ = false;
    CURLcode result_ = CURLE_OK;
    bool paused_ = false;
    std::string body_;
    std::size_t offset_ = 0;
};

}  // namespace

HttpAgent::HttpAgent(const HttpAgentSettings& settings) : state_(std::make_unique<State>(settings)) {}
HttpAgent::~HttpAgent() = default;

Result<std::unique_ptr<ByteStream>> HttpAgent::get(const std::string& url) {
    auto transfer = std::make_unique<CurlTransfer>(*state_, url);
    if (auto started = transfer->start(); !started) return unexpected(started.error());
    const std::string encoding = transfer->content_encoding();
    std::string answered = transfer->url();
    return decoded_body(std::move(transfer), encoding, std::move(answered));
}

}  // namespace zarn::platform
