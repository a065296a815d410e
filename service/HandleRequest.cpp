#include "service/HandleRequest.h"

#include "protocol/RequestCodes.h"
#include "service/DescribeTitle.h"
#include "service/FetchPacketBatch.h"
#include "service/OpenMediaTitle.h"
#include "service/OperatorEvents.h"
#include "service/PackagedTitle.h"

void HandleRequest(bsMemRead& request, ClientSession& session, const Catalogue& catalogue) {
    int32_t code = 0;
    request.Serialize(code);
    LogRequest(session, code);
    switch (code) {
        case kDescribeTitleRequest:
            DescribeTitle(request, session, catalogue);
            break;
        case kOpenPackagedTitleRequest:
            OpenPackagedTitle(request, session, catalogue);
            break;
        case kFetchPackagedDataRequest:
            FetchPackagedData(request, session, catalogue);
            break;
        case kFetchPacketBatchRequest:
            FetchPacketBatch(request, session);
            break;
        case kOpenMediaTitleRequest:
            OpenMediaTitle(request, session, catalogue);
            break;
        default:
            break;
    }
}
