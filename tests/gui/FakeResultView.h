#pragma once

#include "gui/app/AppState.h"
#include "gui/mainwindow/ResultView.h"

#include <QString>

#include <array>
#include <vector>

namespace tandrel::test {

// A result area for tests of the run and of copy/delete: it keeps the state
// the main window would show (tab captions, root labels, what is enabled)
// and records the calls that matter, without any list widgets.
class FakeResultView : public gui::ResultView {
public:
    explicit FakeResultView(gui::AppState& app) : m_app(app) {}

    QString sourceLabel;
    QString destinationLabel;
    std::array<QString, 6> tabCaptions; // 1..5
    int resetDepth = 0;
    int resets = 0;
    bool commandsEnabled = true;
    bool tabStripEnabled = true;
    bool busy = false;
    int layouts = 0;
    std::vector<std::array<int, 3>> changedRows; // category, first, last
    std::vector<QString> calls;

    void SetRootLabels(const QString& source, const QString& destination) override
    {
        sourceLabel = source;
        destinationLabel = destination;
        calls.push_back(QStringLiteral("SetRootLabels"));
    }
    void BeginStoreReset() override
    {
        ++resetDepth;
        calls.push_back(QStringLiteral("BeginStoreReset"));
    }
    void EndStoreReset() override
    {
        --resetDepth;
        ++resets;
        calls.push_back(QStringLiteral("EndStoreReset"));
    }
    void RowsChanged(int category, int firstRow, int lastRow) override
    {
        changedRows.push_back({category, firstRow, lastRow});
    }
    void UpdateTabCaptions() override
    {
        for (int i = 1; i <= engine::kCategoryCount; ++i)
            UpdateTabCaption(i);
    }
    void UpdateTabCaption(int category) override
    {
        tabCaptions[category] = gui::ToQ(m_app.captions[category]) + QStringLiteral(" (") +
                                QString::number(m_app.store.Count(static_cast<engine::ResultCategory>(category))) +
                                QStringLiteral(")");
        calls.push_back(QStringLiteral("UpdateTabCaption %1").arg(category));
    }
    void LayoutResultArea() override { ++layouts; }
    void DisableResultCommands() override
    {
        commandsEnabled = false;
        tabStripEnabled = false;
        calls.push_back(QStringLiteral("DisableResultCommands"));
    }
    void EnableResultCommands() override
    {
        commandsEnabled = true;
        tabStripEnabled = true;
        calls.push_back(QStringLiteral("EnableResultCommands"));
    }
    void SetTabStripEnabled(bool enabled) override { tabStripEnabled = enabled; }
    void RemoveProcessedRowsOfCurrentTab() override
    {
        m_app.store.RemoveProcessedRows(static_cast<engine::ResultCategory>(m_app.currentTab));
        calls.push_back(QStringLiteral("RemoveProcessedRowsOfCurrentTab"));
    }
    void SetBusyCursor(bool b) override { busy = b; }

private:
    gui::AppState& m_app;
};

} // namespace tandrel::test
