#pragma once

#include <QString>

namespace tandrel::gui {

// What a comparison run and the copy and delete operations need of the main
// window's result area. Form1 implements it; tests may too.
class ResultView {
public:
    virtual ~ResultView() = default;

    virtual void SetRootLabels(const QString& source, const QString& destination) = 0;

    // Bracket every emptying or refilling of the store: the list models reset
    // once around it instead of following each row.
    virtual void BeginStoreReset() = 0;
    virtual void EndStoreReset() = 0;

    // Rows of one list (1..5) whose icon, status text, tag or check mark changed.
    virtual void RowsChanged(int category, int firstRow, int lastRow) = 0;

    // Tab i reads its caption, " (", the row count of list i, ")".
    virtual void UpdateTabCaptions() = 0;
    virtual void UpdateTabCaption(int category) = 0;

    virtual void LayoutResultArea() = 0;
    virtual void DisableResultCommands() = 0; // CmdD2S, CmdS2D, CmdDelete and TabStrip1
    virtual void EnableResultCommands() = 0;  // CmdDelete, TabStrip1, and the copy buttons the tab allows
    virtual void SetTabStripEnabled(bool enabled) = 0;

    // Removes the rows tagged "d" from list CurrentTab (one notification per
    // run of adjacent rows; the other rows keep their selection).
    virtual void RemoveProcessedRowsOfCurrentTab() = 0;

    virtual void SetBusyCursor(bool busy) = 0;
};

} // namespace tandrel::gui
