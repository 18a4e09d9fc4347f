#pragma once

namespace ov {

// Registers the compiled-in images. They live in a static library, whose
// resource object the linker would otherwise leave out.
void initResources();

} // namespace ov
