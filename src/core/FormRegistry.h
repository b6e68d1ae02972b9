// The names of the program's open windows, for code on other threads that must know whether a
// window exists. A window joins under its component name when it is created and leaves when
// it is destroyed; FormRegistration does both for the lifetime of an object.
#pragma once

#include <map>
#include <mutex>
#include <string>
#include <utility>

namespace kestrel {

class FormRegistry {
 public:
  static void Join(const std::string& name);
  // Undoes one Join of `name`; a name that has not joined is ignored.
  static void Leave(const std::string& name);
  // True while `name` (compared case-sensitively) has joined more often than it has left.
  static bool Contains(const std::string& name);

 private:
  static std::mutex& Mutex();
  static std::map<std::string, int>& Names();
};

class FormRegistration {
 public:
  explicit FormRegistration(std::string name) : name_(std::move(name)) { FormRegistry::Join(name_); }
  ~FormRegistration() { FormRegistry::Leave(name_); }
  FormRegistration(const FormRegistration&) = delete;
  FormRegistration& operator=(const FormRegistration&) = delete;

 private:
  std::string name_;
};

}  // namespace kestrel
