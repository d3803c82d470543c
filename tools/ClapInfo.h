// lumetra info for a CLAP module (a file ending in .clap).
#pragma once

#include <string>

namespace lumetra {

// Loads the module as a CLAP host does and prints its entry, every plug-in its factory describes
// and, for each, what an instance shows: ports, latency, editor, state and params with their
// texts. Returns the exit code: 0, or 2 (with one line on stderr) when it is no usable module.
int describeClapModule(const std::string& path);

}  // namespace lumetra
