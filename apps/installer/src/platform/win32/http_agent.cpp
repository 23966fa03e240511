#include "platform/http_agent.h"

#include <windows.h>
#include <winhttp.h>
#include <algorithm>
#include <cwchar>
#include <cwctype>
#include <optional>
#include <string>
#include <string_view>

#include "platform/gzip_body.h"
#include "platform/os_error.h"
#include "platform/win32/wide.h"

namespace zarn::platform {

namespace {

constexpr int kMaxRedirects = 5;

// Texts for the codes that a download meets, where the system has none of its own to give.
std::string_view fallback_text(DWORD code) {
    switch (code) {
        case ERROR_WINHTTP_TIMEOUT:
        case WSAETIMEDOUT: return "The operation timed out";
        case ERROR_WINHTTP_NAME_NOT_RESOLVED: return "The server name or address could not be resolved";
        case ERROR_WINHTTP_CANNOT_CONNECT: return "A connection with the server could not be established";
        case ERROR_WINHTTP_CONNECTION_ERROR:
        case WSAECONNRESET: return "The connection with the server was reset or terminated";
        case ERROR_WINHTTP_INVALID_URL: return "The URL is invalid";
        case ERROR_WINHTTP_UNRECOGNIZED_SCHEME: return "The URL does not use a recognized protocol";
        case ERROR_WINHTTP_INVALID_SERVER_RESPONSE: return "The server response could not be parsed";
        case ERROR_WINHTTP_SECURE_FAILURE: return "A security error occurred";
        case ERROR_WINHTTP_SECURE_CHANNEL_ERROR: return "An error occurred in the secure channel support";
        default: return "";
    }
}

// WinHTTP keeps the texts of its own codes (12001 and up) in its module.
Error winhttp_error(DWORD code) {
    wchar_t* buffer = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_FROM_SYSTEM |
            FORMAT_MESSAGE_IGNORE_INSERTS,
        ::GetModuleHandleW(L"winhttp.dll"), code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring message = length > 0 ? std::wstring(buffer, length) : std::wstring();
    if (buffer != nullptr) ::LocalFree(buffer);
    while (!message.empty() && std::iswspace(message.back())) message.pop_back();
    const std::string text = message.empty() ? std::string(fallback_text(code)) : narrow(message);
    return Error{text + " (os error " + std::to_string(code) + ")"};
}

Error request_error(const std::string& url, DWORD code = ::GetLastError()) {
    return Error{url + ": " + winhttp_error(code).text};
}

class InternetHandle {
public:
    InternetHandle() = default;
    explicit InternetHandle(HINTERNET handle) : handle_(handle) {}
    ~InternetHandle() {
        if (handle_ != nullptr) ::WinHttpCloseHandle(handle_);
    }
    InternetHandle(const InternetHandle&) = delete;
    InternetHandle& operator=(const InternetHandle&) = delete;
    InternetHandle& operator=(InternetHandle&& other) noexcept {
        std::swap(handle_, other.handle_);
        return *this;
    }
    HINTERNET get() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr; }

private:
    HINTERNET handle_ = nullptr;
};

int milliseconds(std::chrono::milliseconds value) { return static_cast<int>(value.count()); }

bool is_redirect(DWORD status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

// The address a "Location" header leads to from `from`; an empty one is a link to the same
// address.
std::string follow(const std::string& from, const std::string& location) {
    if (location.empty()) return from.substr(0, from.find('#'));
    const auto scheme_end = from.find("://");
    const auto path_start = from.find('/', scheme_end == std::string::npos ? 0 : scheme_end + 3);
    const std::string origin = from.substr(0, path_start);
    if (location.find("://") != std::string::npos && location.find("://") < location.find('/')) return location;
    if (location.rfind("//", 0) == 0) return from.substr(0, scheme_end + 1) + location;
    if (location.rfind("/", 0) == 0) return origin + location;
    std::string base = path_start == std::string::npos ? origin + "/" : from.substr(0, from.find_first_of("?#", path_start));
    return base.substr(0, base.rfind('/') + 1) + location;
}

std::optional<std::wstring> header_text(HINTERNET request, DWORD query) {
    DWORD bytes = 0;
    ::WinHttpQueryHeaders(request, query, WINHTTP_HEADER_NAME_BY_INDEX, nullptr, &bytes, WINHTTP_NO_HEADER_INDEX);
    if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER || bytes == 0) return std::nullopt;
    std::wstring text(bytes / sizeof(wchar_t), L'\0');
    if (!::WinHttpQueryHeaders(request, query, WINHTTP_HEADER_NAME_BY_INDEX, text.data(), &bytes,
                               WINHTTP_NO_HEADER_INDEX)) {
        return std::nullopt;
    }
    text.resize(bytes / sizeof(wchar_t));
    return text;
}

}  // namespace

struct HttpAgent::State {
    HttpAgentSettings settings;
    InternetHandle session;

    explicit State(const HttpAgentSettings& given) : settings(given) {
        // No agent name: no User-Agent header of the program's own.
        session = InternetHandle(
            ::WinHttpOpen(nullptr, WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
        if (!session) return;
        // Resolving and sending wait without limit (0); receiving waits the read time-out.
        ::WinHttpSetTimeouts(session.get(), 0, milliseconds(settings.connect_timeout), 0,
                             milliseconds(settings.read_timeout));
        // The head is read from the connection too, but WinHTTP waits for it under a limit of
        // its own (90 seconds by default) unless told otherwise. Wine applies this limit to
        // each wait for the head's bytes, as the read time-out is meant; Windows documents it
        // as the limit on receiving the whole head, so there a head that trickles in for
        // longer than the read time-out in all fails, and synchronous WinHTTP has no limit on
        // each single wait for the head to put in its place.
        DWORD head_timeout = static_cast<DWORD>(milliseconds(settings.read_timeout));
        ::WinHttpSetOption(session.get(), WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &head_timeout, sizeof head_timeout);
        // WinHTTP's own decompression stays off: gzip is undone by the decoder that the Linux
        // build uses too, which tells a cut or damaged stream the same way.
    }
};

namespace {

// One GET whose body is read as the connection delivers it, each wait for data limited by the
// session's receive time-out. Redirects are followed here, so that their number is ours.
class WinHttpTransfer final : public ByteStream {
public:
    WinHttpTransfer(HttpAgent::State& agent, std::string url) : agent_(agent), url_(std::move(url)) {}

    Result<void> start() {
        for (int redirects = 0;; ++redirects) {
            auto status = send(url_);
            if (!status) return unexpected(status.error());
            const auto location = header_text(request_.get(), WINHTTP_QUERY_LOCATION);
            if (!is_redirect(*status) || !location) {
                if (*status >= 400) return unexpected(Error{url_ + ": status code " + std::to_string(*status)});
                break;
            }
            if (redirects == kMaxRedirects) return unexpected(Error{url_ + ": too many redirects"});
            url_ = follow(url_, narrow(*location));
        }
        note_promised_length();
        return {};
    }

    const std::string& url() const { return url_; }

    std::string content_encoding() const {
        const auto encoding = header_text(request_.get(), WINHTTP_QUERY_CONTENT_ENCODING);
        return encoding ? narrow(*encoding) : std::string();
    }

    Result<std::size_t> read(char* buffer, std::size_t size) override {
        DWORD available = 0;
        if (!::WinHttpQueryDataAvailable(request_.get(), &available)) return unexpected(request_error(url_));
        if (available == 0) {
            if (promised_ && received_ < *promised_) {
                return unexpected(request_error(url_, ERROR_WINHTTP_CONNECTION_ERROR));
            }
            return std::size_t{0};
        }
        DWORD count = 0;
        const DWORD wanted = static_cast<DWORD>(std::min<std::size_t>(size, available));
        if (!::WinHttpReadData(request_.get(), buffer, wanted, &count)) return unexpected(request_error(url_));
        received_ += count;
        return std::size_t{count};
    }

private:
    Result<DWORD> send(const std::string& url) {
        if (!agent_.session) return unexpected(request_error(url));
        const std::wstring wide_url = widen(url);
        URL_COMPONENTS parts{};
        parts.dwStructSize = sizeof parts;
        parts.dwSchemeLength = parts.dwHostNameLength = parts.dwUrlPathLength = parts.dwExtraInfoLength =
            static_cast<DWORD>(-1);
        if (!::WinHttpCrackUrl(wide_url.c_str(), 0, 0, &parts)) return unexpected(request_error(url));
        const std::wstring host(parts.lpszHostName, parts.dwHostNameLength);
        std::wstring path(parts.lpszUrlPath, parts.dwUrlPathLength);
        path.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);
        if (path.empty()) path = L"/";

        request_ = InternetHandle();
        connection_ = InternetHandle(::WinHttpConnect(agent_.session.get(), host.c_str(), parts.nPort, 0));
        if (!connection_) return unexpected(request_error(url));
        const DWORD secure = parts.nScheme == INTERNET_SCHEME_HTTPS ? WINHTTP_FLAG_SECURE : 0;
        request_ = InternetHandle(::WinHttpOpenRequest(connection_.get(), L"GET", path.c_str(), nullptr,
                                                       WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES, secure));
        if (!request_) return unexpected(request_error(url));
        DWORD no_redirects = WINHTTP_DISABLE_REDIRECTS;
        ::WinHttpSetOption(request_.get(), WINHTTP_OPTION_DISABLE_FEATURE, &no_redirects, sizeof no_redirects);
        // gzip is asked for here and undone by our own decoder.
        if (!::WinHttpSendRequest(request_.get(), L"Accept-Encoding: gzip", static_cast<DWORD>(-1),
                                  WINHTTP_NO_REQUEST_DATA, 0, 0, 0) ||
            !::WinHttpReceiveResponse(request_.get(), nullptr)) {
            return unexpected(request_error(url));
        }
        DWORD status = 0;
        DWORD size = sizeof status;
        if (!::WinHttpQueryHeaders(request_.get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                                   WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX)) {
            return unexpected(request_error(url));
        }
        return status;
    }

    // WinHTTP hands over the bytes as sent: a body cut short is told by its length.
    void note_promised_length() {
        if (const auto length = header_text(request_.get(), WINHTTP_QUERY_CONTENT_LENGTH)) {
            // Read as text: a package may be larger than 4 GiB.
            wchar_t* end = nullptr;
            const auto value = std::wcstoull(length->c_str(), &end, 10);
            if (end != length->c_str() && *end == L'\0') promised_ = value;
        }
    }

    HttpAgent::State& agent_;
    std::string url_;
    InternetHandle connection_;
    InternetHandle request_;
    std::optional<std::uint64_t> promised_;
    std::uint64_t received_ = 0;
};

}  // namespace

HttpAgent::HttpAgent(const HttpAgentSettings& settings) : state_(std::make_unique<State>(settings)) {}
HttpAgent::~HttpAgent() = default;

Result<std::unique_ptr<ByteStream>> HttpAgent::get(const std::string& url) {
    auto transfer = std::make_unique<WinHttpTransfer>(*state_, url);
    if (auto started = transfer->start(); !started) return unexpected(started.error());
    const std::string encoding = transfer->content_encoding();
    std::string answered = transfer->url();
    return decoded_body(std::move(transfer), encoding, std::move(answered));
}

}  // namespace zarn::platform
