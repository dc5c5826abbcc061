// SPDX-FileCopyrightText: 2026 Quadrelle Project
// SPDX-License-Identifier: MIT

#pragma once

#include "SerialExport.h"

#include <cstdint>
#include <string>
#include <vector>

/// @file
/// TComponent, the base of the serial family.

/// The least component base the serial family needs: an owner that destroys
/// what it owns, a name, a numeric tag, and a flag that is set as soon as the
/// destruction of a component begins, so that nothing is reported from a
/// half-destroyed object.
///
/// Not thread-safe: a component and its owner are used from one thread at a time.
class QUADRELLE_SERIAL_EXPORT TComponent {
public:
    /// Makes a component that Owner owns and destroys, or, with a null Owner,
    /// one that the caller owns.
    explicit TComponent(TComponent* Owner);
    /// Destroys the components this one owns, last made first, and leaves
    /// the owner's list.
    virtual ~TComponent();
    TComponent(const TComponent&) = delete;            ///< Components are not copied; see Assign.
    TComponent& operator=(const TComponent&) = delete; ///< Components are not copied; see Assign.

    /// Copies what this class knows of Source; the base copies nothing.
    virtual void Assign(const TComponent* Source);

    /// The owner given at construction; null for none.
    TComponent* GetOwner() const { return FOwner; }
    /// The component's name; empty unless set. Nothing looks components up by it.
    const std::string& GetName() const { return FName; }
    /// Sets the name.
    void SetName(std::string Name) { FName = std::move(Name); }
    /// A number for the program's own use; 0 unless set.
    intptr_t GetTag() const { return FTag; }
    /// Sets the tag.
    void SetTag(intptr_t Tag) { FTag = Tag; }
    /// True once the destruction of the component has begun: its events and
    /// error reports are no longer delivered.
    bool GetDestroying() const { return FDestroying; }
    /// The number of components this one owns.
    int GetComponentCount() const { return static_cast<int>(FComponents.size()); }

protected:
    /// Every destructor of a derived class calls this first, so the flag is set
    /// before any of its clean-up runs.
    void BeginDestroy() { FDestroying = true; }

private:
    TComponent* FOwner;
    std::vector<TComponent*> FComponents; // owned; destroyed with this one
    std::string FName;
    intptr_t FTag = 0;
    bool FDestroying = false;
};
