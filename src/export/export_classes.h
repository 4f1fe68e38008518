// The export module's entry in the start-up list.
#pragma once

namespace pagewright {

// Registers the export filter and output transport classes in the class registry.
void RegisterExportClasses();

}  // namespace pagewright
