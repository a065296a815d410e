#include "tools/headset/CommandArguments.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>

#include "protocol/ServiceConstants.h"

namespace headset {

bool CommandArguments::TakeFlag(const std::string& name) {
    const auto found = std::find(words_.begin(), words_.end(), name);
    if (found == words_.end())
        return false;
    words_.erase(found);
    return true;
}

std::optional<std::string> CommandArguments::TakeValue(const std::string& name) {
    const auto found = std::find(words_.begin(), words_.end(), name);
    if (found == words_.end())
        return std::nullopt;
    if (found + 1 == words_.end()) {
        Fail(name + " needs a value");
        words_.erase(found);
        return std::nullopt;
    }
    std::string value = *(found + 1);
    words_.erase(found, found + 2);
    return value;
}

std::optional<int64_t> CommandArguments::Integer(const std::string& what, const std::string& text,
                                                 int64_t low, int64_t high) {
    int64_t value = 0;
    const auto [end, failure] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (failure != std::errc{} || end != text.data() + text.size() || value < low || value > high) {
        Fail(what + " must be a whole number from " + std::to_string(low) + " to " +
             std::to_string(high) + ", not \"" + text + "\"");
        return std::nullopt;
    }
    return value;
}

std::optional<int64_t> CommandArguments::TakeInteger(const std::string& name, int64_t low,
                                                     int64_t high) {
    const std::optional<std::string> text = TakeValue(name);
    if (!text)
        return std::nullopt;
    return Integer(name, *text, low, high);
}

std::optional<double> CommandArguments::TakeNumber(const std::string& name, double low,
                                                   double high) {
    const std::optional<std::string> text = TakeValue(name);
    if (!text)
        return std::nullopt;
    char* end = nullptr;
    const double value = std::strtod(text->c_str(), &end);
    if (text->empty() || *end != '\0' || !(value >= low && value <= high)) {
        Fail(name + " must be a number from " + std::to_string(low) + " to " +
             std::to_string(high) + ", not \"" + *text + "\"");
        return std::nullopt;
    }
    return value;
}

std::vector<std::string> CommandArguments::Positionals(size_t count) {
    for (const std::string& word : words_) {
        if (word.rfind("--", 0) == 0)
            Fail("unknown option " + word);
    }
    if (words_.size() != count)
        Fail("expects " + std::to_string(count) + " argument" + (count == 1 ? "" : "s") + ", got " +
             std::to_string(words_.size()));
    return words_;
}

CommandArguments::ServerAddress CommandArguments::Server(const std::string& text) {
    ServerAddress server{text, servicePort};
    const size_t colon = text.rfind(':');
    if (colon == std::string::npos)
        return server;
    server.host = text.substr(0, colon);
    if (server.host.empty())
        Fail("HOST:PORT needs a host before the colon, not \"" + text + "\"");
    server.port =
        static_cast<uint16_t>(Integer("PORT", text.substr(colon + 1), 1, 65535).value_or(0));
    return server;
}

CommandArguments::ServerAddress CommandArguments::ServerOnly() {
    const std::vector<std::string> words = Positionals(1);
    return words.size() == 1 ? Server(words[0]) : ServerAddress{};
}

CommandArguments::TitleAddress CommandArguments::HostAndTitle() {
    const std::vector<std::string> words = Positionals(2);
    TitleAddress title;
    if (words.size() != 2)
        return title;
    title.server = Server(words[0]);
    title.index = static_cast<int32_t>(Integer("INDEX", words[1], 0, INT32_MAX).value_or(0));
    return title;
}

}  // namespace headset
