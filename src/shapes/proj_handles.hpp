// Owners for PROJ's context and objects.
#pragma once

#include <proj.h>

#include <memory>

namespace tessaro {

struct ProjContextDestroyer {
    void operator()(PJ_CONTEXT* context) const noexcept { proj_context_destroy(context); }
};
struct ProjObjectDestroyer {
    void operator()(PJ* object) const noexcept { proj_destroy(object); }
};
using ProjContext = std::unique_ptr<PJ_CONTEXT, ProjContextDestroyer>;
using ProjObject = std::unique_ptr<PJ, ProjObjectDestroyer>;

}  // namespace tessaro
