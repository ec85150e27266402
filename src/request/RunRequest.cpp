#include "request/RunRequest.h"

namespace drennow::request {

void CheckRequest(const RunRequest& request)
{
    if (request.selection.where && request.selection.fids) {
        throw RequestError("--where and --fid cannot be used together");
    }
    if (request.answers.idField && request.answers.populatePfaf.value_or(false)) {
        throw RequestError("--id-field cannot be used with --populate pfaf, which writes the codes themselves");
    }
    if (request.options.zerosUnsubdivided && request.answers.trailingZeros) {
        throw RequestError(
            "--trailing-zeros cannot be used with --zeros unsubdivided: zeros there are no closed basins");
    }
    if (request.datasets.empty()) {
        throw RequestError("no DATASET given");
    }
}

}  // namespace drennow::request
