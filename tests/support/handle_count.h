// Number of handles open in this process.
#pragma once

namespace testsupport {

// GetProcessHandleCount where the platform answers it; where it reports no
// handles at all (Wine), the handle table is probed value by value.
unsigned long CountOpenHandles();

}  // namespace testsupport
