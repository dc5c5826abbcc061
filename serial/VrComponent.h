// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: MIT

#pragma once

#include "SerialExport.h"

#include <cstdint>
#include <string>
#include <vector>

// The least component base the serial family needs: an owner that destroys
// what it owns, a name, a numeric tag, and a flag that is set as soon as the
// destruction of a component begins, so that nothing is reported from a
// half-destroyed object.
class QUADRELLE_SERIAL_EXPORT TComponent {
public:
    explicit TComponent(TComponent* Owner);
    virtual ~TComponent();
    TComponent(const TComponent&) = delete;
    TComponent& operator=(const TComponent&) = delete;

    // Copies what this class knows of Source; the base copies nothing.
    virtual void Assign(const TComponent* Source);

    TComponent* GetOwner() const { return FOwner; }
    const std::string& GetName() const { return FName; }
    void SetName(std::string Name) { FName = std::move(Name); }
    intptr_t GetTag() const { return FTag; }
    void SetTag(intptr_t Tag) { FTag = Tag; }
    bool GetDestroying() const { return FDestroying; }
    int GetComponentCount() const { return static_cast<int>(FComponents.size()); }

protected:
    // Every destructor of a derived class calls this first, so the flag is set
    // before any of its clean-up runs.
    void BeginDestroy() { FDestroying = true; }

private:
    TComponent* FOwner;
    std::vector<TComponent*> FComponents; // owned; destroyed with this one
    std::string FName;
    intptr_t FTag = 0;
    bool FDestroying = false;
};
