#pragma once
// Reading the names of the preference sets from the store.

#include <string>
#include <vector>

namespace oakvane {

// Appends the names of the sets of "Main" in store order, counted first and then read one by
// one. False when the store failed; names then holds those read before the failure.
bool list_set_names(std::vector<std::string>& names);

}  // namespace oakvane
