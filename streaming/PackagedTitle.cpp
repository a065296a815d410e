#include "streaming/PackagedTitle.h"

// Packaged titles are not served yet: these requests go unanswered.
void OpenPackagedTitle(bsMemRead&, ClientSession&) {}
void FetchPackagedData(bsMemRead&, ClientSession&) {}
