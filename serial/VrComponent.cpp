// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: MIT

#include "VrComponent.h"

#include <algorithm>

TComponent::TComponent(TComponent* Owner) : FOwner(Owner) {
    if (FOwner)
        FOwner->FComponents.push_back(this);
}

TComponent::~TComponent() {
    FDestroying = true;
    // Each owned component takes itself out of the list as it goes.
    while (!FComponents.empty())
        delete FComponents.back();
    if (FOwner) {
        auto& List = FOwner->FComponents;
        List.erase(std::remove(List.begin(), List.end(), this), List.end());
    }
}

void TComponent::Assign(const TComponent*) {}
