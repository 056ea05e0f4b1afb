// Functions of a shared library opened at run time (dlopen), looked up by
// name into typed pointers: for the libraries only some paths need.
#pragma once

#include <dlfcn.h>

namespace huevex::soft {

// Sets function to the library's entry point of that name; false when it has none.
template <typename Function>
bool BindFunction(void* library, const char* name, Function& function) {
  function = reinterpret_cast<Function>(dlsym(library, name));
  return function != nullptr;
}

}  // namespace huevex::soft
