// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <memory>
#include <vector>

// Panes sought within one turn of the event loop restart on one frame: each
// is held until all of them have restarted at their targets, and then they
// resume together. The group opens with the first seek of a turn and closes
// when control returns to the event loop. For the GUI thread only.

// A group whose restart never comes lets go after this.
constexpr int kSyncGroupPatienceMs = 3000;

class TSyncGroup;

// What a group needs of a pane. A member joins when it sends a seek, says
// when that seek has restarted, and leaves when it is reset or destroyed.
class TSyncMember {
public:
    TSyncMember() = default;
    TSyncMember(const TSyncMember&) = delete;
    TSyncMember& operator=(const TSyncMember&) = delete;

    // Joins the group of the current turn, opening it if there is none; the
    // member is held from now on.
    void JoinSyncGroup();
    // Leaves its group, if any, and is no longer held.
    void LeaveSyncGroup();
    // Its seek restarted (or was given up): the group lets go once every
    // member's has and the turn is over.
    void SyncSeekDone();
    // Held by a group: the member keeps mpv paused whatever else it wants.
    bool SyncHeld() const { return FHeld; }

protected:
    ~TSyncMember();
    // True while the member's seek has not restarted.
    virtual bool SyncSeeking() const = 0;
    // The group let go: the member applies its own pause state again.
    virtual void SyncReleased() = 0;

private:
    friend class TSyncGroup;
    std::shared_ptr<TSyncGroup> FGroup;
    bool FHeld = false; // set by the group between Join and its release
};

class TSyncGroup {
public:
    static void Join(TSyncMember* Member);
    void Leave(TSyncMember* Member);
    void TryRelease();

private:
    void Release();

    static inline std::shared_ptr<TSyncGroup> FOpen; // the group of the current turn, if any
    std::vector<TSyncMember*> FMembers;
    bool FClosed = false; // no more members; released once all have restarted
};
