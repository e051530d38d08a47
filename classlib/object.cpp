// object.cpp — assignment between persistent objects.
#include "classlib/object.h"

#include "classlib/exception.h"
#include "classlib/format.h"

namespace kestrel::classlib {

void Persistent::Assign(const Persistent& source) { source.AssignTo(*this); }

void Persistent::DefineProperties(Filer&) {}

void Persistent::AssignTo(Persistent& destination) const {
  throw EConvertError(Format("Cannot assign a %s to a %s", ClassName().c_str(),
                             destination.ClassName().c_str()));
}

}  // namespace kestrel::classlib
