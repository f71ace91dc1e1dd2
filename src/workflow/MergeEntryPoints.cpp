#include "workflow/MergeEntryPoints.h"

namespace qvworkflow {

MergeEntryPoints& mergeEntryPoints() {
    static MergeEntryPoints table;
    return table;
}

}  // namespace qvworkflow
