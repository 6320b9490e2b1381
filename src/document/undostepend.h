#pragma once

#include <QAbstractUndoItem>

namespace tarvelin {

// An undo step that does nothing. QTextDocument merges plain typing into an
// insertion that ended an edit block right before it; ending a tag's edit
// block with this instead keeps what the user types next out of the tag's
// step, so Ctrl+Z takes away the tag alone.
class UndoStepEnd final : public QAbstractUndoItem {
public:
    void undo() override {}
    void redo() override {}
};

} // namespace tarvelin
