// The fields of the test PE files' version resources (tests/data/pe/*.rc),
// for comparing the blocks the version calls return with what the resource
// compiler made.
#pragma once

#include <string>

#include "platform/api/VersionApi.h"

namespace tarnel::test {

// The fields of the resource script `script` ("version.rc"); no fields for
// a script not listed.
platform::VersionResourceSpec ScriptFields(const std::string& script);

}  // namespace tarnel::test
