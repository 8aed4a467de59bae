#pragma once
// Which rows a playlist drop touches, worked out without any table: what the drop may do, where
// it lands and, for each side, which rows become stubs, are removed, inserted or replaced.
//
// A channel without a master takes drops between rows (new rows are inserted); a slave takes them
// on a row (its rows from there on are replaced, stubs appended where it is too short). Smart
// folders take no drops.

#include <vector>

enum class KLVDropOperation { None, Copy, Any };

struct KLVDropValidation {
    KLVDropOperation operation = KLVDropOperation::None;
    bool onRow = false; // a slave: the drop replaces the row it lands on
};

// hasRows: the row payload is offered; copyOnly: the user asked for a copy; playableFiles: how many
// dropped files can be imported (when there is no row payload).
KLVDropValidation klvValidateDrop(bool destinationIsSmart, bool destinationIsSlave, bool hasRows, bool copyOnly,
                                  int playableFiles);

struct KLVDropPlan {
    // This channel, applied in this order.
    std::vector<long> stubRows;    // become stubs (a move within a slave)
    std::vector<long> removeRows;  // removed (a move within another channel)
    std::vector<long> insertRows;  // the dragged cues are inserted here
    std::vector<long> replaceRows; // or replace these rows (a slave)
    // The channel the rows came from, for a move between channels.
    std::vector<long> sourceStubRows;   // a linked source keeps its alignment with stubs
    std::vector<long> sourceRemoveRows; // an unlinked source gives the rows up
};

struct KLVDropRequest {
    long rowCount = 0;          // rows of the destination now
    long dropRow = 0;           // as the table proposes it (outside 0..rowCount: the end)
    long count = 0;             // dragged cues
    bool local = false;         // rows of this very table
    bool copy = false;
    bool destinationIsSlave = false;
    std::vector<long> from;     // local: the rows the dragged cues hold now; else the source's rows
    bool sourceIsLinked = false; // the source is a master or a slave
};

KLVDropPlan klvPlanDrop(const KLVDropRequest& request);
