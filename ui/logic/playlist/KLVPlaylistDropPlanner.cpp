#include "ui/logic/playlist/KLVPlaylistDropPlanner.h"

#include <algorithm>

KLVDropValidation klvValidateDrop(bool destinationIsSmart, bool destinationIsSlave, bool hasRows, bool copyOnly,
                                  int playableFiles)
{
    KLVDropValidation v;
    if (destinationIsSmart)
        return v;
    if (hasRows)
        v.operation = copyOnly ? KLVDropOperation::Copy : KLVDropOperation::Any;
    else if (playableFiles > 0)
        v.operation = KLVDropOperation::Any;
    v.onRow = destinationIsSlave;
    return v;
}

namespace {

std::vector<long> run(long first, long count)
{
    std::vector<long> rows;
    for (long i = 0; i < count; ++i)
        rows.push_back(first + i);
    return rows;
}

} // namespace

KLVDropPlan klvPlanDrop(const KLVDropRequest& r)
{
    KLVDropPlan plan;
    const long drop = (r.dropRow < 0 || r.dropRow > r.rowCount) ? r.rowCount : r.dropRow;
    std::vector<long> from = r.from;
    std::sort(from.begin(), from.end());

    if (r.local) {
        if (r.destinationIsSlave) {
            if (!r.copy)
                plan.stubRows = from;
            plan.replaceRows = run(drop, r.count);
        } else if (r.copy) {
            plan.insertRows = run(drop, r.count);
        } else {
            long target = drop;
            if (!from.empty() && from.front() < target)
                target -= long(std::count_if(from.begin(), from.end(), [&](long row) { return row < drop; }));
            plan.removeRows = from;
            plan.insertRows = run(target, r.count);
        }
        return plan;
    }

    if (!r.copy) {
        if (r.sourceIsLinked)
            plan.sourceStubRows = from;
        else
            plan.sourceRemoveRows = from;
    }
    if (r.destinationIsSlave)
        plan.replaceRows = run(drop, r.count);
    else
        plan.insertRows = run(drop, r.count);
    return plan;
}
