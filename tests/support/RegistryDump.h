// A flat listing of a registry subtree for comparisons: one line per key ("CLSID\{...}") and
// one per value ("CLSID\{...}\InprocServer32 | ThreadingModel = Apartment"; the default value
// has the name "@"), in sorted order.
#pragma once

#include <set>
#include <string>

#include "platform/registry/Registry.h"

namespace ambivox::testing {

std::set<std::string> registry_dump(HKEY root, std::u16string const& subKey = {});

}  // namespace ambivox::testing
