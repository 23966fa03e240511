#include "platform/http_agent.h"

#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstring>
#include <string>
#include <string_view>

namespace zarn::platform {

namespace {

using Clock = std::chrono::steady_clock;

// What the body callback holds back for the next reads; beyond it the transfer is paused, so
// memory stays the same whatever the size of the body.
constexpr std::size_t kHeldBytes = 64 * 1024;

void initialise_curl_once() {
    static const CURLcode ignored = curl_global_init(CURL_GLOBAL_DEFAULT);
    (void)ignored;
}

bool is_blank_line(std::string_view line) { return line == "\r\n" || line == "\n"; }

bool starts_with_ignoring_case(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() &&
           std::equal(prefix.begin(), prefix.end(), text.begin(), [](char a, char b) {
               return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
           });
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
// transfer only moves while a read waits for it.
class CurlTransfer final : public ByteStream {
public:
    CurlTransfer(HttpAgent::State& agent, std::string url) : agent_(agent), url_(std::move(url)) {}

    ~CurlTransfer() override {
        if (easy_ == nullptr) return;
        if (added_) curl_multi_remove_handle(agent_.multi, easy_);
        curl_easy_cleanup(easy_);
    }

    CurlTransfer(const CurlTransfer&) = delete;
    CurlTransfer& operator=(const CurlTransfer&) = delete;

    // Sends the request and waits until the final response's head has arrived.
    Result<void> start() {
        if (agent_.multi == nullptr || (easy_ = curl_easy_init()) == nullptr) {
            return unexpected(Error{url_ + ": " + curl_easy_strerror(CURLE_OUT_OF_MEMORY)});
        }
        configure();
        if (curl_multi_add_handle(agent_.multi, easy_) != CURLM_OK) {
            return unexpected(Error{url_ + ": " + curl_easy_strerror(CURLE_FAILED_INIT)});
        }
        added_ = true;
        // The wait for the head covers the connection and then the first read.
        const auto patience = agent_.settings.connect_timeout + agent_.settings.read_timeout;
        if (auto waited = pump([this] { return head_done_; }, patience); !waited) return waited;
        // Once the final head is in, the request has succeeded: a transfer that broke off after
        // it is a failure of the body, told by the read that meets it.
        if (!head_done_ && finished_ && result_ != CURLE_OK) return unexpected(transfer_error());
        if (status_ >= 400) return unexpected(Error{effective_url() + ": status code " + std::to_string(status_)});
        return {};
    }

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
        curl_easy_setopt(easy_, CURLOPT_URL, url_.c_str());
        curl_easy_setopt(easy_, CURLOPT_HTTPGET, 1L);
        curl_easy_setopt(easy_, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(easy_, CURLOPT_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(easy_, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(easy_, CURLOPT_FOLLOWLOCATION, 1L);
        curl_easy_setopt(easy_, CURLOPT_MAXREDIRS, 5L);
        // An empty proxy also overrides http_proxy, https_proxy and all_proxy.
        curl_easy_setopt(easy_, CURLOPT_PROXY, "");
        curl_easy_setopt(easy_, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(agent_.settings.connect_timeout.count()));
        curl_easy_setopt(easy_, CURLOPT_ACCEPT_ENCODING, "gzip");
        curl_easy_setopt(easy_, CURLOPT_ERRORBUFFER, error_buffer_);
        curl_easy_setopt(easy_, CURLOPT_HEADERFUNCTION, &CurlTransfer::on_header);
        curl_easy_setopt(easy_, CURLOPT_HEADERDATA, this);
        curl_easy_setopt(easy_, CURLOPT_WRITEFUNCTION, &CurlTransfer::on_body);
        curl_easy_setopt(easy_, CURLOPT_WRITEDATA, this);
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

    // A head ends at its blank line; it is the final one unless curl goes on to follow a
    // redirect or the server only said "continue".
    void note_header_line(std::string_view line) {
        if (starts_with_ignoring_case(line, "location:")) redirects_ = true;
        if (!is_blank_line(line)) return;
        long status = 0;
        curl_easy_getinfo(easy_, CURLINFO_RESPONSE_CODE, &status);
        const bool followed = status >= 300 && status < 400 && status != 304 && redirects_;
        redirects_ = false;
        if (status < 200 || followed) return;
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

    // Drives the transfer until `ready` holds, the transfer has ended, or nothing arrived
    // for `patience`.
    template <class Ready>
    Result<void> pump(Ready ready, std::chrono::milliseconds patience) {
        const auto deadline = Clock::now() + patience;
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
            curl_multi_poll(agent_.multi, nullptr, 0, static_cast<int>(std::min<long long>(left.count(), 1000)),
                            nullptr);
        }
    }

    void collect_result() {
        int left = 0;
        while (CURLMsg* message = curl_multi_info_read(agent_.multi, &left)) {
            if (message->msg == CURLMSG_DONE && message->easy_handle == easy_) {
                finished_ = true;
                result_ = message->data.result;
                // A transfer that ends without a body still has a head to answer with.
                if (result_ == CURLE_OK && !head_done_) {
                    curl_easy_getinfo(easy_, CURLINFO_RESPONSE_CODE, &status_);
                    head_done_ = true;
                }
            }
        }
    }

    Error transfer_error() const {
        const std::string detail = error_buffer_[0] != '\0' ? error_buffer_ : curl_easy_strerror(result_);
        return Error{url_ + ": " + detail};
    }

    std::string effective_url() const {
        char* url = nullptr;
        curl_easy_getinfo(easy_, CURLINFO_EFFECTIVE_URL, &url);
        return url != nullptr ? url : url_;
    }

    HttpAgent::State& agent_;
    std::string url_;
    CURL* easy_ = nullptr;
    bool added_ = false;
    char error_buffer_[CURL_ERROR_SIZE] = {};
    bool redirects_ = false;
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
    return std::unique_ptr<ByteStream>(std::move(transfer));
}

}  // namespace zarn::platform
