#include "request/RunRequest.h"

namespace drennow::request {

void CheckRequest(const RunRequest& request)
{
    if (request.selection.where && request.selection.fids) {
        throw RequestError(kWhereWithFid);
    }
    if (request.answers.idField && request.answers.populatePfaf.value_or(false)) {
        throw RequestError("--id-field cannot be used with --populate pfaf, which writes the codes themselves");
    }
    if (request.options.zerosUnsubdivided && request.answers.trailingZeros) {
        throw RequestError(kTrailingZerosWithUnsubdivided);
    }
    if (request.datasets.empty()) {
        throw RequestError(kNoDataset);
    }
}

}  // namespace drennow::request
