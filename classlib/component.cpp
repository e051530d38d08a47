// component.cpp — owners destroy the components they own; a destroyed component leaves its
// owner's list.
#include "classlib/component.h"

#include <algorithm>

namespace kestrel::classlib {

Component::Component(Component* owner) : owner_(owner) {
  if (owner_ != nullptr) owner_->components_.push_back(this);
}

Component::~Component() {
  state_ |= csDestroying;
  // Last created first; each child removes itself from components_ as it goes.
  while (!components_.empty()) delete components_.back();
  if (owner_ != nullptr) {
    auto& siblings = owner_->components_;
    siblings.erase(std::remove(siblings.begin(), siblings.end(), this), siblings.end());
  }
}

void Component::SetDesigning(bool designing) {
  if (designing)
    state_ |= csDesigning;
  else
    state_ &= ~static_cast<unsigned>(csDesigning);
}

}  // namespace kestrel::classlib
