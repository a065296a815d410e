#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/ProgramVersion.h"
#include "tools/headset/Commands.h"

// ondu-headset: what a headset sees of an OnduLofrin server, on the command
// line.
namespace {

struct Subcommand {
    const char* name;
    int (*run)(headset::CommandArguments&);
    const char* usage;
};

const Subcommand kSubcommands[] = {
    {"discover", headset::RunDiscover,
     "usage: ondu-headset discover [--seconds N] [--first]\n"
     "  Listens for server announcements on UDP port 12450 for N seconds (3 by\n"
     "  default) and prints each server heard: its addresses, port and title\n"
     "  count. Malformed datagrams are reported. --first stops at the first\n"
     "  server. Exits 1 when no server was heard.\n"},
    {"list", headset::RunList,
     "usage: ondu-headset list HOST[:PORT] [--thumbs DIR]\n"
     "  Describes every title of the server at HOST: index, name and thumbnail\n"
     "  size, and for ordinary media files the streams, MIME type, profile and\n"
     "  level (the decoder's codes and their names), frame rate and duration\n"
     "  the server reports. --thumbs writes each thumbnail to\n"
     "  DIR/title-INDEX.png.\n"},
    {"play", headset::RunPlay,
     "usage: ondu-headset play HOST[:PORT] INDEX --out FILE.mkv [--seek SECONDS]\n"
     "  Plays an ordinary media title the way a headset does, pulling packet\n"
     "  batches until the end, and writes what arrives into a Matroska file\n"
     "  any player can open. --seek starts at that time; a time past the end\n"
     "  of the title is an error.\n"},
    {"fetch", headset::RunFetch,
     "usage: ondu-headset fetch HOST[:PORT] INDEX --out DIR\n"
     "  Opens a packaged movie title, fetches all its index records and the\n"
     "  data each record names, and writes DIR/header.bin, DIR/records.bin and\n"
     "  DIR/data.bin.\n"},
    {"load", headset::RunLoad,
     "usage: ondu-headset load HOST[:PORT] --clients N --seconds S [--rate MBIT]\n"
     "                                     [--title I[,I...]] [--seek-every SECONDS]\n"
     "  Runs N simulated headsets at once, each playing a title (the titles of\n"
     "  --title in turn, title 0 by default) for S seconds, at MBIT Mbit/s each\n"
     "  with one second of lead, or as fast as the server goes without --rate.\n"
     "  Prints the latency percentiles per request, the throughput, the clients\n"
     "  that fell behind their rate and the errors. Stops when the server goes\n"
     "  away (a connection refused or the host unreachable).\n"},
};

constexpr const char* kOverview =
    "usage: ondu-headset COMMAND [ARGUMENTS]\n"
    "       ondu-headset --version\n"
    "  discover   list the servers announcing themselves on the network\n"
    "  list       describe the titles of a server\n"
    "  play       play an ordinary media title into a Matroska file\n"
    "  fetch      fetch a packaged movie title into files\n"
    "  load       measure a server under many headsets\n"
    "Each command explains itself with --help. HOST may be HOST:PORT; the port\n"
    "is 23107 otherwise. Exit codes: 0 success, 1 failure, 2 wrong arguments.\n";

bool AsksForHelp(const std::vector<std::string>& words) {
    for (const std::string& word : words) {
        if (word == "--help" || word == "-h")
            return true;
    }
    return false;
}

}  // namespace

namespace headset {

int UsageError(const char* command, const std::string& message) {
    std::fprintf(stderr, "ondu-headset %s: %s\n(see ondu-headset %s --help)\n", command,
                 message.c_str(), command);
    return kExitUsage;
}

int Failure(const char* command, const std::string& message) {
    std::fprintf(stderr, "ondu-headset %s: %s\n", command, message.c_str());
    return kExitFailure;
}

}  // namespace headset

int main(int argc, char** argv) {
    if (argc < 2 || std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
        std::fputs(kOverview, argc < 2 ? stderr : stdout);
        return argc < 2 ? headset::kExitUsage : headset::kExitSuccess;
    }
    if (std::strcmp(argv[1], "--version") == 0) {
        std::printf("ondu-headset %s\n", kProgramVersion);
        return headset::kExitSuccess;
    }
    std::vector<std::string> words(argv + 2, argv + argc);
    for (const Subcommand& subcommand : kSubcommands) {
        if (std::strcmp(argv[1], subcommand.name) != 0)
            continue;
        if (AsksForHelp(words)) {
            std::fputs(subcommand.usage, stdout);
            return headset::kExitSuccess;
        }
        headset::CommandArguments arguments(std::move(words));
        return subcommand.run(arguments);
    }
    std::fprintf(stderr, "ondu-headset: unknown command \"%s\"\n%s", argv[1], kOverview);
    return headset::kExitUsage;
}
