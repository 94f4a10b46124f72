// The base of every component: an owner, the loading state of the owner's form description, the end of loading
// (Loaded) and the notification that a component is going away.
#pragma once
#include <string>
#include <vector>

namespace ui {

enum class Operation { Insert, Remove };

class Component {
public:
    explicit Component(Component* owner = nullptr);
    virtual ~Component();
    Component(const Component&) = delete;
    Component& operator=(const Component&) = delete;

    Component* Owner() const noexcept { return owner_; }
    const std::vector<Component*>& Components() const noexcept { return components_; }
    bool Loading() const noexcept { return loading_; }

    // Loading brackets a form description: components made while the owner loads start loading as well;
    // EndLoading calls Loaded on every owned component, in creation order, and then on the owner itself.
    void BeginLoading() noexcept { loading_ = true; }
    void EndLoading();

    // Asks this component to be told (Notification with Remove) when the other one is destroyed,
    // for links between components of different owners.
    void FreeNotification(Component* other);

    std::wstring Name;

protected:
    // Called once when loading ends; the state is no longer loading when it runs.
    virtual void Loaded() {}
    // Another component is inserted or removed: clear any link to it on Remove.
    virtual void Notification(Component* component, Operation operation);

private:
    void Remove(Component* child) noexcept;
    void Unsubscribe(Component* other) noexcept;

    Component* owner_;
    std::vector<Component*> components_;   // owned elsewhere (members of the owner); listed for the notifications
    std::vector<Component*> subscribers_;  // told when this one is destroyed
    bool loading_ = false;
};

}  // namespace ui
