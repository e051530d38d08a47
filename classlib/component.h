// component.h — the component base: an optional owner that frees the components it owns,
// a name, and the design-time and loading states that the zip component consults.
#pragma once

#include <string>
#include <vector>

#include "classlib/object.h"

namespace kestrel::classlib {

enum ComponentStateFlag : unsigned { csLoading = 1, csDesigning = 2, csDestroying = 4 };

class Component : public Persistent {
 public:
  // A component with an owner is owned by it: the owner destroys it when the owner is
  // destroyed, unless it was destroyed (and so removed from its owner) before.
  explicit Component(Component* owner);
  ~Component() override;
  Component(const Component&) = delete;
  Component& operator=(const Component&) = delete;
  std::string ClassName() const override { return "TComponent"; }

  Component* Owner() const { return owner_; }
  int ComponentCount() const { return static_cast<int>(components_.size()); }
  Component* Components(int index) const { return components_.at(static_cast<size_t>(index)); }

  const std::string& Name() const { return name_; }
  void SetName(const std::string& name) { name_ = name; }

  unsigned ComponentState() const { return state_; }
  bool Designing() const { return (state_ & csDesigning) != 0; }
  // Hosts (and tests) mark a component as being designed or loaded.
  void SetDesigning(bool designing);
  // Property streaming calls Loaded after a component's properties were read.
  virtual void Loaded() { state_ &= ~static_cast<unsigned>(csLoading); }
  void BeginLoading() { state_ |= csLoading; }

 private:
  Component* owner_;
  std::vector<Component*> components_;  // owned: destroyed by this component
  std::string name_;
  unsigned state_ = 0;
};

}  // namespace kestrel::classlib
