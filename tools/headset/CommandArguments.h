#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace headset {

constexpr int kExitSuccess = 0;
constexpr int kExitFailure = 1;  // the server, the network or a file let us down
constexpr int kExitUsage = 2;    // the command line was wrong

// The words after a subcommand's name: options taken out by name, the rest
// positional. The first problem met is kept for the usage message.
class CommandArguments {
public:
    explicit CommandArguments(std::vector<std::string> words) : words_(std::move(words)) {}

    bool TakeFlag(const std::string& name);
    std::optional<std::string> TakeValue(const std::string& name);
    std::optional<int64_t> TakeInteger(const std::string& name, int64_t low, int64_t high);
    std::optional<double> TakeNumber(const std::string& name, double low, double high);

    // What is left once every option was taken: the positional words. Any
    // option left over is an error.
    std::vector<std::string> Positionals(size_t count);

    // Where a server listens: HOST or HOST:PORT, the service's own port
    // when none is given.
    struct ServerAddress {
        std::string host;
        uint16_t port = 0;
    };
    ServerAddress Server(const std::string& text);

    // The one positional word HOST[:PORT].
    ServerAddress ServerOnly();

    // The two positional words HOST[:PORT] INDEX that name a title of a
    // server.
    struct TitleAddress {
        ServerAddress server;
        int32_t index = 0;
    };
    TitleAddress HostAndTitle();

    // The positional word `text` read as an integer in [low, high].
    std::optional<int64_t> Integer(const std::string& what, const std::string& text, int64_t low,
                                   int64_t high);

    const std::string& Error() const { return error_; }
    bool Failed() const { return !error_.empty(); }

private:
    void Fail(const std::string& message) {
        if (error_.empty())
            error_ = message;
    }

    std::vector<std::string> words_;
    std::string error_;
};

}  // namespace headset
