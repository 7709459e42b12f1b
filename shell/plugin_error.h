// The one kind of failure that ends an action: its text is what the user
// reads in the warning box and in the event log.
#pragma once

#include <stdexcept>
#include <string>

class PluginError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};
