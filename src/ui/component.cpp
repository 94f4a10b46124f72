#include "ui/component.h"

#include <algorithm>

namespace ui {

Component::Component(Component* owner) : owner_(owner) {
    if (owner_) {
        loading_ = owner_->loading_;
        owner_->components_.push_back(this);
        owner_->Notification(this, Operation::Insert);
    }
}

Component::~Component() {
    // Everyone who might hold a link to this component hears of its removal first.
    const auto subscribers = subscribers_;
    for (Component* s : subscribers) {
        s->Unsubscribe(this);
        s->Notification(this, Operation::Remove);
    }
    for (Component* c : components_) c->owner_ = nullptr;
    if (owner_) {
        owner_->Remove(this);
        owner_->Notification(this, Operation::Remove);
        const auto siblings = owner_->components_;
        for (Component* c : siblings) c->Notification(this, Operation::Remove);
    }
}

void Component::EndLoading() {
    const auto children = components_;
    for (Component* c : children) {
        if (c->loading_) {
            c->loading_ = false;
            c->Loaded();
        }
    }
    if (loading_) {
        loading_ = false;
        Loaded();
    }
}

void Component::FreeNotification(Component* other) {
    if (!other || other == this) return;
    if (std::find(other->subscribers_.begin(), other->subscribers_.end(), this) == other->subscribers_.end())
        other->subscribers_.push_back(this);
    if (std::find(subscribers_.begin(), subscribers_.end(), other) == subscribers_.end()) subscribers_.push_back(other);
}

void Component::Notification(Component*, Operation) {}

void Component::Remove(Component* child) noexcept {
    components_.erase(std::remove(components_.begin(), components_.end(), child), components_.end());
}

void Component::Unsubscribe(Component* other) noexcept {
    subscribers_.erase(std::remove(subscribers_.begin(), subscribers_.end(), other), subscribers_.end());
}

}  // namespace ui
