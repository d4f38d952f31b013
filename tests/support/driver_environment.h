// Installs the virtual notebook's driver for a whole test program and removes it at the end.
#pragma once

#include "vnotebook_client.h"

namespace testsupport {

using vnotebook::VirtualNotebook;

void InstallVirtualNotebookForTests();

}  // namespace testsupport
