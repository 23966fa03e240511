#include "platform/http_agent.h"

#include <windows.h>
#include <winhttp.h>
#include <zlib.h>

#include <algorithm>
#include <cwchar>
#include <cwctype>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

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

// The address a "Location" header leads to from `from`.
std::string follow(const std::string& from, const std::string& location) {
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

bool is_gzip(std::wstring encoding) {
    for (auto& c : encoding) c = static_cast<wchar_t>(std::towlower(c));
    return encoding == L"gzip" || encoding == L"x-gzip";
}

}  // namespace

struct HttpAgent::State {
    HttpAgentSettings settings;
    InternetHandle session;
    bool decodes_gzip = false;  // whether WinHTTP undoes gzip itself (not all versions can)

    explicit State(const HttpAgentSettings& given) : settings(given) {
        // No agent name: no User-Agent header of the program's own.
        session = InternetHandle(
            ::WinHttpOpen(nullptr, WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
        if (!session) return;
        // Resolving and sending wait without limit (0); receiving waits the read time-out.
        ::WinHttpSetTimeouts(session.get(), 0, milliseconds(settings.connect_timeout), 0,
                             milliseconds(settings.read_timeout));
        // The head is read from the connection too, but WinHTTP waits for it under a limit of
        // its own (90 seconds by default) unless told otherwise.
        DWORD head_timeout = static_cast<DWORD>(milliseconds(settings.read_timeout));
        ::WinHttpSetOption(session.get(), WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &head_timeout, sizeof head_timeout);
        DWORD decompression = WINHTTP_DECOMPRESSION_FLAG_GZIP;
        decodes_gzip =
            ::WinHttpSetOption(session.get(), WINHTTP_OPTION_DECOMPRESSION, &decompression, sizeof decompression);
    }
};

namespace {

// One GET whose body is read as the connection delivers it, each wait for data limited by the
// session's receive time-out. Redirects are followed here, so that their number is ours.
class WinHttpTransfer final : public ByteStream {
public:
    WinHttpTransfer(HttpAgent::State& agent, std::string url) : agent_(agent), url_(std::move(url)) {}

    ~WinHttpTransfer() override {
        if (inflating_) ::inflateEnd(&inflater_);
    }

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
        prepare_body();
        return {};
    }

    Result<std::size_t> read(char* buffer, std::size_t size) override {
        return inflating_ ? read_inflated(buffer, size) : read_raw(buffer, size);
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
        if (!::WinHttpSendRequest(request_.get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0, 0) ||
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

    // Where WinHTTP hands over the bytes as sent, a body cut short is told by its length and a
    // gzip body is undone here.
    void prepare_body() {
        const auto encoding = header_text(request_.get(), WINHTTP_QUERY_CONTENT_ENCODING);
        if (encoding && agent_.decodes_gzip) return;
        if (const auto length = header_text(request_.get(), WINHTTP_QUERY_CONTENT_LENGTH)) {
            // Read as text: a package may be larger than 4 GiB.
            wchar_t* end = nullptr;
            const auto value = std::wcstoull(length->c_str(), &end, 10);
            if (end != length->c_str() && *end == L'\0') promised_ = value;
        }
        if (encoding && is_gzip(*encoding)) {
            inflater_ = z_stream{};
            inflating_ = ::inflateInit2(&inflater_, 16 + MAX_WBITS) == Z_OK;
        }
    }

    Result<std::size_t> read_raw(char* buffer, std::size_t size) {
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

    Result<std::size_t> read_inflated(char* buffer, std::size_t size) {
        for (;;) {
            if (inflated_all_) return std::size_t{0};
            if (inflater_.avail_in == 0 && !raw_ended_) {
                const auto count = read_raw(compressed_.data(), compressed_.size());
                if (!count) return unexpected(count.error());
                raw_ended_ = *count == 0;
                inflater_.next_in = reinterpret_cast<Bytef*>(compressed_.data());
                inflater_.avail_in = static_cast<uInt>(*count);
            }
            inflater_.next_out = reinterpret_cast<Bytef*>(buffer);
            inflater_.avail_out = static_cast<uInt>(std::min<std::size_t>(size, 1u << 30));
            const uInt room = inflater_.avail_out;
            const int result = ::inflate(&inflater_, Z_NO_FLUSH);
            const std::size_t produced = room - inflater_.avail_out;
            if (result == Z_STREAM_END) inflated_all_ = true;
            if (produced > 0) return produced;
            if (result == Z_STREAM_END) return std::size_t{0};
            if ((result != Z_OK && result != Z_BUF_ERROR) || (raw_ended_ && inflater_.avail_in == 0)) {
                return unexpected(Error{url_ + ": the gzip body is damaged or incomplete"});
            }
        }
    }

    HttpAgent::State& agent_;
    std::string url_;
    InternetHandle connection_;
    InternetHandle request_;
    std::optional<std::uint64_t> promised_;
    std::uint64_t received_ = 0;
    bool inflating_ = false;
    z_stream inflater_{};
    std::vector<char> compressed_ = std::vector<char>(32'768);
    bool raw_ended_ = false;
    bool inflated_all_ = false;
};

}  // namespace

HttpAgent::HttpAgent(const HttpAgentSettings& settings) : state_(std::make_unique<State>(settings)) {}
HttpAgent::~HttpAgent() = default;

Result<std::unique_ptr<ByteStream>> HttpAgent::get(const std::string& url) {
    auto transfer = std::make_unique<WinHttpTransfer>(*state_, url);
    if (auto started = transfer->start(); !started) return unexpected(started.error());
    return std::unique_ptr<ByteStream>(std::move(transfer));
}

}  // namespace zarn::platform
