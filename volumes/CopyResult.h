// How a copying of the volume set ends: the progress window's modal result,
// which the installation run reads.
#pragma once

enum TCopyResult : int {
    CopyDone = 1,     // every file was copied
    CopyAborted = 2,  // cancelled, a disk that did not come, or told to stop
};
