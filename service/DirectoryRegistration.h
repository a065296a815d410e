#pragma once

#include <atomic>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/LocalAddresses.h"
#include "service/StartReport.h"

// The project's own directory, where every start registers unless a front end
// names another one or none (ServiceOptions::directoryOrigin).
inline constexpr char kDirectoryOrigin[] = "http://lofrin.ondulofrin.net";

// Reads the value of `--directory`: an http or https URL naming a host and at
// most a port and a closing "/", nothing else. Gives it back in the form
// "scheme://host[:port]", or nothing when the text is not such a URL.
std::optional<std::string> ParseDirectoryOrigin(std::string_view text);

// The registration URL for the directory at `origin`: the fixed path and
// action, the service port, the number of titles and the first eight
// addresses, each as its four bytes read as a little-endian signed integer.
std::string BuildRegistrationUrl(std::string_view origin, size_t titleCount,
                                 const std::vector<platform::Ipv4Address>& addresses);

// Tells the directory at `origin` (none: no registration) about this start
// with one GET, when there is at least one address and one title. Waits at
// most a few seconds, less once `cancel` is raised, and never reads the
// answer's body; nothing depends on the outcome, which is only reported.
RegistrationReport RegisterWithDirectory(const std::optional<std::string>& origin,
                                         size_t titleCount,
                                         const std::vector<platform::Ipv4Address>& addresses,
                                         const std::atomic<bool>* cancel = nullptr);
