#include "app/CommandLine.h"

#include "platform/PathBytes.h"
#include "platform/WideText.h"
#include "service/DirectoryRegistration.h"

const char kUsageText[] =
    "usage: OnduLofrin [OPTION]... [FILE|FOLDER]...\n"
    "       OnduLofrin --serve [OPTION]... FILE|FOLDER...\n"
    "Shares videos with the VR headsets on the local network. Without --serve\n"
    "it opens the window with the files listed; with --serve it serves them\n"
    "without a window until interrupted (Ctrl-C or SIGTERM), following its\n"
    "folders as they change; SIGHUP reads them again. A folder stands for the\n"
    "videos in it and in its subfolders. Options and files may come in any\n"
    "order; \"--\" ends the options.\n"
    "\n"
    "  --serve           serve without a window\n"
    "  --bind ADDR       listen and announce on this IPv4 address instead of the\n"
    "                    addresses of the interfaces that have a link (repeatable)\n"
    "  --directory URL   register with the directory at this http or https\n"
    "                    address (scheme, host and port) instead of ours\n"
    "  --no-directory    register with no directory at all\n"
    "  --no-cache        read every file afresh, and keep nothing of it in the\n"
    "                    cache of titles\n"
    "  --xdg-state       keep Config.ini and the log in $XDG_STATE_HOME/ondulofrin\n"
    "                    (~/.local/state/ondulofrin) instead of the current\n"
    "                    directory, made when missing; the desktop entry uses it\n"
    "  --quiet           log only errors on standard error\n"
    "  --verbose         log also one line per request on standard error\n"
    "  -h, --help        print this help and exit\n"
    "  --version         print the version and exit\n"
    "\n"
    "Config.ini in the current directory may hold, in its section [Service],\n"
    "Directory=URL or Directory=none: the registration of both modes when no\n"
    "option above says otherwise; the window keeps its list of files in its\n"
    "section [Files]. What each title's reading found is kept in\n"
    "$XDG_CACHE_HOME/ondulofrin (~/.cache/ondulofrin), or in $CACHE_DIRECTORY\n"
    "when systemd names one; removing that folder clears it.\n";

const char kHelpPointer[] = "Try 'OnduLofrin --help' for more information.";

namespace {

std::wstring AbsolutePath(const std::string& name, std::wstring_view currentDirectory) {
    std::wstring path = platform::PathFromOsBytes(name);
    if (path.starts_with(L'/') || currentDirectory.empty())
        return path;
    std::wstring absolute(currentDirectory);
    if (!absolute.ends_with(L'/'))
        absolute += L'/';
    return absolute + path;
}

bool IsOption(const std::string& argument) {
    return argument.size() > 1 && argument[0] == '-';
}

// Reads the arguments one by one into `line`; the mode it sets is only a
// first guess, settled by SettleMode.
class Reader {
public:
    Reader(const std::vector<std::string>& arguments, std::wstring_view currentDirectory,
           CommandLine& line)
        : arguments_(arguments), currentDirectory_(currentDirectory), line_(line) {}

    void ReadAll() {
        for (next_ = 0; next_ < arguments_.size();) {
            const std::string& argument = arguments_[next_++];
            if (optionsEnded_ || !IsOption(argument)) {
                line_.files.push_back(AbsolutePath(argument, currentDirectory_));
            } else if (argument == "--") {
                optionsEnded_ = true;
            } else {
                ReadOption(argument);
            }
        }
    }

    bool help = false;
    bool version = false;
    bool serve = false;
    bool quiet = false;
    bool verbose = false;

private:
    void ReadOption(const std::string& option) {
        if (option == "--help" || option == "-h") {
            help = true;
        } else if (option == "--version") {
            version = true;
        } else if (option == "--serve") {
            serve = true;
        } else if (option == "--quiet") {
            quiet = true;
        } else if (option == "--verbose") {
            verbose = true;
        } else if (option == "--no-directory") {
            line_.noDirectory = true;
        } else if (option == "--no-cache") {
            line_.noCache = true;
        } else if (option == "--xdg-state") {
            line_.xdgState = true;
        } else if (option == "--bind") {
            ReadBindAddress();
        } else if (option == "--directory") {
            ReadDirectory();
        } else {
            line_.problems.push_back("unknown option " + option);
        }
    }

    const std::string* Value(const char* option, const char* what) {
        if (next_ < arguments_.size())
            return &arguments_[next_++];
        line_.problems.push_back(std::string(option) + " needs " + what);
        return nullptr;
    }

    void ReadBindAddress() {
        const std::string* text = Value("--bind", "an IPv4 address");
        if (text == nullptr)
            return;
        if (const auto address = platform::ParseIpv4Address(*text)) {
            line_.bindAddresses.push_back(*address);
        } else {
            line_.problems.push_back("--bind: " + *text + " is not an IPv4 address");
        }
    }

    void ReadDirectory() {
        const std::string* text = Value("--directory", "a URL");
        if (text == nullptr)
            return;
        line_.directoryOrigin = ParseDirectoryOrigin(*text);
        if (!line_.directoryOrigin) {
            line_.problems.push_back("--directory: " + *text +
                                     " is not an http or https address with a host");
        }
    }

    const std::vector<std::string>& arguments_;
    std::wstring_view currentDirectory_;
    CommandLine& line_;
    size_t next_ = 0;
    bool optionsEnded_ = false;
};

// Help and version are answered whatever else the line holds; otherwise the
// options that contradict each other are problems too.
void SettleMode(const Reader& reader, CommandLine& line) {
    if (reader.help) {
        line.mode = CommandLine::Mode::Help;
        return;
    }
    if (reader.version) {
        line.mode = CommandLine::Mode::Version;
        return;
    }
    if (line.noDirectory && line.directoryOrigin)
        line.problems.push_back("--directory and --no-directory exclude each other");
    if (reader.quiet && reader.verbose)
        line.problems.push_back("--quiet and --verbose exclude each other");
    if (reader.serve && line.files.empty())
        line.problems.push_back("--serve needs at least one FILE or FOLDER");
    using platform::OperatorDetail;
    line.detail = reader.quiet     ? OperatorDetail::Errors
                  : reader.verbose ? OperatorDetail::Requests
                                   : OperatorDetail::Events;
    if (!line.problems.empty()) {
        line.mode = CommandLine::Mode::Invalid;
    } else {
        line.mode = reader.serve ? CommandLine::Mode::Serve : CommandLine::Mode::Window;
    }
}

}  // namespace

CommandLine ParseCommandLine(const std::vector<std::string>& arguments,
                             std::wstring_view currentDirectory) {
    CommandLine line;
    Reader reader(arguments, currentDirectory, line);
    reader.ReadAll();
    SettleMode(reader, line);
    return line;
}
