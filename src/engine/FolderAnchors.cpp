#include "engine/FolderAnchors.h"

#include <algorithm>
#include <cerrno>

namespace tandrel::engine {

namespace {

using platform::Fd;

// Folders this many levels apart may hold an anchor; at most so many are
// held below the roots, both sides together.
constexpr std::uint32_t kAnchorSpacing = 64;
constexpr std::size_t kMaxAnchors = 16;

} // namespace

FolderAnchors::FolderAnchors(const std::string roots[2])
{
    // The roots themselves may be links; nothing below them is followed.
    for (Side side : {kWalkedSide, kOtherSide}) {
        m_roots[side] = roots[side];
        auto anchor = std::make_shared<const Fd>(platform::OpenFolder(m_roots[side], platform::kOpenAsAnchor));
        m_rootError[side] = anchor->Valid() ? 0 : errno;
        m_root[side] = std::move(anchor);
    }
}

OpenedFolder FolderAnchors::Open(const FolderNode& node, Side side, int flags) const
{
    OpenedFolder opened;
    if (!node.parentNode) {
        opened.fd.Reset(platform::OpenFolder(m_roots[side], flags));
    } else {
        std::string relative;
        const FolderNode* base = AnchorBase(node, side, relative);
        const std::shared_ptr<const Fd> anchor = AnchorOf(*base, side, opened.error);
        if (!anchor)
            return opened;
        opened.fd.Reset(platform::OpenBelow(anchor->Get(), relative, flags));
    }
    if (!opened.fd.Valid())
        opened.error = errno;
    return opened;
}

// The nearest folder above `node` that may hold an anchor (or the root),
// and the path from there down to `node`.
const FolderNode* FolderAnchors::AnchorBase(const FolderNode& node, Side side, std::string& relative) const
{
    relative = node.NameOn(side);
    const FolderNode* base = node.parentNode;
    while (base->parentNode && base->depth % kAnchorSpacing != 0) {
        relative.insert(0, base->NameOn(side) + '/');
        base = base->parentNode;
    }
    return base;
}

// The folders from `node` up to the nearest one that still holds its
// anchor, opened again top down, each from the one above. Null with `error`
// set when one cannot be opened.
std::shared_ptr<const Fd> FolderAnchors::AnchorOf(const FolderNode& node, Side side, int& error) const
{
    std::vector<const FolderNode*> toOpen;
    std::shared_ptr<const Fd> base;
    {
        const std::lock_guard lock(m_mutex);
        for (const FolderNode* at = &node; at; at = at->parentNode) {
            if (!at->parentNode) {
                base = m_root[side];
                break;
            }
            if (at->depth % kAnchorSpacing != 0)
                continue;
            base = at->anchor[side].lock();
            if (base) {
                TouchLocked(base.get());
                break;
            }
            toOpen.push_back(at);
        }
    }
    if (!base->Valid()) {
        error = m_rootError[side];
        return nullptr;
    }
    for (auto it = toOpen.rbegin(); it != toOpen.rend(); ++it) {
        std::string relative;
        AnchorBase(**it, side, relative);
        auto opened = std::make_shared<const Fd>(platform::OpenBelow(base->Get(), relative, platform::kOpenAsAnchor));
        if (!opened->Valid()) {
            error = errno;
            return nullptr;
        }
        const std::lock_guard lock(m_mutex);
        if (auto held = (*it)->anchor[side].lock()) {
            base = std::move(held); // another thread was quicker
            continue;
        }
        (*it)->anchor[side] = opened;
        HoldLocked(opened);
        base = std::move(opened);
    }
    return base;
}

void FolderAnchors::HoldLocked(std::shared_ptr<const Fd> anchor) const
{
    if (m_held.size() >= kMaxAnchors) {
        const auto oldest = std::min_element(m_held.begin(), m_held.end(),
                                             [](const HeldAnchor& a, const HeldAnchor& b) { return a.lastUse < b.lastUse; });
        m_held.erase(oldest);
    }
    m_held.push_back({std::move(anchor), ++m_clock});
}

void FolderAnchors::TouchLocked(const Fd* anchor) const
{
    for (HeldAnchor& held : m_held) {
        if (held.fd.get() == anchor) {
            held.lastUse = ++m_clock;
            return;
        }
    }
}

} // namespace tandrel::engine
