#pragma once

#include "engine/FolderPair.h"
#include "platform/FolderListing.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace tandrel::engine {

// A folder's place in a walk, as far as opening it goes: the folder above
// it, its name on each side and its depth below the roots.
struct FolderNode {
    const FolderNode* parentNode = nullptr; // null for the roots; kept alive by whoever holds this one
    std::string name;
    std::string otherName; // the counterpart folder's name where it is spelled otherwise; empty: `name`
    std::uint32_t depth = 0;
    // The descriptor this folder may hold (see FolderAnchors), under the anchors' lock.
    mutable std::weak_ptr<const platform::Fd> anchor[2];

    const std::string& NameOn(Side side) const { return side == kOtherSide && !otherName.empty() ? otherName : name; }
};

// Opens the folders of a walk below its two roots without following a link
// on the way. Paths stay short at any depth: a folder every so many levels
// may hold a descriptor of its own (an anchor), from which deeper ones are
// opened. Only a bounded number is held, the least recently used going
// first; one let go is opened again from the nearest one above. Safe to use
// from several threads.
class FolderAnchors {
public:
    // The roots by side; they may be links themselves.
    explicit FolderAnchors(const std::string roots[2]);

    OpenedFolder Open(const FolderNode& node, Side side, int flags) const;

    // Whether a root could be opened, and if not, why (an errno value).
    bool RootOpened(Side side) const { return m_root[side]->Valid(); }
    int RootError(Side side) const { return m_rootError[side]; }

private:
    struct HeldAnchor {
        std::shared_ptr<const platform::Fd> fd;
        std::uint64_t lastUse = 0;
    };

    const FolderNode* AnchorBase(const FolderNode& node, Side side, std::string& relative) const;
    std::shared_ptr<const platform::Fd> AnchorOf(const FolderNode& node, Side side, int& error) const;
    void HoldLocked(std::shared_ptr<const platform::Fd> anchor) const;
    void TouchLocked(const platform::Fd* anchor) const;

    std::string m_roots[2];
    std::shared_ptr<const platform::Fd> m_root[2];
    int m_rootError[2] = {0, 0};
    mutable std::mutex m_mutex;
    mutable std::vector<HeldAnchor> m_held;
    mutable std::uint64_t m_clock = 0;
};

} // namespace tandrel::engine
