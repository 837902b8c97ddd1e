#pragma once

namespace tandrel {

// The island's three layouts.
enum class OverlayMode { collapsed, expanded, settings };

}  // namespace tandrel
