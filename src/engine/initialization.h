// Process start-up: fills the process-wide tables (class registry, resource strings, picture
// formats, script languages and registration modules) in one visible order.
#pragma once

namespace pagewright {

// Idempotent; call once before loading a template. The tables are read without locks afterwards.
void InitializeEngine();

}  // namespace pagewright
