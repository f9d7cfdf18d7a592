// OutputFile: a file that readers such as a metrics collector pick up while it is rewritten, so
// it must never be seen half written.
#pragma once

#include <string>
#include <string_view>

namespace ambivox::cli {

class OutputFile {
public:
    // Replaces the file at `path` with `text` in one step: a temporary file in the same folder
    // (a name starting with a dot, so collectors that read "*.prom" skip it) is written, synced
    // and renamed over it. Raises std::system_error, leaving the file as it was.
    static void replace(std::string const& path, std::string_view text);
};

}  // namespace ambivox::cli
