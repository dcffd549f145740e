#include "base/Classes.h"

#include "base/SysUtils.h"

#include <algorithm>

void TPersistent::Assign(const TPersistent* source) {
    if (source && source->AssignTo(this)) return;
    throw EConvertError(
        Format("Cannot assign a %s to a %s", source ? source->ClassName() : "nil", ClassName()));
}

TComponent::TComponent(TComponent* owner) : FOwner(nullptr) {
    if (owner) owner->InsertComponent(this);
}

TComponent::~TComponent() {
    // Watchers first, while our own components still exist.
    while (!FFreeNotifies.empty()) {
        TComponent* watcher = FFreeNotifies.back();
        FFreeNotifies.pop_back();
        auto& back = watcher->FFreeNotifies;
        back.erase(std::remove(back.begin(), back.end(), this), back.end());
        watcher->Notification(this, TOperation::opRemove);
    }
    DestroyComponents();
    if (FOwner) FOwner->RemoveComponent(this);
}

TComponent* TComponent::Components(int index) const {
    if (index < 0 || index >= ComponentCount()) throw EListError(index);
    return FComponents[static_cast<size_t>(index)];
}

TComponent* TComponent::FindComponent(const std::string& name) const {
    for (TComponent* c : FComponents)
        if (!name.empty() && SameText(c->Name, name)) return c;
    return nullptr;
}

void TComponent::FreeNotification(TComponent* watcher) {
    if (!watcher || watcher == this) return;
    if (std::find(FFreeNotifies.begin(), FFreeNotifies.end(), watcher) == FFreeNotifies.end()) {
        FFreeNotifies.push_back(watcher);
        watcher->FFreeNotifies.push_back(this);
    }
}

void TComponent::RemoveFreeNotification(TComponent* watcher) {
    if (!watcher) return;
    FFreeNotifies.erase(std::remove(FFreeNotifies.begin(), FFreeNotifies.end(), watcher),
                        FFreeNotifies.end());
    auto& back = watcher->FFreeNotifies;
    back.erase(std::remove(back.begin(), back.end(), this), back.end());
}

void TComponent::Notification(TComponent* component, TOperation operation) {
    if (operation != TOperation::opRemove || !component) return;
    // Copy: a component may destroy others while it handles the notice.
    std::vector<TComponent*> owned = FComponents;
    for (TComponent* c : owned)
        if (c != component &&
            std::find(FComponents.begin(), FComponents.end(), c) != FComponents.end())
            c->Notification(component, operation);
}

void TComponent::DestroyComponents() {
    while (!FComponents.empty()) {
        TComponent* last = FComponents.back();
        delete last; // its destructor removes it from FComponents
    }
}

void TComponent::InsertComponent(TComponent* component) {
    FComponents.push_back(component);
    component->FOwner = this;
    Notification(component, TOperation::opInsert);
}

void TComponent::RemoveComponent(TComponent* component) {
    Notification(component, TOperation::opRemove);
    FComponents.erase(std::remove(FComponents.begin(), FComponents.end(), component),
                      FComponents.end());
    component->FOwner = nullptr;
}
