// object.h — the root of the class library's object model: Object (a class name and a virtual
// destructor), Persistent (assignment between objects and the streamed-property hook), and
// Filer, through which a persistent object defines binary properties for property streaming.
#pragma once

#include <functional>
#include <string>

namespace kestrel::classlib {

class Stream;

class Object {
 public:
  virtual ~Object() = default;
  // The class name used in messages and in the class registry of saved object lists.
  virtual std::string ClassName() const { return "TObject"; }
};

// Event types: the sender comes first.
using NotifyEvent = std::function<void(Object* sender)>;

// Property streaming sees a persistent object's extra (binary) properties through a Filer:
// reading calls readData with a stream on the stored bytes, writing calls writeData with a
// stream that receives them; hasData false means the property is not written at all.
class Filer {
 public:
  virtual ~Filer() = default;
  virtual void DefineBinaryProperty(const std::string& name,
                                    const std::function<void(Stream&)>& readData,
                                    const std::function<void(Stream&)>& writeData,
                                    bool hasData) = 0;
};

class Persistent : public Object {
 public:
  std::string ClassName() const override { return "TPersistent"; }
  // Copies source into this object: the default asks source.AssignTo(*this), which raises
  // EConvertError "Cannot assign a <source> to a <this>" unless a class overrides it.
  virtual void Assign(const Persistent& source);
  // The hook of property streaming; the default defines nothing.
  virtual void DefineProperties(Filer& filer);

 protected:
  virtual void AssignTo(Persistent& destination) const;
};

}  // namespace kestrel::classlib
