#pragma once
// Components and ownership: an owner keeps its components in creation order
// and destroys them with itself; watchers are told when a component goes away.
#include "base/Exceptions.h"

#include <memory>
#include <string>
#include <vector>

enum class TOperation { opInsert, opRemove };

// An object that can copy itself from another: Assign asks the source to copy
// itself into the target when the target does not know the source's class.
class TPersistent {
public:
    virtual ~TPersistent() = default;
    virtual const char* ClassName() const { return "TPersistent"; }
    // Raises "Cannot assign a %s to a %s" when neither side knows the other.
    virtual void Assign(const TPersistent* source);

protected:
    virtual bool AssignTo(TPersistent* /*dest*/) const { return false; }
};

class TComponent {
public:
    explicit TComponent(TComponent* owner);
    virtual ~TComponent();
    TComponent(const TComponent&) = delete;
    TComponent& operator=(const TComponent&) = delete;

    TComponent* Owner() const { return FOwner; }
    int ComponentCount() const { return static_cast<int>(FComponents.size()); }
    TComponent* Components(int index) const;
    TComponent* FindComponent(const std::string& name) const;

    // Asks `this` to call watcher->Notification(this, opRemove) on destruction.
    void FreeNotification(TComponent* watcher);
    void RemoveFreeNotification(TComponent* watcher);

    virtual const char* ClassName() const { return "TComponent"; }

    std::string Name;

protected:
    // Called on the owner when a component is inserted or removed, and on
    // watchers before a component is destroyed. The default forwards a removal
    // to every owned component, so siblings learn of it too.
    virtual void Notification(TComponent* component, TOperation operation);
    // Destroys the owned components, last created first. Derived destructors
    // call it while their own overrides are still in place.
    void DestroyComponents();

private:
    void InsertComponent(TComponent* component);
    void RemoveComponent(TComponent* component);

    TComponent* FOwner; // not owned: the owner owns us
    std::vector<TComponent*> FComponents;
    std::vector<TComponent*> FFreeNotifies; // not owned
};

// A list that owns its entries and checks its indexes like the class library.
template <typename T> class TOwnedList {
public:
    int Count() const { return static_cast<int>(FItems.size()); }
    T* Items(int index) const {
        if (index < 0 || index >= Count()) throw EListError(index);
        return FItems[static_cast<size_t>(index)].get();
    }
    T* Add(std::unique_ptr<T> item) {
        FItems.push_back(std::move(item));
        return FItems.back().get();
    }
    void Clear() { FItems.clear(); }

private:
    std::vector<std::unique_ptr<T>> FItems;
};
