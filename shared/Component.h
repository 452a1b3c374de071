// Owner relationship between objects: an owner frees the components it owns when it is
// destroyed, unless they were freed before (a component leaves its owner's list when it dies).
#pragma once

#include <vector>

class TComponent {
public:
    explicit TComponent(TComponent* aOwner);
    virtual ~TComponent();

    TComponent(const TComponent&) = delete;
    TComponent& operator=(const TComponent&) = delete;

    TComponent* Owner() const noexcept { return FOwner; }
    int ComponentCount() const noexcept { return static_cast<int>(FComponents.size()); }

protected:
    // Frees every owned component now; a derived class calls it from its own destructor
    // when its components must go while the derived part still exists.
    void DestroyComponents() noexcept;

private:
    void Insert(TComponent* component);
    void Remove(TComponent* component) noexcept;

    TComponent* FOwner;
    std::vector<TComponent*> FComponents;
};
