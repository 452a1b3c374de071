#include "Component.h"

#include <algorithm>

TComponent::TComponent(TComponent* aOwner) : FOwner(aOwner)
{
    if (FOwner)
        FOwner->Insert(this);
}

TComponent::~TComponent()
{
    DestroyComponents();
    if (FOwner)
        FOwner->Remove(this);
}

void TComponent::DestroyComponents() noexcept
{
    while (!FComponents.empty())
        delete FComponents.back(); // its destructor removes it from the list
}

void TComponent::Insert(TComponent* component) { FComponents.push_back(component); }

void TComponent::Remove(TComponent* component) noexcept
{
    const auto found = std::find(FComponents.begin(), FComponents.end(), component);
    if (found != FComponents.end())
        FComponents.erase(found);
}
