// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: GPL-3.0-or-later

#include "MpvSyncGroup.h"

#include <QCoreApplication>
#include <QTimer>

#include <algorithm>

TSyncMember::~TSyncMember() {
    LeaveSyncGroup();
}

void TSyncMember::JoinSyncGroup() {
    TSyncGroup::Join(this);
}

void TSyncMember::LeaveSyncGroup() {
    if (std::shared_ptr<TSyncGroup> Group = std::move(FGroup)) {
        FGroup.reset();
        Group->Leave(this);
    }
    FHeld = false;
}

void TSyncMember::SyncSeekDone() {
    if (FGroup)
        FGroup->TryRelease();
}

void TSyncGroup::Join(TSyncMember* Member) {
    if (!FOpen) {
        FOpen = std::make_shared<TSyncGroup>();
        QTimer::singleShot(0, QCoreApplication::instance(), [] {
            std::shared_ptr<TSyncGroup> Group = std::move(FOpen);
            FOpen.reset();
            if (Group) {
                Group->FClosed = true;
                Group->TryRelease();
                std::weak_ptr<TSyncGroup> Weak = Group;
                QTimer::singleShot(kSyncGroupPatienceMs, QCoreApplication::instance(), [Weak] {
                    if (std::shared_ptr<TSyncGroup> Late = Weak.lock())
                        Late->Release();
                });
            }
        });
    }
    if (Member->FGroup == FOpen)
        return;
    Member->LeaveSyncGroup();
    Member->FGroup = FOpen;
    FOpen->FMembers.push_back(Member);
    Member->FHeld = true;
}

void TSyncGroup::Leave(TSyncMember* Member) {
    FMembers.erase(std::remove(FMembers.begin(), FMembers.end(), Member), FMembers.end());
    Member->FHeld = false;
    TryRelease();
}

void TSyncGroup::TryRelease() {
    if (!FClosed)
        return;
    for (TSyncMember* Member : FMembers)
        if (Member->SyncSeeking())
            return;
    Release();
}

void TSyncGroup::Release() {
    // Keep the group alive while its members drop their references.
    std::vector<TSyncMember*> Members = std::move(FMembers);
    FMembers.clear();
    std::shared_ptr<TSyncGroup> Self;
    for (TSyncMember* Member : Members) {
        Member->FHeld = false;
        if (!Self)
            Self = std::move(Member->FGroup);
        Member->FGroup.reset();
    }
    for (TSyncMember* Member : Members)
        Member->SyncReleased();
}
