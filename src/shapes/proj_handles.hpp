// Owners for PROJ's context and objects.
#pragma once

#include <proj.h>

#include "console.hpp"

namespace tessaro {

using ProjContext = Handle<PJ_CONTEXT, proj_context_destroy>;
using ProjObject = Handle<PJ, proj_destroy>;

}  // namespace tessaro
