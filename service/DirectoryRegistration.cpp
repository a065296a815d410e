#include "service/DirectoryRegistration.h"

#include <curl/curl.h>

#include <charconv>
#include <cstdint>
#include <cstdio>
#include <memory>

#include "protocol/ServiceConstants.h"

namespace {

constexpr char kRegistrationPath[] = "/ondusvr.aspx?Action=LofrinSvr";
constexpr size_t kMaxRegisteredAddresses = 8;

// Without a bound a PC with no way out would wait minutes at every start,
// since the start, and with it the window, waits for the request.
constexpr long kConnectTimeoutMs = 3000;
constexpr long kTotalTimeoutMs = 5000;

// Initialised on first use and released at process exit.
class CurlLibrary {
public:
    CurlLibrary() : ready_(curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK) {}
    ~CurlLibrary() {
        if (ready_)
            curl_global_cleanup();
    }
    CurlLibrary(const CurlLibrary&) = delete;
    CurlLibrary& operator=(const CurlLibrary&) = delete;

    bool Ready() const { return ready_; }

private:
    const bool ready_;
};

bool CurlReady() {
    static CurlLibrary library;
    return library.Ready();
}

struct EasyHandleDeleter {
    void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
struct UrlHandleDeleter {
    void operator()(CURLU* handle) const { curl_url_cleanup(handle); }
};
struct CurlTextDeleter {
    void operator()(char* text) const { curl_free(text); }
};

// One part of a parsed URL, or nothing when the URL has no such part.
std::optional<std::string> UrlPart(CURLU* url, CURLUPart part) {
    char* raw = nullptr;
    if (curl_url_get(url, part, &raw, 0) != CURLUE_OK || raw == nullptr)
        return std::nullopt;
    const std::unique_ptr<char, CurlTextDeleter> text(raw);
    return std::string(text.get());
}

// The address's bytes, first octet lowest, as one signed 32-bit number: the
// form the directory expects.
int32_t AddressValue(const platform::Ipv4Address& address) {
    const uint32_t bits =
        static_cast<uint32_t>(address[0]) | static_cast<uint32_t>(address[1]) << 8 |
        static_cast<uint32_t>(address[2]) << 16 | static_cast<uint32_t>(address[3]) << 24;
    return static_cast<int32_t>(bits);
}

// Nothing of the answer is wanted, so the transfer ends at its first byte.
size_t StopAtBody(char*, size_t, size_t, void*) {
    return 0;
}

// libcurl asks about once a second at least, also while it waits.
int StopWhenCancelled(void* cancel, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    return static_cast<const std::atomic<bool>*>(cancel)->load(std::memory_order_relaxed) ? 1 : 0;
}

}  // namespace

std::optional<std::string> ParseDirectoryOrigin(std::string_view text) {
    if (text.find('\0') != std::string_view::npos || !CurlReady())
        return std::nullopt;
    const std::unique_ptr<CURLU, UrlHandleDeleter> url(curl_url());
    const std::string terminated(text);
    if (!url || curl_url_set(url.get(), CURLUPART_URL, terminated.c_str(), 0) != CURLUE_OK)
        return std::nullopt;

    const auto scheme = UrlPart(url.get(), CURLUPART_SCHEME);
    if (scheme != "http" && scheme != "https")
        return std::nullopt;
    // Only the scheme, host and port are ours to change; the path and query
    // are the directory's.
    if (UrlPart(url.get(), CURLUPART_PATH) != "/" || UrlPart(url.get(), CURLUPART_QUERY) ||
        UrlPart(url.get(), CURLUPART_FRAGMENT) || UrlPart(url.get(), CURLUPART_USER) ||
        UrlPart(url.get(), CURLUPART_PASSWORD) || UrlPart(url.get(), CURLUPART_ZONEID))
        return std::nullopt;
    const auto host = UrlPart(url.get(), CURLUPART_HOST);
    if (!host || host->empty())
        return std::nullopt;

    std::string origin = *scheme + "://" + *host;
    if (const auto port = UrlPart(url.get(), CURLUPART_PORT)) {
        unsigned number = 0;
        const auto [end, error] =
            std::from_chars(port->data(), port->data() + port->size(), number);
        if (error != std::errc{} || end != port->data() + port->size() || number == 0 ||
            number > 65535)
            return std::nullopt;
        origin += ":" + std::to_string(number);
    }
    return origin;
}

std::string BuildRegistrationUrl(std::string_view origin, size_t titleCount,
                                 const std::vector<platform::Ipv4Address>& addresses) {
    std::string url(origin);
    url += kRegistrationPath;
    char piece[64];
    std::snprintf(piece, sizeof piece, "&CPort=%d&VrmFNum=%d", static_cast<int>(servicePort),
                  static_cast<int>(titleCount));
    url += piece;
    for (size_t k = 0; k < addresses.size() && k < kMaxRegisteredAddresses; ++k) {
        std::snprintf(piece, sizeof piece, "&IPPos%d=%d", static_cast<int>(k),
                      static_cast<int>(AddressValue(addresses[k])));
        url += piece;
    }
    return url;
}

RegistrationReport RegisterWithDirectory(const std::optional<std::string>& origin,
                                         size_t titleCount,
                                         const std::vector<platform::Ipv4Address>& addresses,
                                         const std::atomic<bool>* cancel) {
    using Outcome = RegistrationReport::Outcome;
    if (addresses.empty())
        return {Outcome::NotSent, 0, "no address"};
    if (titleCount == 0)
        return {Outcome::NotSent, 0, "no title"};
    if (!origin)
        return {Outcome::NotSent, 0, "no directory"};
    if (!CurlReady())
        return {Outcome::Failed, 0, "libcurl could not be set up"};
    const std::unique_ptr<CURL, EasyHandleDeleter> request(curl_easy_init());
    if (!request)
        return {Outcome::Failed, 0, "libcurl could not make a request"};

    const std::string url = BuildRegistrationUrl(*origin, titleCount, addresses);
    CURL* handle = request.get();
    curl_easy_setopt(handle, CURLOPT_URL, url.c_str());
    curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "http,https");
    // One request per start: a redirect is not followed anywhere.
    curl_easy_setopt(handle, CURLOPT_FOLLOWLOCATION, 0L);
    // Signals for time-outs are not safe in a process with several threads,
    // which the window front end always is.
    curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT_MS, kConnectTimeoutMs);
    curl_easy_setopt(handle, CURLOPT_TIMEOUT_MS, kTotalTimeoutMs);
    curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, StopAtBody);
    if (cancel != nullptr) {
        curl_easy_setopt(handle, CURLOPT_XFERINFOFUNCTION, StopWhenCancelled);
        curl_easy_setopt(handle, CURLOPT_XFERINFODATA, cancel);
        curl_easy_setopt(handle, CURLOPT_NOPROGRESS, 0L);
    }
    // Proxies come from the usual environment variables, which libcurl reads
    // itself. The transfer ends at the answer's first byte, which libcurl
    // counts as a failure; an answer's status says the request arrived.
    const CURLcode result = curl_easy_perform(handle);
    long status = 0;
    curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &status);
    if (status > 0)
        return {Outcome::Sent, status, {}};
    return {Outcome::Failed, 0, curl_easy_strerror(result)};
}
