#include "app/ServiceOptionsChoice.h"

#include "app/CacheChoice.h"
#include "app/DirectoryChoice.h"

ServiceOptions ChooseServiceOptions(const CommandLine& line, const std::wstring& configPath,
                                    EnvironmentLookup variable) {
    ServiceOptions options;
    options.paths = line.files;
    if (!line.bindAddresses.empty())
        options.bindAddresses = line.bindAddresses;
    options.directoryOrigin = ChooseDirectory(line, configPath);
    options.cacheDirectory = ChooseCacheDirectory(line, variable);
    return options;
}
